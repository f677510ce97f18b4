// SPDX-License-Identifier: GPL-3.0-or-later
// Known points given on Earth rather than on the map.
#pragma once

#include "compute/route_fit.h"
#include "document/known_points.h"

namespace zelt::cli {

/// The map position of a point given in the table's coordinate reference system (`first`
/// easting, `second` northing), or with `latLon` in WGS 84 (`first` latitude, `second`
/// longitude, as a GPS shows them). Throws when the table has no georeference or the point
/// cannot be converted.
zelt::compute::MapPointMm knownPointFromCrs(const zelt::document::KnownPoints& kp, double first, double second,
                                            bool latLon);

}  // namespace zelt::cli
