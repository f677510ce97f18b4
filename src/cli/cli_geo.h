// SPDX-License-Identifier: GPL-3.0-or-later
// Known points given on Earth rather than on the map.
#pragma once

#include "compute/route_fit.h"
#include "document/known_points.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace zelt::cli {

/// The map position of a point given in the table's coordinate reference system (`first`
/// easting, `second` northing), or with `latLon` in WGS 84 (`first` latitude, `second`
/// longitude, as a GPS shows them). Throws when the table has no georeference or the point
/// cannot be converted.
zelt::compute::MapPointMm knownPointFromCrs(const zelt::document::KnownPoints& kp, double first, double second,
                                            bool latLon);

/// Sets a known point for every waypoint of the track `file` whose name is the mark of exactly
/// one row (`marks`: each row's Mark), at the waypoint's place on the map; warns on `err` of
/// names several rows share. Returns how many were set. Throws when the table has no
/// georeference or the file is not a track.
int pointsFromTrack(zelt::document::KnownPoints& kp, const std::string& file, const std::vector<std::string>& marks,
                    std::ostream& err);

}  // namespace zelt::cli
