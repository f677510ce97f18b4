// SPDX-License-Identifier: GPL-3.0-or-later
// Number formatting and parsing of the table layer, and the texts of its messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelt::document {

/// How one document shows and reads numbers as text for its user (display texts, typed and
/// pasted values, text and spreadsheet export, the report). Fixed file formats never use it.
struct NumberFormat {
    char decimalSeparator = '.';  ///< ',' in comma-decimal locales
};

/// Formats a number in the shortest general form with up to 15 significant digits ("%g" of the
/// engine's messages and of display texts without a format), with the given decimal separator.
/// Fixed notation unless the magnitude is below 0.00001 or the integer part has more than 15
/// digits; then "1.5E-7" / "1E20". Never yields "-0", "inf" or "nan" for finite input.
std::string formatGeneral(double v, char decimalSeparator = '.');
/// Formats with a display format "0.0" / "0.00": `decimals` digits after the separator, the
/// decimal digits rounded half away from zero (as the grid displays them); no "-0.00".
std::string formatFixed(double v, int decimals, char decimalSeparator = '.');

/// Reads a decimal number: optional blanks, sign, digits with `decimalSeparator` and an optional
/// exponent, optional trailing blanks. Null for anything else, an empty text, or a result that
/// is not finite.
std::optional<double> parseDecimal(std::string_view text, char decimalSeparator = '.');
/// Which characters parseInteger() skips before the number.
enum class LeadingBlanks {
    SpacesAndTabs,  ///< text typed into an integer field
    SpacesOnly,     ///< a number typed into the turn column
};
/// Reads a whole number in the platform's integer syntax: leading blanks (see `skip`), optional
/// sign, decimal digits or hexadecimal digits after "$", "x" or "0x" (either case). Null for
/// trailing characters (a trailing blank too), an empty text or a value outside the 32-bit
/// signed range.
std::optional<std::int32_t> parseInteger(std::string_view text,
                                         LeadingBlanks skip = LeadingBlanks::SpacesAndTabs);

/// "%g is not a valid value for field '%s'. The allowed range is %g to %g"
std::string rangeErrorMessage(double value, std::string_view label, double low, double high,
                              char decimalSeparator = '.');
/// "Field '%s' must have a value"
std::string requiredFieldMessage(std::string_view label);
/// "Field '%s' cannot be modified"
std::string readOnlyFieldMessage(std::string_view label);
/// Raised when a value given as text cannot be converted to the field's type.
inline constexpr const char* kInvalidVariantMessage = "Invalid variant type conversion";

}  // namespace zelt::document
