// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a layout stream into a new column set, refusing anything a layout cannot hold.
#include "interchange/layout_identifiers.h"
#include "interchange/layout_stream.h"
#include "interchange/layout_tags.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <string_view>

namespace zelt::interchange {

using document::Column;
using document::ColumnSet;
using document::FontSpec;

namespace {

/// More columns than any grid over a table can show; a stream asking for more is refused
/// before it can make the reader allocate hundreds of bytes per two bytes of input.
constexpr std::size_t kMaxColumns = 4096;

bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size()
        && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

[[noreturn]] void invalidValue() { throw LayoutError(kInvalidPropertyValue); }

/// Bounds-checked cursor over the stream: every read past the end is "Stream read error".
class StreamReader {
public:
    explicit StreamReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::uint8_t byte()
    {
        need(1);
        return m_bytes[m_pos++];
    }

    std::uint8_t peek()
    {
        need(1);
        return m_bytes[m_pos];
    }

    std::string text(std::size_t n)
    {
        need(n);
        std::string s(reinterpret_cast<const char*>(m_bytes.data() + m_pos), n);
        m_pos += n;
        return s;
    }

    std::uint32_t littleEndian(int bytes)
    {
        std::uint32_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return v;
    }

    std::string shortString() { return text(byte()); }

private:
    void need(std::size_t n) const
    {
        if (n > m_bytes.size() - m_pos)
            throw LayoutError(kStreamReadError);
    }

    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// --- values, each after its tag byte has been read

std::int32_t integerValue(StreamReader& r, std::uint8_t t)
{
    switch (t) {
    case tag::Int8: return static_cast<std::int8_t>(r.byte());
    case tag::Int16: return static_cast<std::int16_t>(r.littleEndian(2));
    case tag::Int32: return static_cast<std::int32_t>(r.littleEndian(4));
    default: invalidValue();
    }
}

std::string stringValue(StreamReader& r, std::uint8_t t)
{
    if (t == tag::String)
        return r.shortString();
    if (t == tag::LongString)
        return r.text(r.littleEndian(4));  // a length beyond the stream is a read error
    invalidValue();
}

std::string identValue(StreamReader& r, std::uint8_t t)
{
    if (t != tag::Ident)
        invalidValue();
    return r.shortString();
}

bool boolValue(std::uint8_t t)
{
    if (t != tag::False && t != tag::True)
        invalidValue();
    return t == tag::True;
}

template<typename Lookup>
auto namedValue(StreamReader& r, std::uint8_t t, Lookup lookup)
{
    if (t == tag::Ident) {
        const std::string name = r.shortString();
        auto v = lookup(name);
        if (!v)
            invalidValue();
        return *v;
    }
    return integerValue(r, t);
}

template<typename FromName>
auto enumValue(StreamReader& r, std::uint8_t t, FromName fromName)
{
    const auto v = fromName(identValue(r, t));
    if (!v)
        invalidValue();
    return *v;
}

document::ColorValue colorValue(StreamReader& r, std::uint8_t t)
{
    return namedValue(r, t, [](std::string_view n) { return colorFromName(n); });
}

std::uint8_t styleValue(StreamReader& r, std::uint8_t t)
{
    if (t != tag::Set)
        invalidValue();
    std::uint8_t bits = 0;
    for (std::string member = r.shortString(); !member.empty(); member = r.shortString()) {
        const std::uint8_t bit = fontStyleBit(member);
        if (!bit)
            invalidValue();
        bits |= bit;
    }
    return bits;
}

std::vector<std::string> stringListValue(StreamReader& r, std::uint8_t t)
{
    if (t != tag::List)
        invalidValue();
    std::vector<std::string> items;
    for (std::uint8_t item = r.byte(); item != tag::Null; item = r.byte())
        items.push_back(stringValue(r, item));
    return items;
}

std::int32_t charsetValue(StreamReader& r, std::uint8_t t)
{
    return namedValue(r, t, [](std::string_view n) { return charsetFromName(n); });
}

// --- properties of a column entry

/// Reads one property's value (after its tag) into the column under construction.
using ValueReader = std::function<void(StreamReader&, std::uint8_t)>;

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && sameText(s.substr(0, prefix.size()), prefix);
}

ValueReader fontProperty(FontSpec& f, std::string_view leaf)
{
    if (sameText(leaf, "Charset"))
        return [&f](StreamReader& r, std::uint8_t t) { f.charset = charsetValue(r, t); };
    if (sameText(leaf, "Color"))
        return [&f](StreamReader& r, std::uint8_t t) { f.color = colorValue(r, t); };
    if (sameText(leaf, "Height"))
        return [&f](StreamReader& r, std::uint8_t t) { f.height = integerValue(r, t); };
    if (sameText(leaf, "Name"))
        return [&f](StreamReader& r, std::uint8_t t) { f.name = stringValue(r, t); };
    if (sameText(leaf, "Pitch"))
        return [&f](StreamReader& r, std::uint8_t t) { f.pitch = enumValue(r, t, fontPitchFromName); };
    if (sameText(leaf, "Style"))
        return [&f](StreamReader& r, std::uint8_t t) { f.style = styleValue(r, t); };
    return {};
}

ValueReader titleProperty(document::TitleSpec& ti, std::string_view leaf)
{
    if (startsWith(leaf, "Font."))
        return fontProperty(ti.font, leaf.substr(5));
    if (sameText(leaf, "Alignment"))
        return [&ti](StreamReader& r, std::uint8_t t) { ti.alignment = enumValue(r, t, alignmentFromName); };
    if (sameText(leaf, "Caption"))
        return [&ti](StreamReader& r, std::uint8_t t) { ti.caption = stringValue(r, t); };
    if (sameText(leaf, "Color"))
        return [&ti](StreamReader& r, std::uint8_t t) { ti.color = colorValue(r, t); };
    return {};
}

/// The reader of the property `name` of `c`, or an empty one when columns have no such property.
ValueReader columnProperty(Column& c, std::string_view name)
{
    if (startsWith(name, "Font."))
        return fontProperty(c.font, name.substr(5));
    if (startsWith(name, "Title."))
        return titleProperty(c.title, name.substr(6));
    if (sameText(name, "Alignment"))
        return [&c](StreamReader& r, std::uint8_t t) { c.alignment = enumValue(r, t, alignmentFromName); };
    if (sameText(name, "ButtonStyle"))
        return [&c](StreamReader& r, std::uint8_t t) { c.buttonStyle = enumValue(r, t, buttonStyleFromName); };
    if (sameText(name, "Color"))
        return [&c](StreamReader& r, std::uint8_t t) { c.color = colorValue(r, t); };
    if (sameText(name, "DropDownRows"))
        return [&c](StreamReader& r, std::uint8_t t) { c.dropDownRows = integerValue(r, t); };
    if (sameText(name, "Expanded"))
        return [&c](StreamReader&, std::uint8_t t) { c.expanded = boolValue(t); };
    if (sameText(name, "FieldName"))
        return [&c](StreamReader& r, std::uint8_t t) { c.fieldName = stringValue(r, t); };
    if (sameText(name, "ImeMode"))
        return [&c](StreamReader& r, std::uint8_t t) {
            c.imeMode = std::string(enumValue(r, t, imeModeName));
        };
    if (sameText(name, "ImeName"))
        return [&c](StreamReader& r, std::uint8_t t) { c.imeName = stringValue(r, t); };
    if (sameText(name, "PickList.Strings"))
        return [&c](StreamReader& r, std::uint8_t t) { c.pickList = stringListValue(r, t); };
    if (sameText(name, "PopupMenu"))
        return [&c](StreamReader& r, std::uint8_t t) {
            // nil detaches the menu; otherwise the menu's component name
            c.popupMenu = t == tag::Nil ? std::string{} : identValue(r, t);
        };
    if (sameText(name, "ReadOnly"))
        return [&c](StreamReader&, std::uint8_t t) { c.readOnly = boolValue(t); };
    if (sameText(name, "Width"))
        return [&c](StreamReader& r, std::uint8_t t) { c.width = integerValue(r, t); };
    if (sameText(name, "Visible"))
        return [&c](StreamReader&, std::uint8_t t) { c.visible = boolValue(t); };
    return {};
}

/// One entry: the byte 0x01 has been read; property pairs follow up to an empty name.
Column readEntry(StreamReader& r)
{
    Column c;
    for (std::string name = r.shortString(); !name.empty(); name = r.shortString()) {
        ValueReader read = columnProperty(c, name);
        if (!read)
            throw LayoutError(kPropertyDoesNotExist);
        read(r, r.byte());
    }
    return c;
}

/// The collection value of "Columns": entries up to a 0x00; other producers may put an order
/// number in front of an entry, which carries no meaning for us.
std::vector<Column> readColumns(StreamReader& r)
{
    std::vector<Column> columns;
    for (std::uint8_t t = r.byte(); t != tag::Null; t = r.byte()) {
        if (t == tag::Int8 || t == tag::Int16 || t == tag::Int32) {
            integerValue(r, t);
            t = r.byte();
        }
        if (t != tag::List || columns.size() == kMaxColumns)
            invalidValue();
        columns.push_back(readEntry(r));
    }
    return columns;
}

/// Signature, optional flags byte (with its child position), class and object names.
void readPrefix(StreamReader& r)
{
    if (r.text(kSignature.size()) != kSignature)
        throw LayoutError(kInvalidStreamFormat);
    if ((r.peek() & 0xF0) == 0xF0) {
        const std::uint8_t flags = r.byte();
        if (flags & 0x02)
            integerValue(r, r.byte());
    }
    r.shortString();  // class name
    r.shortString();  // object name
}

}  // namespace

ColumnSet readLayout(std::span<const std::uint8_t> bytes)
{
    StreamReader r(bytes);
    readPrefix(r);
    ColumnSet set;
    for (std::string name = r.shortString(); !name.empty(); name = r.shortString()) {
        if (!sameText(name, "Columns"))
            throw LayoutError(kPropertyDoesNotExist);
        if (r.byte() != tag::Collection)
            invalidValue();
        set.columns = readColumns(r);  // a repeated "Columns" replaces the earlier one
    }
    // A layout holds no child objects; whatever follows their end marker is not ours.
    if (r.byte() != tag::Null)
        throw LayoutError(kInvalidStreamFormat);
    return set;
}

}  // namespace zelt::interchange
