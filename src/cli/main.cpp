// SPDX-License-Identifier: GPL-3.0-or-later
// zelt-cli entry point: dispatches to the command table.
#include "cli/cli_commands.h"

int main(int argc, char** argv) { return zelt::cli::run(argc, argv); }
