// SPDX-License-Identifier: GPL-3.0-or-later
// A GPS track read through GDAL/OGR.
#include "geo/track.h"

#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <mutex>
#include <system_error>

namespace zelt::geo {
namespace fs = std::filesystem;

namespace {

std::string quoted(const fs::path& p) { return "'" + fs::absolute(p).string() + "'"; }

void addPoints(const OGRGeometry* g, OGRCoordinateTransformation& toWgs84, Track& out)
{
    if (!g)
        return;
    const OGRwkbGeometryType type = wkbFlatten(g->getGeometryType());
    if (type == wkbLineString) {
        const auto* line = g->toLineString();
        for (int i = 0; i < line->getNumPoints(); ++i) {
            double x = line->getX(i), y = line->getY(i);
            if (toWgs84.Transform(1, &x, &y))
                out.points.push_back({x, y});
        }
    } else if (type == wkbMultiLineString || type == wkbGeometryCollection) {
        const auto* many = g->toGeometryCollection();
        for (int i = 0; i < many->getNumGeometries(); ++i)
            addPoints(many->getGeometryRef(i), toWgs84, out);
    }
}

}  // namespace

Track readTrack(const fs::path& file)
{
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (ec || !fs::exists(st))
        throw GeoError("The track file " + quoted(file) + " does not exist.");
    if (!fs::is_regular_file(st))
        throw GeoError("The track file " + quoted(file) + " is not a regular file.");
    if (fs::file_size(file, ec) > kMaxTrackFileBytes)
        throw GeoError("The track file " + quoted(file) + " is larger than 512 MB.");
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
    CPLErrorReset();
    std::unique_ptr<GDALDataset> ds(static_cast<GDALDataset*>(
        GDALOpenEx(file.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
    if (!ds)
        throw GeoError("The track file " + quoted(file) + " is not a GPX file or other vector file GDAL can read.");
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    Track out;
    for (int i = 0; i < ds->GetLayerCount(); ++i) {
        OGRLayer* layer = ds->GetLayer(i);
        const std::string name = layer->GetName();
        // GPX lists every track and route point once more as a point layer of its own.
        if (name == "track_points" || name == "route_points")
            continue;
        const OGRSpatialReference* srs = layer->GetSpatialRef();
        if (!srs)
            throw GeoError("The track file " + quoted(file) + " does not say which coordinate system its layer \""
                           + name + "\" is in.");
        OGRSpatialReference source(*srs);
        source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> toWgs84(OGRCreateCoordinateTransformation(&source, &wgs84));
        if (!toWgs84)
            throw GeoError("The coordinate system of the track file " + quoted(file) + " cannot be converted to WGS 84.");
        const int nameField = layer->GetLayerDefn()->GetFieldIndex("name");
        layer->ResetReading();
        for (auto& feature : *layer) {
            const OGRGeometry* g = feature->GetGeometryRef();
            if (g && wkbFlatten(g->getGeometryType()) == wkbPoint) {
                const char* label = nameField >= 0 && feature->IsFieldSetAndNotNull(nameField)
                                        ? feature->GetFieldAsString(nameField)
                                        : "";
                double x = g->toPoint()->getX(), y = g->toPoint()->getY();
                if (*label && toWgs84->Transform(1, &x, &y))
                    out.waypoints.push_back({label, {x, y}});
            } else {
                addPoints(g, *toWgs84, out);
            }
        }
    }
    if (out.points.empty() && out.waypoints.empty())
        throw GeoError("The track file " + quoted(file) + " holds no track points and no named waypoints.");
    return out;
}

}  // namespace zelt::geo
