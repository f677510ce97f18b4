// SPDX-License-Identifier: GPL-3.0-or-later
// Placeholder until the first window lands.
namespace zelt::shell { void linkAnchor() {} }
