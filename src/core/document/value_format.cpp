// SPDX-License-Identifier: GPL-3.0-or-later
// Number formatting and parsing of the table layer, and the texts of its messages.
#include "document/value_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace zelt::document {
namespace {

/// A finite non-zero number as decimal digits d1 d2 ... with value 0.d1d2... x 10^(exponent+1),
/// i.e. `exponent` is the power of ten of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;
};

/// `significant` correctly rounded significant digits of |v| (v finite, non-zero).
Decimal toDecimal(double v, int significant)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific, significant - 1);
    *end = '\0';
    Decimal d;
    const char* p = buf;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            d.digits += *p;
    if (*p == 'e')
        d.exponent = std::atoi(p + 1);
    return d;
}

void stripTrailingZeros(std::string& digits)
{
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
}

std::string exponentText(int exponent)
{
    // "E20", "E-7": no plus sign, no leading zeros. Built by appending, and digits are set with
    // assign(): GCC 12 at -O3 takes "literal" + std::string and assigning a literal for an
    // overlapping copy (a false -Wrestrict warning in a Release build).
    std::string text(1, 'E');
    text += std::to_string(exponent);
    return text;
}

/// Rounds the digit string half away from zero so that it keeps `keep` digits; a carry out of the
/// first digit raises the exponent. keep <= 0 rounds to zero or to one unit of the last place.
void roundDigitsHalfUp(Decimal& d, int keep)
{
    if (keep >= static_cast<int>(d.digits.size()))
        return;
    if (keep < 0) {
        d.digits.assign(1, '0');
        return;
    }
    const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
    d.digits.resize(static_cast<std::size_t>(keep));
    if (!up) {
        if (d.digits.empty())
            d.digits.assign(1, '0');
        return;
    }
    int i = keep - 1;
    for (; i >= 0; --i) {
        char& c = d.digits[static_cast<std::size_t>(i)];
        if (c == '9') {
            c = '0';
        } else {
            ++c;
            break;
        }
    }
    if (i < 0) {  // carry out of the leading digit (or nothing kept): 0.99 -> 1.0
        d.digits.insert(d.digits.begin(), '1');
        ++d.exponent;
    }
}

bool allZero(const std::string& digits)
{
    return digits.find_first_not_of('0') == std::string::npos;
}

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string formatGeneral(double v, char decimalSeparator)
{
    if (std::isnan(v))
        return "NAN";
    if (std::isinf(v))
        return v < 0 ? "-INF" : "INF";
    if (v == 0)
        return "0";
    Decimal d = toDecimal(v, 15);
    stripTrailingZeros(d.digits);
    std::string out = d.negative ? "-" : "";
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent < -5 || d.exponent >= 15) {
        out += d.digits[0];
        if (n > 1) {
            out += decimalSeparator;
            out.append(d.digits, 1);
        }
        return out + exponentText(d.exponent);
    }
    if (d.exponent < 0) {
        out += '0';
        out += decimalSeparator;
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        return out + d.digits;
    }
    const int intDigits = d.exponent + 1;
    if (n <= intDigits)
        return out + d.digits + std::string(static_cast<std::size_t>(intDigits - n), '0');
    out.append(d.digits, 0, static_cast<std::size_t>(intDigits));
    out += decimalSeparator;
    out.append(d.digits, static_cast<std::size_t>(intDigits));
    return out;
}

std::string formatFixed(double v, int decimals, char decimalSeparator)
{
    if (!std::isfinite(v))
        return formatGeneral(v, decimalSeparator);
    if (decimals < 0)
        decimals = 0;
    Decimal d;
    if (v == 0) {
        d.digits.assign(1, '0');
    } else {
        // 18 significant digits, then the display rounding on those decimal digits.
        d = toDecimal(v, 18);
        if (d.exponent >= 18)
            return formatGeneral(v, decimalSeparator);
        roundDigitsHalfUp(d, d.exponent + 1 + decimals);
    }
    if (allZero(d.digits)) {
        d.negative = false;
        d.digits.assign(1, '0');
        d.exponent = 0;
    }
    // Lay the digits out on a fixed grid of places from max(exponent, 0) down to -decimals.
    const int top = std::max(d.exponent, 0);
    std::string out = d.negative ? "-" : "";
    for (int place = top; place >= -decimals; --place) {
        const int idx = d.exponent - place;
        const bool have = idx >= 0 && idx < static_cast<int>(d.digits.size());
        out += have ? d.digits[static_cast<std::size_t>(idx)] : '0';
        if (place == 0 && decimals > 0)
            out += decimalSeparator;
    }
    return out;
}

std::optional<double> parseDecimal(std::string_view text, char decimalSeparator)
{
    std::string_view s = trimBlanks(text);
    std::string plain;  // the number in the C syntax that from_chars reads
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-')
            plain += '-';
        ++i;
    }
    int mantissaDigits = 0;
    for (; i < s.size() && isDigit(s[i]); ++i, ++mantissaDigits)
        plain += s[i];
    if (i < s.size() && s[i] == decimalSeparator) {
        plain += '.';
        for (++i; i < s.size() && isDigit(s[i]); ++i, ++mantissaDigits)
            plain += s[i];
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        plain += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            plain += s[i++];
        int expDigits = 0;
        for (; i < s.size() && isDigit(s[i]); ++i, ++expDigits)
            plain += s[i];
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // A tiny magnitude underflows to zero; a huge one is no finite number.
        if (plain.find("e-") != std::string::npos)
            return 0.0;
        return std::nullopt;
    }
    if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value == 0 ? 0.0 : value;
}

std::optional<std::int32_t> parseInteger(std::string_view text, LeadingBlanks skip)
{
    const auto isLeadingBlank = [skip](char c) {
        return c == ' ' || (c == '\t' && skip == LeadingBlanks::SpacesAndTabs);
    };
    std::size_t i = 0;
    while (i < text.size() && isLeadingBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > std::int64_t{1} << 32)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string rangeErrorMessage(double value, std::string_view label, double low, double high,
                              char decimalSeparator)
{
    std::string m = formatGeneral(value, decimalSeparator);
    m += " is not a valid value for field '";
    m += label;
    m += "'. The allowed range is ";
    m += formatGeneral(low, decimalSeparator);
    m += " to ";
    m += formatGeneral(high, decimalSeparator);
    return m;
}

std::string requiredFieldMessage(std::string_view label)
{
    return "Field '" + std::string(label) + "' must have a value";
}

std::string readOnlyFieldMessage(std::string_view label)
{
    return "Field '" + std::string(label) + "' cannot be modified";
}

}  // namespace zelt::document
