// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli commands of this group (filled in with the group's module).
#include "cli/cli_register.h"

namespace zelt::cli {
void registerInterchangeCommands() {}
}  // namespace zelt::cli
