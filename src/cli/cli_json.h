// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON every --json prints: built as Qt JSON values and written by one writer.
#pragma once

#include "paradox/field_value.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <iosfwd>
#include <optional>
#include <string>

namespace zelt::cli {

/// A number, or null when it is not finite (JSON has no NaN or infinity); never "-0".
QJsonValue jsonValue(double v);
/// A number, or null for none.
QJsonValue jsonValue(const std::optional<double>& v);
/// A UTF-8 text; null for an empty one, which means "none".
QJsonValue jsonText(const std::string& text);
/// A table value: a number, a text (null when empty), or null for an empty field.
QJsonValue jsonValue(const document::Value& v);

/// Writes `object` compactly as one line with a line end, in UTF-8.
void writeJson(const QJsonObject& object, std::ostream& out);

}  // namespace zelt::cli
