// SPDX-License-Identifier: GPL-3.0-or-later
// The "Check" command: slopes against the altimeter and the suspect readings, in the diagnostics list.
#pragma once

#include "base/diagnostic.h"
#include "compute/blunder_check.h"

namespace zelt::shell {

class TMainForm;

/// The check's findings as entries of the diagnostics list: the placement's rms and why a part
/// was not checked (no row), each flagged stretch (at its second reading), each suspect (at its
/// cell, with its rank, suggested value and rms before and after). Empty when nothing is
/// flagged and everything was checked.
zelt::document::Diagnostics checkDiagnostics(const zelt::compute::CheckReport& report);

/// Connects "Check" to a check of the active document with its known points; the findings go
/// to the diagnostics list, where activating an entry goes to its row.
void installCheckCommand(TMainForm& main);

}  // namespace zelt::shell
