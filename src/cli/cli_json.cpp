// SPDX-License-Identifier: GPL-3.0-or-later
// The JSON every --json prints: built as Qt JSON values and written by one writer.
#include "cli/cli_json.h"

#include <QJsonDocument>
#include <QString>

#include <cmath>
#include <ostream>

namespace zelt::cli {

QJsonValue jsonValue(double v)
{
    if (!std::isfinite(v))
        return QJsonValue(QJsonValue::Null);
    return QJsonValue(v == 0 ? 0.0 : v);
}

QJsonValue jsonValue(const std::optional<double>& v) { return v ? jsonValue(*v) : QJsonValue(QJsonValue::Null); }

QJsonValue jsonText(const std::string& text)
{
    if (text.empty())
        return QJsonValue(QJsonValue::Null);
    return QJsonValue(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

QJsonValue jsonValue(const document::Value& v)
{
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return QJsonValue(static_cast<qint64>(*i));
    if (const auto* d = std::get_if<double>(&v))
        return jsonValue(*d);
    if (const auto* s = std::get_if<std::string>(&v))
        return jsonText(*s);
    return QJsonValue(QJsonValue::Null);
}

void writeJson(const QJsonObject& object, std::ostream& out)
{
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Compact);
    out.write(bytes.constData(), bytes.size());
    out << '\n';
}

}  // namespace zelt::cli
