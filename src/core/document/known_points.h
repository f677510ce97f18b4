// SPDX-License-Identifier: GPL-3.0-or-later
// Known points of a traverse: map positions of chosen rows' marks, kept in a .kpt companion.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::document {

/// The map position of where one row's mark stands: the point where the row's leg begins (the
/// previous row's end point; the route's start for the first row), where the map export writes
/// the row's labels. X east and Y north in millimetres on the map, the coordinates a map editor
/// shows for that map. Row (row count + 1) stands for the end of the route: where a row added
/// after the last one would have its mark.
struct KnownPoint {
    int row = 0;     ///< 1-based row number in table order; row count + 1: the route's end
    double xMm = 0;
    double yMm = 0;
    bool operator==(const KnownPoint&) const = default;
};

/// Where the table's map lies on Earth: the map's origin (paper point 0, 0) at `originEastM`,
/// `originNorthM` in the coordinate reference system `crs`, the map's up direction turned
/// `grivationDeg` clockwise from the grid's north. The map's scale is KnownPoints::mapScale: one
/// scale for the points and the georeference.
struct Georeference {
    std::string crs;            ///< an EPSG code ("EPSG:32633") or any definition PROJ accepts, one line
    double originEastM = 0;
    double originNorthM = 0;
    double grivationDeg = 0;    ///< (-360, 360)
    bool operator==(const Georeference&) const = default;

    static constexpr std::size_t kMaxCrsLength = 16384;
    static constexpr double kMaxCoordinateM = 1e9;
};

/// All known points of one table, ordered by row, at most one per row.
struct KnownPoints {
    /// Scale denominator of the map the points were read from; 15000 (the template's) if unset.
    double mapScale = kDefaultMapScale;
    std::vector<KnownPoint> points;
    /// The table's georeference, when it has one.
    std::optional<Georeference> georef;

    static constexpr double kDefaultMapScale = 15000;
    static constexpr std::size_t kMaxPoints = 100000;
    static constexpr int kMaxRow = 1000000000;

    /// Whether there are no points (a georeference may still be set).
    bool empty() const { return points.empty(); }
    const KnownPoint* find(int row) const;
    /// Adds the point of `row` or moves it. KnownPointsError for a row below 1, a coordinate that
    /// is not finite or beyond +-1e7 mm, or a full list.
    void set(int row, double xMm, double yMm);
    /// Whether `row` had a point.
    bool remove(int row);
    bool operator==(const KnownPoints&) const = default;
};

/// A damaged or unusable known-points file, or a refused value; what() is the user's message.
class KnownPointsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The known-points file was written (or removed) in full, but its folder could not be synced:
/// on its own that is a change made; inside a change of the document, a failure to roll back.
class KnownPointsNotSyncedError : public KnownPointsError {
public:
    using KnownPointsError::KnownPointsError;
};

/// The companion beside `table`: its path with the extension replaced by ".kpt".
std::filesystem::path knownPointsPath(const std::filesystem::path& table);

/// The file's text (see docs/formats/known-points.md). Numbers are written in the shortest form
/// that reads back to the same double, with '.' whatever the locale.
std::string formatKnownPoints(const KnownPoints& points);
/// KnownPointsError when the georeference cannot be kept: an empty CRS, one longer than
/// kMaxCrsLength or holding a line break or control character, an origin that is not finite or
/// beyond +-1e9 m, a grivation not finite or not within (-360, 360) degrees.
void checkGeoreference(const Georeference& georef);

/// Reads the text; KnownPointsError naming the line for anything it does not understand. A text
/// of the first layout (which pinned rows' end points) is converted: its row N becomes row N + 1,
/// whose mark stands there; `converted` (may be null) tells whether that was done.
KnownPoints parseKnownPoints(std::string_view text, bool* converted = nullptr);

/// Largest file the reader accepts, bytes.
inline constexpr std::size_t kMaxKnownPointsFileBytes = 8u << 20;

/// Reads the companion of `table`. Nothing (no error) when the file does not exist; otherwise
/// KnownPointsError when it is not a regular file, is too large, cannot be read or is damaged.
/// `converted` as for parseKnownPoints.
std::optional<KnownPoints> readKnownPoints(const std::filesystem::path& table, bool* converted = nullptr);
/// Writes the companion of `table` through a temporary file renamed over it, so a failed write
/// leaves the old file; no points and no georeference remove the file, so the table is as one
/// that never had known points. Refuses to replace anything but a regular file. KnownPointsError on failure.
void writeKnownPoints(const std::filesystem::path& table, const KnownPoints& points);

}  // namespace zelt::document
