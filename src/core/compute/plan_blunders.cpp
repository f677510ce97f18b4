// SPDX-License-Identifier: GPL-3.0-or-later
// The plan's misclosures at the known points under the walk's error model, and how one changed
// reading would change them.
#include "compute/plan_blunders.h"

#include "compute/route_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace zelt::compute {

namespace {

using Cx = std::complex<double>;
using Matrix = std::vector<std::vector<double>>;

/// The inverse of a symmetric positive definite matrix by Cholesky; false when it is not.
bool invertSpd(Matrix& a)
{
    const std::size_t n = a.size();
    Matrix l(n, std::vector<double>(n, 0.0));
    for (std::size_t j = 0; j < n; ++j) {
        double d = a[j][j];
        for (std::size_t k = 0; k < j; ++k)
            d -= l[j][k] * l[j][k];
        if (!(d > 0))
            return false;
        l[j][j] = std::sqrt(d);
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = a[i][j];
            for (std::size_t k = 0; k < j; ++k)
                s -= l[i][k] * l[j][k];
            l[i][j] = s / l[j][j];
        }
    }
    // inv(L) column by column, then inv(A) = inv(L)^T inv(L).
    Matrix li(n, std::vector<double>(n, 0.0));
    for (std::size_t j = 0; j < n; ++j) {
        li[j][j] = 1.0 / l[j][j];
        for (std::size_t i = j + 1; i < n; ++i) {
            double s = 0;
            for (std::size_t k = j; k < i; ++k)
                s -= l[i][k] * li[k][j];
            li[i][j] = s / l[i][i];
        }
    }
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = 0; j <= i; ++j) {
            double s = 0;
            for (std::size_t k = i; k < n; ++k)
                s += li[k][i] * li[k][j];
            a[i][j] = a[j][i] = s;
        }
    return true;
}

/// Gauss-Jordan inverse of a small matrix with partial pivoting; false when singular.
bool invertSmall(Matrix& a)
{
    const std::size_t n = a.size();
    Matrix inv(n, std::vector<double>(n, 0.0));
    for (std::size_t i = 0; i < n; ++i)
        inv[i][i] = 1;
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c]))
                p = r;
        if (!(std::fabs(a[p][c]) > 0))
            return false;
        std::swap(a[p], a[c]);
        std::swap(inv[p], inv[c]);
        const double d = a[c][c];
        for (std::size_t k = 0; k < n; ++k) {
            a[c][k] /= d;
            inv[c][k] /= d;
        }
        for (std::size_t r = 0; r < n; ++r)
            if (r != c && a[r][c] != 0) {
                const double f = a[r][c];
                for (std::size_t k = 0; k < n; ++k) {
                    a[r][k] -= f * a[c][k];
                    inv[r][k] -= f * inv[c][k];
                }
            }
    }
    a = std::move(inv);
    return true;
}

/// Digits exchanged pairwise in `digits`; each result once, without `digits` itself.
std::vector<std::string> swappedDigits(const std::string& digits)
{
    std::vector<std::string> out;
    if (digits.size() > 12)
        return out;
    for (std::size_t i = 0; i < digits.size(); ++i)
        for (std::size_t j = i + 1; j < digits.size(); ++j) {
            if (digits[i] == digits[j])
                continue;
            std::string s = digits;
            std::swap(s[i], s[j]);
            if (std::find(out.begin(), out.end(), s) == out.end())
                out.push_back(s);
        }
    return out;
}

std::int64_t wholeOf(const std::string& digits)
{
    std::int64_t v = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), v);
    return v;
}

int normalisedAzimuth(double degrees)
{
    const int a = int(std::lround(std::fmod(degrees, 360.0)));
    return ((a % 360) + 360) % 360;
}

}  // namespace

std::vector<Misreading> typicalMisreadings(CheckField field, double value)
{
    std::vector<Misreading> out;
    const auto add = [&](double v, BlunderKind kind, double prior) {
        for (Misreading& m : out)
            if (m.value == v) {
                if (prior > m.prior)
                    m.kind = kind;
                m.prior += prior;
                return;
            }
        out.push_back({v, kind, prior});
    };
    if (!std::isfinite(value))
        return out;
    switch (field) {
    case CheckField::Azimuth: {
        const int a = normalisedAzimuth(value);
        add((a + 180) % 360, BlunderKind::Reversed, 3);
        std::string digits = std::to_string(a);
        digits.insert(0, 3 - digits.size(), '0');
        for (const std::string& s : swappedDigits(digits))
            if (const auto v = wholeOf(s); v < 360)
                add(double(v), BlunderKind::SwappedDigits, 1);
        for (const int step : {10, -10, 100, -100})
            if (const int v = a + step; v >= 0 && v < 360)
                add(v, std::abs(step) == 10 ? BlunderKind::TenDegrees : BlunderKind::HundredDegrees,
                    std::abs(step) == 10 ? 1 : 0.5);
        break;
    }
    case CheckField::Pairs: {
        for (const double step : {10.0, -10.0, 20.0, -20.0})
            if (value + step >= 0)
                add(value + step, BlunderKind::Tally, std::fabs(step) == 10 ? 2 : 0.5);
        const double whole = std::trunc(value);
        if (whole >= 0 && whole < 1e9)
            for (const std::string& s : swappedDigits(std::to_string(std::int64_t(whole))))
                if (s.front() != '0')
                    add(double(wholeOf(s)) + (value - whole), BlunderKind::SwappedDigits, 1);
        break;
    }
    case CheckField::Procent: {
        // A slope the table cannot hold (beyond its ±150 %) has no typical misreading.
        if (!(std::fabs(value) <= 1000))
            break;
        const int p = int(std::lround(value));
        if (p != 0)
            add(-p, BlunderKind::LostSign, 3);
        for (const std::string& s : swappedDigits(std::to_string(std::abs(p))))
            if (const auto v = wholeOf(s); v <= 150 && s.front() != '0')
                add(double(p < 0 ? -v : v), BlunderKind::SwappedDigits, 1);
        break;
    }
    case CheckField::Altimeter:
        for (int k = 1; k <= 10; ++k)
            for (const int sign : {1, -1})
                add(value + sign * 10.0 * k, BlunderKind::Misread, 0.5);
        break;
    }
    return out;
}

PlanMisclosure::PlanMisclosure(std::span<const KnownGround> known, std::span<const std::array<double, 3>> legs,
                               Cx linear, double knownSigmaM)
    : m_known(known.begin(), known.end()), m_linear(linear)
{
    const std::size_t n = m_known.size();
    // About the first point: keeps the sums small on a long route.
    const Cx z0 = m_known.front().route, w0 = m_known.front().known;
    std::vector<Cx> z(n), w(n);
    for (std::size_t k = 0; k < n; ++k) {
        z[k] = m_known[k].route - z0;
        w[k] = m_known[k].known - w0;
    }
    // The covariance of each point's route position: the legs walked before it (a row stands
    // where its leg begins, so row R carries the legs of rows 1 to R-1), turned and scaled by
    // the placement: A C A^T with A = [a -b; b a].
    const double a = linear.real(), b = linear.imag();
    std::vector<std::array<double, 3>> cum(n);
    std::array<double, 3> run{};
    std::size_t leg = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const auto end = rowStandsAtEndOf(std::size_t(std::max(1, m_known[k].row) - 1));
        const std::size_t walked = end ? *end + 1 : 0;  // legs before the point
        for (; leg < walked && leg < legs.size(); ++leg)
            for (int i = 0; i < 3; ++i)
                run[std::size_t(i)] += legs[leg][std::size_t(i)];
        const double xx = run[0], xy = run[1], yy = run[2];
        // A C A^T for C = [xx xy; xy yy].
        cum[k] = {a * a * xx - 2 * a * b * xy + b * b * yy, a * b * (xx - yy) + (a * a - b * b) * xy,
                  b * b * xx + 2 * a * b * xy + a * a * yy};
    }
    const std::size_t m = 2 * n;
    Matrix sigma(m, std::vector<double>(m, 0.0));
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t l = 0; l < n; ++l) {
            const auto& c = cum[std::min(k, l)];
            sigma[2 * k][2 * l] = c[0];
            sigma[2 * k][2 * l + 1] = sigma[2 * k + 1][2 * l] = c[1];
            sigma[2 * k + 1][2 * l + 1] = c[2];
        }
    for (std::size_t i = 0; i < m; ++i)
        sigma[i][i] += knownSigmaM * knownSigmaM;
    // The design of the similarity w = [a -b; b a] z + t, parameters (a, b, tx, ty).
    Matrix design(m, std::vector<double>(4, 0.0));
    for (std::size_t k = 0; k < n; ++k) {
        design[2 * k] = {z[k].real(), -z[k].imag(), 1, 0};
        design[2 * k + 1] = {z[k].imag(), z[k].real(), 0, 1};
    }
    // The unweighted residual operator, for the rms the model expects.
    {
        Matrix ntn(4, std::vector<double>(4, 0.0));
        for (std::size_t i = 0; i < m; ++i)
            for (int p = 0; p < 4; ++p)
                for (int q = 0; q < 4; ++q)
                    ntn[std::size_t(p)][std::size_t(q)] += design[i][std::size_t(p)] * design[i][std::size_t(q)];
        if (invertSmall(ntn)) {
            // R = I - D (D^T D)^-1 D^T; E[sse] = trace(R Sigma R^T) = trace(R Sigma) as R is a projector.
            Matrix r(m, std::vector<double>(m, 0.0));
            for (std::size_t i = 0; i < m; ++i)
                for (std::size_t j = 0; j < m; ++j) {
                    double s = 0;
                    for (int p = 0; p < 4; ++p)
                        for (int q = 0; q < 4; ++q)
                            s += design[i][std::size_t(p)] * ntn[std::size_t(p)][std::size_t(q)] * design[j][std::size_t(q)];
                    r[i][j] = (i == j ? 1.0 : 0.0) - s;
                }
            double trace = 0;
            for (std::size_t i = 0; i < m; ++i)
                for (std::size_t j = 0; j < m; ++j)
                    trace += r[i][j] * sigma[j][i];
            m_expectedRms = std::sqrt(std::max(0.0, trace) / double(n));
        }
    }
    if (!invertSpd(sigma))
        throw std::runtime_error("the known points' covariance is singular");
    // P = W - W D (D^T W D)^-1 D^T W: the weight of the misclosures once the placement is taken out.
    Matrix wd(m, std::vector<double>(4, 0.0));
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < m; ++j)
            for (int p = 0; p < 4; ++p)
                wd[i][std::size_t(p)] += sigma[i][j] * design[j][std::size_t(p)];
    Matrix normal(4, std::vector<double>(4, 0.0));
    for (std::size_t i = 0; i < m; ++i)
        for (int p = 0; p < 4; ++p)
            for (int q = 0; q < 4; ++q)
                normal[std::size_t(p)][std::size_t(q)] += design[i][std::size_t(p)] * wd[i][std::size_t(q)];
    if (!invertSmall(normal))
        throw std::runtime_error("the known points give no placement");
    Matrix wdn(m, std::vector<double>(4, 0.0));
    for (std::size_t i = 0; i < m; ++i)
        for (int p = 0; p < 4; ++p)
            for (int q = 0; q < 4; ++q)
                wdn[i][std::size_t(p)] += wd[i][std::size_t(q)] * normal[std::size_t(q)][std::size_t(p)];
    // The exact test of a hypothesis: the route from some point on moves by d, which changes
    // the design rows of those points by the same 2x4 block; with the weight W fixed, the
    // normal equations change by sums over those points that are kept here per suffix.
    {
        std::vector<double> ww(m, 0.0);
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = 0; j < m; ++j)
                ww[i] += sigma[i][j] * (j % 2 ? w[j / 2].imag() : w[j / 2].real());
        m_wWw = 0;
        for (std::size_t i = 0; i < m; ++i)
            m_wWw += (i % 2 ? w[i / 2].imag() : w[i / 2].real()) * ww[i];
        m_n0.fill(0);
        m_b0.fill(0);
        for (std::size_t i = 0; i < m; ++i)
            for (int p = 0; p < 4; ++p) {
                m_b0[std::size_t(p)] += wd[i][std::size_t(p)] * (i % 2 ? w[i / 2].imag() : w[i / 2].real());
                for (int q = 0; q < 4; ++q)
                    m_n0[std::size_t(4 * p + q)] += design[i][std::size_t(p)] * wd[i][std::size_t(q)];
            }
        m_exact.assign(n + 1, Exact{});
        for (std::size_t k = n; k-- > 0;) {
            Exact e = m_exact[k + 1];
            for (int p = 0; p < 4; ++p) {
                e.mtc[std::size_t(2 * p)] += wd[2 * k][std::size_t(p)];
                e.mtc[std::size_t(2 * p + 1)] += wd[2 * k + 1][std::size_t(p)];
            }
            e.gw[0] += ww[2 * k];
            e.gw[1] += ww[2 * k + 1];
            e.sw[0] += sigma[2 * k][2 * k];
            e.sw[1] += 0.5 * (sigma[2 * k][2 * k + 1] + sigma[2 * k + 1][2 * k]);
            e.sw[2] += sigma[2 * k + 1][2 * k + 1];
            for (std::size_t l = k + 1; l < n; ++l) {
                e.sw[0] += 2 * sigma[2 * k][2 * l];
                e.sw[1] += sigma[2 * k][2 * l + 1] + sigma[2 * k + 1][2 * l];
                e.sw[2] += 2 * sigma[2 * k + 1][2 * l + 1];
            }
            m_exact[k] = e;
        }
    }
    Matrix& weight = sigma;  // becomes P
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < m; ++j) {
            double s = 0;
            for (int p = 0; p < 4; ++p)
                s += wdn[i][std::size_t(p)] * wd[j][std::size_t(p)];
            weight[i][j] -= s;
        }
    std::vector<double> obs(m), pw(m, 0.0);
    for (std::size_t k = 0; k < n; ++k) {
        obs[2 * k] = w[k].real();
        obs[2 * k + 1] = w[k].imag();
    }
    for (std::size_t i = 0; i < m; ++i)
        for (std::size_t j = 0; j < m; ++j)
            pw[i] += weight[i][j] * obs[j];
    m_chi2 = 0;
    for (std::size_t i = 0; i < m; ++i)
        m_chi2 += obs[i] * pw[i];
    m_chi2 = std::max(0.0, m_chi2);
    m_g.assign(n + 1, Cx{});
    m_s.assign(n + 1, {0, 0, 0});
    for (std::size_t k = n; k-- > 0;) {
        m_g[k] = m_g[k + 1] + Cx(pw[2 * k], pw[2 * k + 1]);
        std::array<double, 3> s = m_s[k + 1];
        s[0] += weight[2 * k][2 * k];
        s[1] += 0.5 * (weight[2 * k][2 * k + 1] + weight[2 * k + 1][2 * k]);
        s[2] += weight[2 * k + 1][2 * k + 1];
        for (std::size_t l = k + 1; l < n; ++l) {
            s[0] += 2 * weight[2 * k][2 * l];
            s[1] += weight[2 * k][2 * l + 1] + weight[2 * k + 1][2 * l];
            s[2] += 2 * weight[2 * k + 1][2 * l + 1];
        }
        m_s[k] = s;
    }
    m_suffix.assign(n + 1, Sums{});
    for (std::size_t k = n; k-- > 0;) {
        Sums s = m_suffix[k + 1];
        s.n += 1;
        s.sz += z[k];
        s.sw += w[k];
        s.szw += std::conj(z[k]) * w[k];
        s.szz += std::norm(z[k]);
        s.sww += std::norm(w[k]);
        m_suffix[k] = s;
    }
    m_rms = rmsMoved(n, {});
}

std::size_t PlanMisclosure::firstMovedBy(int row) const
{
    // Row r's reading moves the end of row r and every later end: a point moves when the row
    // end it stands at is row r's or a later one.
    const auto moves = [row](const KnownGround& k) {
        const auto end = rowStandsAtEndOf(std::size_t(std::max(1, k.row) - 1));
        return end && *end + 1 >= std::size_t(std::max(1, row));
    };
    return std::size_t(std::find_if(m_known.begin(), m_known.end(), moves) - m_known.begin());
}

double PlanMisclosure::chi2Moved(std::size_t from, Cx d) const
{
    if (from >= m_known.size() || from == 0)
        return m_chi2;  // nothing moves, or everything does alike: the placement takes it up
    // The moved points' design rows gain D = [dx -dy 0 0; dy dx 0 0]:
    // N' = N0 + (M^T W E) D + D^T (E^T W M) + D^T (E^T W E) D, b' = b0 + D^T (E^T W w),
    // and chi2 = w^T W w - b'^T N'^-1 b'.
    const Exact& e = m_exact[from];
    const double dm[2][4] = {{d.real(), -d.imag(), 0, 0}, {d.imag(), d.real(), 0, 0}};
    const double sw[2][2] = {{e.sw[0], e.sw[1]}, {e.sw[1], e.sw[2]}};
    Matrix n(4, std::vector<double>(5, 0.0));
    for (int p = 0; p < 4; ++p) {
        for (int q = 0; q < 4; ++q) {
            double v = m_n0[std::size_t(4 * p + q)];
            for (int r = 0; r < 2; ++r) {
                v += e.mtc[std::size_t(2 * p + r)] * dm[r][q] + e.mtc[std::size_t(2 * q + r)] * dm[r][p];
                for (int t = 0; t < 2; ++t)
                    v += dm[r][p] * sw[r][t] * dm[t][q];
            }
            n[std::size_t(p)][std::size_t(q)] = v;
        }
        n[std::size_t(p)][4] = m_b0[std::size_t(p)] + dm[0][p] * e.gw[0] + dm[1][p] * e.gw[1];
    }
    const std::array<double, 4> b{n[0][4], n[1][4], n[2][4], n[3][4]};
    // Gaussian elimination with partial pivoting on [N' | b'].
    for (std::size_t c = 0; c < 4; ++c) {
        std::size_t piv = c;
        for (std::size_t r = c + 1; r < 4; ++r)
            if (std::fabs(n[r][c]) > std::fabs(n[piv][c]))
                piv = r;
        if (!(std::fabs(n[piv][c]) > 0))
            return m_chi2;
        std::swap(n[piv], n[c]);
        for (std::size_t r = c + 1; r < 4; ++r) {
            const double f = n[r][c] / n[c][c];
            for (std::size_t k = c; k < 5; ++k)
                n[r][k] -= f * n[c][k];
        }
    }
    std::array<double, 4> x{};
    for (std::size_t c = 4; c-- > 0;) {
        double v = n[c][4];
        for (std::size_t k = c + 1; k < 4; ++k)
            v -= n[c][k] * x[k];
        x[c] = v / n[c][c];
    }
    double bx = 0;
    for (std::size_t p = 0; p < 4; ++p)
        bx += b[p] * x[p];
    return std::max(0.0, m_wWw - bx);
}

double PlanMisclosure::rmsMoved(std::size_t from, Cx d) const
{
    // The least-squares similarity's residual sum of squares from the sums about the centroids:
    // sum|W|^2 - |sum conj(Z) W|^2 / sum|Z|^2; the later points moved by d change the sums.
    const Sums& all = m_suffix.front();
    const Sums later = from < m_known.size() ? m_suffix[from] : Sums{};
    const double n = all.n, k = later.n;
    const Cx sz = all.sz + k * d;
    const Cx szw = all.szw + std::conj(d) * later.sw;
    const double szz = all.szz + 2 * (std::conj(d) * later.sz).real() + k * std::norm(d);
    const double q = szz - std::norm(sz) / n;
    const double wv = all.sww - std::norm(all.sw) / n;
    const Cx p = szw - std::conj(sz) * all.sw / n;
    const double sse = q > 1e-9 ? wv - std::norm(p) / q : wv;
    return std::sqrt(std::max(0.0, sse) / n);
}

double PlanMisclosure::minimalDetectable(std::size_t from, double lambda) const
{
    if (from == 0 || from >= m_known.size())
        return std::numeric_limits<double>::infinity();
    const auto& s = m_s[from];
    const double mean = 0.5 * (s[0] + s[2]);
    const double least = mean - std::hypot(0.5 * (s[0] - s[2]), s[1]);
    const double scale2 = std::norm(m_linear);
    if (!(least > 0) || !(scale2 > 0))
        return std::numeric_limits<double>::infinity();
    return std::sqrt(lambda / (least * scale2));
}

}  // namespace zelt::compute
