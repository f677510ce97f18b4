// SPDX-License-Identifier: GPL-3.0-or-later
// Coordinate reference systems through PROJ.
#include "geo/crs.h"

#include <proj.h>

#include <cmath>
#include <cstdio>
#include <utility>

namespace zelt::geo {

namespace {

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string shortened(const std::string& s)
{
    return s.size() <= 80 ? s : s.substr(0, 77) + "...";
}

std::string reasonOf(PJ_CONTEXT* ctx)
{
    const int err = proj_context_errno(ctx);
    const char* text = err ? proj_context_errno_string(ctx, err) : nullptr;
    return text && *text ? std::string(" (") + text + ")" : std::string();
}

// The projection of a projected system, also behind a bound CRS (a PROJ string with
// +towgs84) or as the horizontal part of a compound one; null for any other system.
PJ* projectionOf(PJ_CONTEXT* ctx, const PJ* crs)
{
    const PJ_TYPE type = proj_get_type(crs);
    if (type == PJ_TYPE_PROJECTED_CRS)
        return proj_crs_get_coordoperation(ctx, crs);
    PJ* inner = nullptr;
    if (type == PJ_TYPE_BOUND_CRS)
        inner = proj_get_source_crs(ctx, crs);
    else if (type == PJ_TYPE_COMPOUND_CRS)
        inner = proj_crs_get_sub_crs(ctx, crs, 0);
    PJ* projection = inner ? projectionOf(ctx, inner) : nullptr;
    if (inner)
        proj_destroy(inner);
    return projection;
}

std::string formatted(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

}  // namespace

struct Crs::Impl {
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* crs = nullptr;
    PJ* toWgs84 = nullptr;   // east, north -> longitude, latitude

    Impl() { proj_log_level(ctx, PJ_LOG_NONE); }
    ~Impl()
    {
        if (toWgs84)
            proj_destroy(toWgs84);
        if (crs)
            proj_destroy(crs);
        proj_context_destroy(ctx);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

Crs::Crs(const std::string& definition) : m(std::make_unique<Impl>()), m_definition(trimmed(definition))
{
    const std::string quoted = "'" + shortened(m_definition) + "'";
    if (m_definition.empty())
        throw GeoError("No coordinate reference system was given.");
    std::string def = m_definition;
    if ((def.rfind("+proj=", 0) == 0 || def.rfind("proj=", 0) == 0) && def.find("type=crs") == std::string::npos)
        def += " +type=crs";
    m->crs = proj_create(m->ctx, def.c_str());
    if (!m->crs)
        throw GeoError("The coordinate reference system " + quoted + " is unknown to PROJ" + reasonOf(m->ctx)
                       + ". Give an EPSG code such as EPSG:32633 or a PROJ definition.");
    if (!proj_is_crs(m->crs))
        throw GeoError(quoted + " is not a coordinate reference system but a coordinate operation.");
    PJ* projection = projectionOf(m->ctx, m->crs);
    if (!projection)
        throw GeoError("The coordinate reference system " + quoted
                       + " is not a projected one: its coordinates are not metres east and north.");
    const bool invertible = proj_pj_info(projection).has_inverse != 0;
    proj_destroy(projection);
    if (!invertible)
        throw GeoError("The coordinate reference system " + quoted
                       + " has no inverse: longitude and latitude cannot be converted into it.");
    PJ* wgs84 = proj_create(m->ctx, "EPSG:4326");
    PJ* op = wgs84 ? proj_create_crs_to_crs_from_pj(m->ctx, m->crs, wgs84, nullptr, nullptr) : nullptr;
    if (wgs84)
        proj_destroy(wgs84);
    if (op) {
        m->toWgs84 = proj_normalize_for_visualization(m->ctx, op);
        proj_destroy(op);
    }
    if (!m->toWgs84)
        throw GeoError("PROJ finds no way from the coordinate reference system " + quoted + " to WGS 84"
                       + reasonOf(m->ctx) + ".");
}

Crs::~Crs() = default;
Crs::Crs(Crs&&) noexcept = default;
Crs& Crs::operator=(Crs&&) noexcept = default;

std::string Crs::name() const
{
    const char* n = proj_get_name(m->crs);
    return n && *n ? n : "unknown";
}

std::string Crs::wkt() const
{
    const char* w = proj_as_wkt(m->ctx, m->crs, PJ_WKT2_2019, nullptr);
    return w ? w : std::string();
}

LonLat Crs::toLonLat(EastNorth p) const
{
    proj_errno_reset(m->toWgs84);
    const PJ_COORD c = proj_trans(m->toWgs84, PJ_FWD, proj_coord(p.east, p.north, 0, 0));
    if (!std::isfinite(c.xy.x) || !std::isfinite(c.xy.y) || c.xy.x == HUGE_VAL || proj_errno(m->toWgs84))
        throw GeoError("The point " + formatted(p.east) + ", " + formatted(p.north) + " of '"
                       + shortened(m_definition) + "' has no longitude and latitude (outside the projection).");
    return {c.lp.lam, c.lp.phi};
}

EastNorth Crs::fromLonLat(LonLat p) const
{
    proj_errno_reset(m->toWgs84);
    const PJ_COORD c = proj_trans(m->toWgs84, PJ_INV, proj_coord(p.lon, p.lat, 0, 0));
    if (!std::isfinite(c.xy.x) || !std::isfinite(c.xy.y) || c.xy.x == HUGE_VAL || proj_errno(m->toWgs84))
        throw GeoError("Longitude " + formatted(p.lon) + ", latitude " + formatted(p.lat)
                       + " cannot be converted into '" + shortened(m_definition) + "'.");
    return {c.xy.x, c.xy.y};
}

}  // namespace zelt::geo
