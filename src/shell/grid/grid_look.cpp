// SPDX-License-Identifier: GPL-3.0-or-later
// Colours, fonts and metrics of the document grid, between the column set and Qt.
#include "shell/grid/grid_look.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHash>

#include <cstdlib>

namespace zelt::shell {

using zelt::document::ColorValue;
using zelt::document::FontSpec;

QColor toQColor(ColorValue color, const QPalette& palette)
{
    if (!zelt::document::isSystemColor(color)) {
        const auto v = static_cast<quint32>(color);
        return QColor(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
    }
    // Indices of the desktop colour table, mapped onto the nearest palette roles.
    switch (static_cast<quint32>(color) & 0xffu) {
    case 1: case 4: case 11: case 12: return palette.color(QPalette::Window);
    case 2: case 13: return palette.color(QPalette::Highlight);
    case 5: return palette.color(QPalette::Base);
    case 6: case 16: return palette.color(QPalette::Dark);
    case 7: return palette.color(QPalette::WindowText);
    case 8: return palette.color(QPalette::Text);
    case 9: case 14: return palette.color(QPalette::HighlightedText);
    case 15: return palette.color(QPalette::Button);
    case 17: return palette.color(QPalette::Disabled, QPalette::Text);
    case 18: return palette.color(QPalette::ButtonText);
    case 20: return palette.color(QPalette::Light);
    case 21: return palette.color(QPalette::Shadow);
    case 22: return palette.color(QPalette::Midlight);
    case 23: return palette.color(QPalette::ToolTipText);
    case 24: return palette.color(QPalette::ToolTipBase);
    default: return palette.color(QPalette::Window);
    }
}

QString installedFamily(const QString& name)
{
    // Layout files name fonts of the platform they were made on ("MS Sans Serif"); left to
    // the font matcher such a name may land on any installed font, even one drawn much
    // smaller. A name that is not installed takes the installed family of its kind instead.
    static QHash<QString, QString> known;
    if (const auto it = known.constFind(name); it != known.cend())
        return *it;
    QString family = name;
    if (!QFontDatabase::hasFamily(name)) {
        const QString lower = name.toLower();
        if (lower.contains(QLatin1String("courier")) || lower.contains(QLatin1String("mono"))
            || lower.contains(QLatin1String("fixed")) || lower.contains(QLatin1String("console")))
            family = QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family();
        else if ((lower.contains(QLatin1String("serif")) || lower.contains(QLatin1String("times"))
                  || lower.contains(QLatin1String("roman")))
                 && !lower.contains(QLatin1String("sans"))) {
            QFont serif;
            serif.setStyleHint(QFont::Serif);
            serif.setFamilies({QStringLiteral("serif")});
            family = QFontInfo(serif).family();
        } else
            family = QFontInfo(QFontDatabase::systemFont(QFontDatabase::GeneralFont)).family();
    }
    known.insert(name, family);
    return family;
}

QFont toQFont(const FontSpec& fontSpec)
{
    QFont f;
    if (fontSpec.name)
        f.setFamily(installedFamily(QString::fromStdString(*fontSpec.name)));
    if (fontSpec.height) {
        // Negative heights are character heights in pixels; positive ones include the
        // internal leading, which is about a fifth of the cell.
        const int h = *fontSpec.height;
        f.setPixelSize(h < 0 ? -h : std::max(1, h * 4 / 5));
    }
    if (fontSpec.style) {
        const std::uint8_t s = *fontSpec.style;
        f.setBold(s & zelt::document::fsBold);
        f.setItalic(s & zelt::document::fsItalic);
        f.setUnderline(s & zelt::document::fsUnderline);
        f.setStrikeOut(s & zelt::document::fsStrikeOut);
    }
    return f;
}

FontSpec toFontSpec(const QFont& font, ColorValue color)
{
    FontSpec fontSpec;
    fontSpec.charset = zelt::document::kDefaultCharset;
    fontSpec.color = color;
    fontSpec.height = -QFontInfo(font).pixelSize();
    fontSpec.name = font.family().toStdString();
    fontSpec.pitch = zelt::document::FontPitch::Default;
    std::uint8_t style = 0;
    if (font.bold())
        style |= zelt::document::fsBold;
    if (font.italic())
        style |= zelt::document::fsItalic;
    if (font.underline())
        style |= zelt::document::fsUnderline;
    if (font.strikeOut())
        style |= zelt::document::fsStrikeOut;
    fontSpec.style = style;
    return fontSpec;
}

QtGridMetrics::QtGridMetrics(const QFont& gridFont)
    : m_font(toFontSpec(gridFont, zelt::document::kColorWindowText))
{
}

int QtGridMetrics::digitZeroWidth(const FontSpec& font) const
{
    return QFontMetrics(toQFont(font)).horizontalAdvance(u'0');
}

int QtGridMetrics::textWidth(const FontSpec& font, std::string_view text) const
{
    return QFontMetrics(toQFont(font))
        .horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace zelt::shell
