// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in grid column set of a document window and column look-up by field name.
#include "document/column_set.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace zelt::document {

namespace {

bool equalsIgnoreCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

/// A column as the built-in set gives it: every column is written with `Expanded` false and an
/// explicit `Visible`, and all titles are right-aligned. Captions equal to the field's own label
/// are left to the default so that the set survives a save and load unchanged.
Column column(const char* field, bool visible, std::optional<std::int32_t> width = {},
              const char* caption = nullptr)
{
    Column c;
    c.fieldName = field;
    c.expanded = false;
    c.visible = visible;
    c.width = width;
    c.title.alignment = Alignment::Right;
    if (caption)
        c.title.caption = caption;
    return c;
}

}  // namespace

const std::vector<std::string>& ColumnSet::turnWords()
{
    static const std::vector<std::string> words{"Left",        "Right",        "Center",      "Left_Object",
                                                "Right_Object", "Both_Object", "Centr_Object"};
    return words;
}

FontSpec ColumnSet::standardFont()
{
    FontSpec f;
    f.charset = kDefaultCharset;
    f.color = kColorWindowText;
    f.height = -11;
    f.name = "MS Sans Serif";
    f.pitch = FontPitch::Default;
    f.style = 0;
    return f;
}

ColumnSet ColumnSet::builtIn()
{
    ColumnSet set;
    auto& cols = set.columns;

    Column azimuth = column("Azimuth", true, 47);
    azimuth.font = standardFont();
    azimuth.font.color = kColorBlack;  // black text whatever the palette's window text is
    cols.push_back(azimuth);
    cols.push_back(column("Pairs", true, 40));
    cols.push_back(column("Altimeter", true, 47));
    cols.push_back(column("Procent", false, {}, "%"));

    Column povorot = column("Povorot", true, 40, "Tumbling");
    povorot.alignment = Alignment::Right;
    povorot.pickList = turnWords();
    povorot.dropDownRows = 15;
    cols.push_back(povorot);

    Column mark = column("Mark", true, 28);
    mark.alignment = Alignment::Right;
    mark.color = kColorInfoBk;
    cols.push_back(mark);

    cols.push_back(column("sumPairs", true, 43));

    Column metru = column("metru", false, {}, "Length (m)");
    metru.readOnly = true;
    cols.push_back(metru);

    cols.push_back(column("F", false));
    cols.push_back(column("G", false));

    Column reserv = column("Reserv", false, {}, "Reserved");
    reserv.alignment = Alignment::Right;
    cols.push_back(reserv);

    cols.push_back(column("FillHeight", true, 56));
    cols.push_back(column("Recalc", true, 49));

    Column id = column("id", true, 23, "Id");
    id.readOnly = true;
    id.color = kColorBtnFace;
    cols.push_back(id);
    return set;
}

const Column* ColumnSet::findByField(const std::string& fieldName) const
{
    for (const Column& c : columns)
        if (equalsIgnoreCase(c.fieldName, fieldName))
            return &c;
    return nullptr;
}

Column* ColumnSet::findByField(const std::string& fieldName)
{
    return const_cast<Column*>(std::as_const(*this).findByField(fieldName));
}

}  // namespace zelt::document
