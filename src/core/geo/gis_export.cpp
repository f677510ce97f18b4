// SPDX-License-Identifier: GPL-3.0-or-later
// The route where it lies, written as a GIS file through GDAL/OGR.
#include "geo/gis_export.h"

#include "base/atomic_file.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <functional>
#include <map>
#include <mutex>
#include <system_error>

namespace zelt::geo {
namespace fs = std::filesystem;

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

const std::vector<std::pair<std::vector<std::string>, GisFormat>>& formats()
{
    static const std::vector<std::pair<std::vector<std::string>, GisFormat>> table{
        {{"gpkg", "geopackage", ".gpkg"}, {"GPKG", GisLayout::Layers, false, false, ".gpkg"}},
        {{"geojson", ".geojson", ".json"}, {"GeoJSON", GisLayout::OneLayer, true, true, ".geojson"}},
        {{"gpx", ".gpx"}, {"GPX", GisLayout::Gpx, true, true, ".gpx"}},
        {{"kml", ".kml"}, {"KML", GisLayout::Layers, true, true, ".kml"}},
        {{"esri shapefile", "shapefile", ".shp"}, {"ESRI Shapefile", GisLayout::Layers, false, false, ".shp"}},
        {{"dxf", ".dxf"}, {"DXF", GisLayout::OneLayer, false, true, ".dxf"}},
        {{"flatgeobuf", ".fgb"}, {"FlatGeobuf", GisLayout::OneLayer, false, false, ".fgb"}},
        {{"csv", ".csv"}, {"CSV", GisLayout::OneLayer, false, true, ".csv"}},
    };
    return table;
}

void registerDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        // Messages are collected from CPLGetLastErrorMsg and reported as ours, never printed.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

std::string gdalReason()
{
    const char* msg = CPLGetLastErrorMsg();
    return msg && *msg ? std::string(": ") + msg : std::string();
}

// A private folder beside the target, removed with everything in it unless released.
class TempFolder {
public:
    explicit TempFolder(const fs::path& target)
    {
        std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".zelt-XXXXXX")).string();
        if (!mkdtemp(pattern.data()))
            throw GeoError("Cannot write " + zelt::document::fileErrorText(target.parent_path(), errno));
        m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

void copyInPlace(const fs::path& from, const fs::path& to)
{
    std::string message;
    zelt::document::AtomicFile out = zelt::document::AtomicFile::begin(to, message);
    if (!out.isOpen())
        throw GeoError("Cannot write the GIS file: " + message);
    const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw GeoError("Cannot read back " + zelt::document::fileErrorText(from, errno));
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw GeoError("Cannot read back " + zelt::document::fileErrorText(from, error));
        }
        if (n == 0)
            break;
        if (!out.write(buffer.data(), std::size_t(n), message)) {
            ::close(fd);
            throw GeoError("Cannot write the GIS file: " + message);
        }
    }
    ::close(fd);
    if (!out.commit(message)) {
        if (out.isInPlace())
            throw zelt::document::NotDurableError("The GIS file was written, but: " + zelt::document::asSentence(message)
                                                  + " A power loss may still undo it.");
        throw GeoError("Cannot write the GIS file: " + message);
    }
}

struct Field {
    const char* name;
    OGRFieldType type;
};

// Field names of at most ten characters: a Shapefile keeps no more.
const std::vector<Field> kStationFields{{"row", OFTInteger},    {"azimuth", OFTInteger}, {"pairs", OFTReal},
                                        {"metres", OFTReal},    {"slope", OFTReal},      {"turn", OFTString},
                                        {"mark", OFTString},    {"altimeter", OFTReal},  {"fill_h", OFTReal},
                                        {"recalc", OFTReal},    {"height", OFTReal}};
const std::vector<Field> kMarkFields{{"row", OFTInteger}, {"mark", OFTString}};
const std::vector<Field> kKnownFields{{"row", OFTInteger}, {"res_east", OFTReal}, {"res_north", OFTReal}};

class Writer {
public:
    Writer(GDALDataset& ds, const GisFormat& format, const Crs& crs, const std::string& stem)
        : m_ds(ds), m_format(format), m_crs(crs), m_stem(stem)
    {
        if (format.lonLat)
            m_srs.importFromEPSG(4326);
        else if (m_srs.importFromWkt(crs.wkt().c_str()) != OGRERR_NONE)
            throw GeoError("GDAL cannot use the coordinate reference system '" + crs.definition() + "'" + gdalReason());
        m_srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    }

    void write(const GisRoute& route)
    {
        switch (m_format.layout) {
        case GisLayout::Layers:
            writeLine(layer(layerName("route"), wkbLineString25D, {}), route);
            writeStations(layer(layerName("stations"), wkbPoint25D, kStationFields), route);
            writeMarks(layer(layerName("marks"), wkbPoint, kMarkFields), route);
            writeKnown(layer(layerName("known_points"), wkbPoint, kKnownFields), route);
            break;
        case GisLayout::OneLayer: {
            std::vector<Field> all{{"layer", OFTString}};
            for (const auto* set : {&kStationFields, &kMarkFields, &kKnownFields})
                for (const Field& f : *set)
                    if (std::none_of(all.begin(), all.end(), [&](const Field& a) { return std::string(a.name) == f.name; }))
                        all.push_back(f);
            // A DXF layer has its own fixed fields; its "Layer" is the drawing's layer.
            OGRLayer* one = layer(m_stem, wkbUnknown, m_format.driver == "DXF" ? std::vector<Field>{} : all);
            writeLine(one, route);
            writeStations(one, route);
            writeMarks(one, route);
            writeKnown(one, route);
            break;
        }
        case GisLayout::Gpx:
            // GPX puts every waypoint before the tracks.
            writeMarks(layer("waypoints", wkbPoint, {}), route);
            writeLine(layer("tracks", wkbMultiLineString25D, {}), route);
            break;
        }
    }

private:
    std::string layerName(const std::string& name) const
    {
        // A Shapefile layer is a set of files beside the one named: NAME.shp, NAME_stations.shp...
        if (m_format.driver == "ESRI Shapefile")
            return name == "route" ? m_stem : m_stem + "_" + name;
        return name;
    }

    OGRLayer* layer(const std::string& name, OGRwkbGeometryType type, const std::vector<Field>& fields)
    {
        char** options = nullptr;
        if (m_format.driver == "GeoJSON")
            options = CSLSetNameValue(options, "COORDINATE_PRECISION", "9");
        if (m_format.driver == "CSV")
            options = CSLSetNameValue(options, "GEOMETRY", "AS_WKT");
        if (m_format.driver == "ESRI Shapefile")
            options = CSLSetNameValue(options, "ENCODING", "UTF-8");
        if (m_format.driver == "FlatGeobuf")
            options = CSLSetNameValue(options, "SPATIAL_INDEX", "NO");
        CPLErrorReset();
        OGRLayer* l = m_ds.CreateLayer(name.c_str(), &m_srs, type, options);
        CSLDestroy(options);
        if (!l)
            throw GeoError("GDAL cannot make the layer \"" + name + "\" in " + m_format.driver + gdalReason());
        for (const Field& f : fields) {
            OGRFieldDefn defn(f.name, f.type);
            if (l->CreateField(&defn) != OGRERR_NONE)
                throw GeoError("GDAL cannot make the field \"" + std::string(f.name) + "\"" + gdalReason());
        }
        m_tag = name;
        return l;
    }

    std::pair<double, double> xy(EastNorth p) const
    {
        if (!m_format.lonLat)
            return {p.east, p.north};
        const LonLat ll = m_crs.toLonLat(p);
        return {ll.lon, ll.lat};
    }

    void add(OGRLayer* l, OGRFeature& f, const char* tag)
    {
        const int layerField = f.GetFieldIndex(m_format.driver == "DXF" ? "Layer" : "layer");
        if (m_format.layout == GisLayout::OneLayer && layerField >= 0)
            f.SetField(layerField, tag);
        if (l->CreateFeature(&f) != OGRERR_NONE)
            throw GeoError("GDAL cannot write a feature of \"" + std::string(tag) + "\"" + gdalReason());
        ++m_written[l->GetName()];
    }

public:
    /// Features written, by the name of the layer they went into.
    const std::map<std::string, long long>& written() const { return m_written; }

private:

    static void set(OGRFeature& f, const char* name, const std::optional<double>& v)
    {
        const int i = f.GetFieldIndex(name);
        if (i >= 0 && v)
            f.SetField(i, *v);
    }
    static void set(OGRFeature& f, const char* name, int v)
    {
        const int i = f.GetFieldIndex(name);
        if (i >= 0)
            f.SetField(i, v);
    }
    static void set(OGRFeature& f, const char* name, const std::string& v)
    {
        const int i = f.GetFieldIndex(name);
        if (i >= 0 && !v.empty())
            f.SetField(i, v.c_str());
    }

    void writeLine(OGRLayer* l, const GisRoute& route)
    {
        OGRLineString line;
        line.setNumPoints(int(route.line.size()));
        for (std::size_t i = 0; i < route.line.size(); ++i) {
            const auto [x, y] = xy(route.line[i]);
            line.setPoint(int(i), x, y, i < route.heights.size() ? route.heights[i] : 0.0);
        }
        OGRFeature f(l->GetLayerDefn());
        if (m_format.layout == GisLayout::Gpx) {
            OGRMultiLineString track;
            track.addGeometry(&line);
            f.SetGeometry(&track);
            set(f, "name", m_stem);
        } else {
            f.SetGeometry(&line);
        }
        add(l, f, "route");
    }

    void writeStations(OGRLayer* l, const GisRoute& route)
    {
        for (const GisStation& s : route.stations) {
            OGRFeature f(l->GetLayerDefn());
            const auto [x, y] = xy(s.at);
            OGRPoint p(x, y, s.height);
            f.SetGeometry(&p);
            set(f, "row", s.row);
            set(f, "azimuth", s.azimuth);
            set(f, "pairs", std::optional<double>(s.pairs));
            set(f, "metres", std::optional<double>(s.metres));
            set(f, "slope", s.slope);
            set(f, "turn", s.turn);
            set(f, "mark", s.mark);
            set(f, "altimeter", s.altimeter);
            set(f, "fill_h", s.fillHeight);
            set(f, "recalc", s.recalc);
            set(f, "height", std::optional<double>(s.height));
            add(l, f, "stations");
        }
    }

    void writeMarks(OGRLayer* l, const GisRoute& route)
    {
        for (const GisMark& m : route.marks) {
            OGRFeature f(l->GetLayerDefn());
            const auto [x, y] = xy(m.at);
            OGRPoint p(x, y);
            f.SetGeometry(&p);
            set(f, "row", m.row);
            set(f, "mark", m.mark);
            set(f, "name", m.mark);
            set(f, "Name", m.mark);
            set(f, "desc", "row " + std::to_string(m.row));
            add(l, f, "marks");
        }
    }

    void writeKnown(OGRLayer* l, const GisRoute& route)
    {
        for (const GisKnownPoint& k : route.known) {
            OGRFeature f(l->GetLayerDefn());
            const auto [x, y] = xy(k.at);
            OGRPoint p(x, y);
            f.SetGeometry(&p);
            set(f, "row", k.row);
            set(f, "res_east", k.residualEastM);
            set(f, "res_north", k.residualNorthM);
            add(l, f, "known_points");
        }
    }

    GDALDataset& m_ds;
    const GisFormat& m_format;
    const Crs& m_crs;
    std::string m_stem;
    OGRSpatialReference m_srs;
    std::string m_tag;
    std::map<std::string, long long> m_written;
};

// Reads the finished dataset back and counts its features: a driver that lost a write without
// saying so (a full disk under a buffered writer) is caught before the file takes the target's
// place. Single-layer formats may name their layer differently when read (DXF: "entities"),
// so all their features count; GPX adds layers of its own, so only the written ones count.
void checkWritten(const fs::path& dataset, const GisFormat& format, const std::map<std::string, long long>& written)
{
    long long expected = 0;
    for (const auto& [name, n] : written)
        expected += n;
    CPLErrorReset();
    GDALDataset* ds = static_cast<GDALDataset*>(
        GDALOpenEx(dataset.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!ds)
        throw GeoError("The " + format.driver + " file just written cannot be read back" + gdalReason());
    long long found = 0;
    for (int i = 0; i < ds->GetLayerCount(); ++i) {
        OGRLayer* l = ds->GetLayer(i);
        if (format.layout == GisLayout::OneLayer || written.count(l->GetName()))
            found += l->GetFeatureCount(TRUE);
    }
    GDALClose(ds);
    if (found != expected)
        throw GeoError("The " + format.driver + " file just written holds " + std::to_string(found) + " of its "
                       + std::to_string(expected) + " features; it was not kept.");
}

}  // namespace

GisFormat gisFormat(const std::string& name, const fs::path& path)
{
    const std::string key = lower(name.empty() ? path.extension().string() : name);
    for (const auto& [names, format] : formats())
        if (std::find(names.begin(), names.end(), key) != names.end())
            return format;
    if (name.empty())
        throw GeoError("The GIS format cannot be told from '" + path.filename().string()
                       + "': name it with --format (GPKG, GeoJSON, GPX, KML, \"ESRI Shapefile\", DXF, FlatGeobuf, CSV)"
                         " or end the file name in .gpkg, .geojson, .gpx, .kml, .shp, .dxf, .fgb or .csv.");
    throw GeoError("Unknown GIS format '" + name
                   + "': use GPKG, GeoJSON, GPX, KML, \"ESRI Shapefile\", DXF, FlatGeobuf or CSV.");
}

void writeGis(const fs::path& target, const GisFormat& format, const Crs& crs, const GisRoute& route)
{
    registerDrivers();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName(format.driver.c_str());
    if (!driver)
        throw GeoError("This GDAL has no " + format.driver + " driver.");
    const fs::path absolute = fs::absolute(target);
    TempFolder temp(absolute);
    std::string stem = absolute.stem().string();
    const bool shapefile = format.driver == "ESRI Shapefile";
    // A Shapefile dataset is a folder whose layers are files; the others are one file.
    const fs::path datasetPath = shapefile ? temp.path() / "set" : temp.path() / absolute.filename();
    char** options = nullptr;
    if (format.driver == "KML")
        options = CSLSetNameValue(options, "NameField", "mark");
    CPLErrorReset();
    GDALDataset* ds = driver->Create(datasetPath.c_str(), 0, 0, 0, GDT_Unknown, options);
    CSLDestroy(options);
    if (!ds)
        throw GeoError("GDAL cannot make a " + format.driver + " file" + gdalReason());
    std::map<std::string, long long> written;
    try {
        const bool transaction = ds->StartTransaction(TRUE) == OGRERR_NONE;
        Writer writer(*ds, format, crs, stem);
        writer.write(route);
        written = writer.written();
        if (transaction && ds->CommitTransaction() != OGRERR_NONE)
            throw GeoError("GDAL cannot finish the " + format.driver + " file" + gdalReason());
    } catch (...) {
        GDALClose(ds);
        throw;
    }
    CPLErrorReset();
    GDALClose(ds);
    if (CPLGetLastErrorType() >= CE_Failure)
        throw GeoError("GDAL cannot finish the " + format.driver + " file" + gdalReason());
    checkWritten(datasetPath, format, written);
    std::vector<fs::path> made;
    if (shapefile) {
        for (const auto& entry : fs::directory_iterator(datasetPath))
            made.push_back(entry.path());
        std::sort(made.begin(), made.end());
    } else {
        made.push_back(datasetPath);
    }
    for (const fs::path& file : made)
        copyInPlace(file, absolute.parent_path() / file.filename());
}

}  // namespace zelt::geo
