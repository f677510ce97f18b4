// SPDX-License-Identifier: GPL-3.0-or-later
// A map changed as a whole: objects are appended to a copy, which then takes the map's place.
#pragma once

#include "export/ocad_types.h"

#include <cstdint>
#include <filesystem>

namespace zelt::mapexport {

/// The copy of a map an export appends to. The constructor checks the map (a damaged or
/// unwritable map is refused, naming it, before anything is written) and copies it beside
/// itself ("<map>.zelt-<random>", synced); a map that does not exist yet is made from the
/// template there. commit() syncs the copy, renames it over the map and syncs the folder, so a
/// kill, a full disk or an I/O error at any point leaves the map as it was or with the whole
/// route; re-running never finds half a route to add to. A copy never committed is removed.
class StagedMap {
public:
    /// A new map made from the template gets its start mark at (startX, startY), and `georef`
    /// in its setup when given.
    explicit StagedMap(const std::filesystem::path& map, std::int32_t startX = 0, std::int32_t startY = 0,
                       const MapGeoreference* georef = nullptr);
    ~StagedMap();
    StagedMap(const StagedMap&) = delete;
    StagedMap& operator=(const StagedMap&) = delete;

    /// The copy to append to.
    const std::filesystem::path& path() const { return m_staged; }
    /// Puts the copy in the map's place; throws MapIoError naming the map and the reason.
    void commit();

private:
    std::filesystem::path m_map;
    std::filesystem::path m_staged;
};

}  // namespace zelt::mapexport
