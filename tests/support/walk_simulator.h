// SPDX-License-Identifier: GPL-3.0-or-later
// A surveyor's walk simulated from the physics, for testing the blunder check against what
// really happened: the true ground path, a compass that is off by a constant and scatters, a
// stride that differs from the stated pace count and scatters, an altimeter and a clinometer
// that scatter, and known points read off a map at the places where the marks stand. Nothing
// here calls the code under test.
#pragma once

#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace zelt::test {

/// How the walk goes and how good the instruments are (standard deviations).
struct WalkModel {
    int legs = 60;
    double pairsPer100m = 64;       ///< the pace count the surveyor states
    double strideFactor = 1.0;      ///< true pairs per metre over the stated ones
    double compassOffsetDeg = 0;    ///< every reading is off by this
    double compassSigmaDeg = 2;
    double paceSigma = 0.03;        ///< share of each leg's walked length
    double knownSigmaM = 2;         ///< each coordinate of a known point, on the ground
    double altimeterSigmaM = 2;
    double slopeSigma = 0.02;       ///< of the slope (rise over run)
    int knownPoints = 5;            ///< spread evenly from the first row to the route's end
    int altimeterEvery = 6;         ///< a reading at the end of every n-th leg (and the first)
    double mapScale = 15000;
    double minLegM = 30, maxLegM = 120;
    double maxSlope = 0.15;
};

/// One row as the surveyor typed it.
struct TypedRow {
    int azimuth = 0;
    double pairs = 0;
    int procent = 0;
    std::optional<double> altimeter;
};

/// A known point as read off the map: where row `row`'s mark stands (where its leg begins),
/// map millimetres.
struct MapPoint {
    int row = 0;
    double xMm = 0, yMm = 0;
};

struct SimulatedWalk {
    std::vector<TypedRow> rows;
    std::vector<MapPoint> known;
    std::vector<double> trueEast, trueNorth;  ///< where each leg begins, index = row - 1; last = route's end
};

class WalkSimulator {
public:
    explicit WalkSimulator(std::uint32_t seed) : m_rng(seed) {}

    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(m_rng); }
    double gauss(double sigma) { return sigma > 0 ? std::normal_distribution<double>(0.0, sigma)(m_rng) : 0.0; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    std::mt19937& rng() { return m_rng; }

    SimulatedWalk walk(const WalkModel& m)
    {
        SimulatedWalk w;
        const double d2r = std::numbers::pi / 180;
        double east = 0, north = 0, height = 300 + uniform(0, 500);
        double heading = uniform(0, 360);
        // The map's frame: the ground is shifted into it (the map's grid is north up).
        const double mapEast = 4000 + uniform(0, 2000), mapNorth = 2000 + uniform(0, 2000);
        for (int i = 0; i < m.legs; ++i) {
            w.trueEast.push_back(east);
            w.trueNorth.push_back(north);
            heading = std::fmod(heading + uniform(-120, 120) + 360, 360);
            const double run = uniform(m.minLegM, m.maxLegM);         // horizontal
            const double slope = uniform(-m.maxSlope, m.maxSlope);    // rise over run
            const double alongSlope = run * std::sqrt(1 + slope * slope);
            TypedRow r;
            r.azimuth = int(std::lround(std::fmod(heading + m.compassOffsetDeg + gauss(m.compassSigmaDeg) + 720, 360))) % 360;
            const double truePairsPerM = m.pairsPer100m / 100 * m.strideFactor;
            r.pairs = std::max(1.0, std::round(alongSlope * truePairsPerM * (1 + gauss(m.paceSigma))));
            r.procent = int(std::lround(100 * (slope + gauss(m.slopeSigma))));
            east += std::sin(heading * d2r) * run;
            north += std::cos(heading * d2r) * run;
            height += slope * run;
            if (i == 0 || (i + 1) % m.altimeterEvery == 0 || i + 1 == m.legs)
                r.altimeter = std::round((height + gauss(m.altimeterSigmaM)) * 10) / 10;
            w.rows.push_back(r);
        }
        w.trueEast.push_back(east);
        w.trueNorth.push_back(north);
        for (int k = 0; k < m.knownPoints; ++k) {
            const int row = 1 + int(std::lround(double(k) * m.legs / double(m.knownPoints - 1)));
            const double e = mapEast + w.trueEast[std::size_t(row - 1)] + gauss(m.knownSigmaM);
            const double n = mapNorth + w.trueNorth[std::size_t(row - 1)] + gauss(m.knownSigmaM);
            w.known.push_back({row, e * 1000 / m.mapScale, n * 1000 / m.mapScale});
        }
        return w;
    }

private:
    std::mt19937 m_rng;
};

/// A typical misreading of a reading, and how often it happens relative to the others: the
/// documented priors (reversed azimuth and lost slope sign 3, tally +-10 pairs 2, swapped digits
/// and +-10 degrees 1 each, +-100 degrees, +-20 pairs and altimeter +-10..+-100 m 0.5 each).
struct SimMisreading {
    std::string field;  ///< "Azimuth", "Pairs", "Procent", "Altimeter"
    double typed = 0;
    double prior = 0;
};

inline std::vector<std::string> digitSwaps(const std::string& d)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < d.size(); ++i)
        for (std::size_t j = i + 1; j < d.size(); ++j)
            if (d[i] != d[j]) {
                std::string s = d;
                std::swap(s[i], s[j]);
                bool seen = false;
                for (const auto& o : out)
                    seen = seen || o == s;
                if (!seen)
                    out.push_back(s);
            }
    return out;
}

/// Every typical misreading of row `row`'s readings (values the fields can hold).
inline std::vector<SimMisreading> misreadingsOf(const TypedRow& r)
{
    std::vector<SimMisreading> out;
    const auto add = [&](const char* field, double v, double prior) {
        for (auto& o : out)
            if (o.field == field && o.typed == v) {
                o.prior += prior;
                return;
            }
        out.push_back({field, v, prior});
    };
    add("Azimuth", (r.azimuth + 180) % 360, 3);
    std::string a = std::to_string(r.azimuth);
    a.insert(0, 3 - a.size(), '0');
    for (const auto& s : digitSwaps(a))
        if (std::stoi(s) < 360)
            add("Azimuth", std::stoi(s), 1);
    for (int step : {10, -10, 100, -100})
        if (r.azimuth + step >= 0 && r.azimuth + step < 360)
            add("Azimuth", r.azimuth + step, std::abs(step) == 10 ? 1 : 0.5);
    for (double step : {10.0, -10.0, 20.0, -20.0})
        if (r.pairs + step >= 0)
            add("Pairs", r.pairs + step, std::fabs(step) == 10 ? 2 : 0.5);
    for (const auto& s : digitSwaps(std::to_string(int(r.pairs))))
        if (s[0] != '0')
            add("Pairs", std::stoi(s), 1);
    if (r.procent != 0)
        add("Procent", -r.procent, 3);
    for (const auto& s : digitSwaps(std::to_string(std::abs(r.procent))))
        if (s[0] != '0' && std::stoi(s) <= 150)
            add("Procent", r.procent < 0 ? -std::stoi(s) : std::stoi(s), 1);
    if (r.altimeter)
        for (int k = 1; k <= 10; ++k) {
            add("Altimeter", *r.altimeter + 10.0 * k, 0.5);
            add("Altimeter", *r.altimeter - 10.0 * k, 0.5);
        }
    return out;
}

/// Which reading was changed and what the surveyor really read.
struct Blunder {
    int row = 0;  ///< 1-based
    std::string field;
    double walked = 0;  ///< the true reading
    double typed = 0;
};

inline void applyBlunder(SimulatedWalk& w, const Blunder& b)
{
    TypedRow& r = w.rows[std::size_t(b.row - 1)];
    if (b.field == "Azimuth")
        r.azimuth = int(b.typed);
    else if (b.field == "Pairs")
        r.pairs = b.typed;
    else if (b.field == "Procent")
        r.procent = int(b.typed);
    else
        r.altimeter = b.typed;
}

inline double readingOf(const TypedRow& r, const std::string& field)
{
    return field == "Azimuth" ? r.azimuth : field == "Pairs" ? r.pairs : field == "Procent" ? r.procent : r.altimeter.value_or(0);
}

/// One misreading drawn over every reading of the walk with the documented priors.
inline Blunder drawBlunder(WalkSimulator& sim, const SimulatedWalk& w)
{
    std::vector<Blunder> all;
    std::vector<double> weights;
    for (std::size_t i = 0; i < w.rows.size(); ++i)
        for (const auto& m : misreadingsOf(w.rows[i])) {
            all.push_back({int(i) + 1, m.field, readingOf(w.rows[i], m.field), m.typed});
            weights.push_back(m.prior);
        }
    std::discrete_distribution<std::size_t> d(weights.begin(), weights.end());
    return all[d(sim.rng())];
}

}  // namespace zelt::test
