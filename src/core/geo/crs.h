// SPDX-License-Identifier: GPL-3.0-or-later
// Coordinate reference systems through PROJ: checking a definition and converting between a
// projected system's easting/northing and WGS 84 longitude/latitude.
#pragma once

#include "compute/map_grid.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace zelt::geo {

/// A refused system, coordinate or file; what() is the user's message and names what was wrong.
class GeoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Easting and northing in a projected system, metres.
using EastNorth = zelt::compute::GridPoint;

/// WGS 84 longitude and latitude, degrees.
struct LonLat {
    double lon = 0;
    double lat = 0;
};

/// A projected coordinate reference system checked by PROJ, with its conversions to and from
/// WGS 84. Each object has its own PROJ context, so objects may live on different threads.
class Crs {
public:
    /// GeoError when PROJ does not know `definition` (an EPSG code such as "EPSG:32633", a PROJ
    /// string, WKT or PROJJSON), when it is not a projected system (its coordinates are not
    /// metres east and north), or when its coordinates cannot be converted back from longitude
    /// and latitude (a projection without an inverse). A PROJ string without "+type=crs" is
    /// taken as one.
    explicit Crs(const std::string& definition);
    ~Crs();
    Crs(Crs&&) noexcept;
    Crs& operator=(Crs&&) noexcept;

    const std::string& definition() const { return m_definition; }
    /// PROJ's name of the system ("WGS 84 / UTM zone 33N"); "unknown" for a PROJ string.
    std::string name() const;
    /// The system as WKT 2 (for GDAL).
    std::string wkt() const;

    /// GeoError naming the point when PROJ cannot convert it (outside the projection's domain).
    LonLat toLonLat(EastNorth p) const;
    EastNorth fromLonLat(LonLat p) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
    std::string m_definition;
};

}  // namespace zelt::geo
