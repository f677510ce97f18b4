// SPDX-License-Identifier: GPL-3.0-or-later
// A GPS track read through GDAL/OGR: its points and its named waypoints in WGS 84.
#pragma once

#include "geo/crs.h"

#include <filesystem>
#include <string>
#include <vector>

namespace zelt::geo {

struct TrackWaypoint {
    std::string name;
    LonLat at;
};

struct Track {
    std::vector<LonLat> points;            ///< the track's lines' points in file order
    std::vector<TrackWaypoint> waypoints;  ///< named points
};

/// Largest track file read, bytes.
inline constexpr std::uintmax_t kMaxTrackFileBytes = 512u << 20;

/// Reads a GPX file or anything else OGR reads with lines or named points in a known system.
/// GeoError naming the file when it is not a regular file, is too large, is not a vector file
/// GDAL can read, has no coordinate system, or holds neither track points nor named waypoints.
Track readTrack(const std::filesystem::path& file);

}  // namespace zelt::geo
