// SPDX-License-Identifier: GPL-3.0-or-later
// Registration functions of the command groups, one per source file.
#pragma once

namespace zelt::cli {
void registerDocumentCommands();     ///< new, import, dump, info
void registerComputeCommands();      ///< settings, begin-way, fill-heights, percent-heights, recalc
void registerExportCommands();       ///< export-ocd
void registerInterchangeCommands();  ///< paste, export-txt, export-xlsx
void registerReportCommands();       ///< report
void registerKnownPointCommands();   ///< known-points, fit
void registerRouteCommands();        ///< route, plot
void registerCheckCommands();        ///< check
void registerGeoCommands();          ///< georef, export-gis
}  // namespace zelt::cli
