// SPDX-License-Identifier: GPL-3.0-or-later
// Writing a column set as a layout stream, and the .ing file operations.
#include "interchange/layout_stream.h"

#include "interchange/layout_identifiers.h"
#include "interchange/layout_tags.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"

#include <fcntl.h>
#include <optional>
#include <string_view>

namespace zelt::interchange {

using document::Column;
using document::ColumnSet;
using document::FontSpec;

namespace {

std::string fullPath(const std::filesystem::path& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return (ec ? path : full).string();
}

/// What is wrong with the stream, for a user who never saw its bytes.
std::string streamProblem(const std::string& message)
{
    if (message == kStreamReadError)
        return message + ": it ends early (it may have been cut short)";
    return message;
}

class StreamWriter {
public:
    std::vector<std::uint8_t> take() { return std::move(m_out); }

    void byte(std::uint8_t b) { m_out.push_back(b); }

    void raw(std::string_view s) { m_out.insert(m_out.end(), s.begin(), s.end()); }

    /// Names and identifiers: one length byte, so at most 255 bytes.
    void shortString(std::string_view s)
    {
        if (s.size() > 255)
            throw LayoutError(kInvalidPropertyValue);
        byte(static_cast<std::uint8_t>(s.size()));
        raw(s);
    }

    void name(std::string_view n) { shortString(n); }

    /// Smallest of the three integer forms that holds `v`.
    void integer(std::int32_t v)
    {
        if (v >= -128 && v <= 127) {
            byte(tag::Int8);
            byte(static_cast<std::uint8_t>(v));
        } else if (v >= -32768 && v <= 32767) {
            byte(tag::Int16);
            littleEndian(static_cast<std::uint32_t>(v), 2);
        } else {
            byte(tag::Int32);
            littleEndian(static_cast<std::uint32_t>(v), 4);
        }
    }

    void string(std::string_view s)
    {
        if (s.size() < 256) {
            byte(tag::String);
            shortString(s);
        } else {
            byte(tag::LongString);
            littleEndian(static_cast<std::uint32_t>(s.size()), 4);
            raw(s);
        }
    }

    void ident(std::string_view s)
    {
        byte(tag::Ident);
        shortString(s);
    }

    void boolean(bool b) { byte(b ? tag::True : tag::False); }

    void color(document::ColorValue c)
    {
        if (auto n = colorName(c))
            ident(*n);
        else
            integer(c);
    }

    void charset(std::int32_t c)
    {
        if (auto n = charsetName(c))
            ident(*n);
        else
            integer(c);
    }

    void styleSet(std::uint8_t bits)
    {
        byte(tag::Set);
        for (unsigned i = 0; i < 8; ++i) {
            const auto bit = static_cast<std::uint8_t>(1u << i);
            if ((bits & bit) && !fontStyleName(bit).empty())
                shortString(fontStyleName(bit));
        }
        byte(0);
    }

    void stringList(const std::vector<std::string>& items)
    {
        byte(tag::List);
        for (const auto& s : items)
            string(s);
        byte(tag::Null);
    }

private:
    void littleEndian(std::uint32_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            byte(static_cast<std::uint8_t>(v >> (8 * i)));
    }

    std::vector<std::uint8_t> m_out;
};

/// A font of the column's own is written whole: every property the column does not set comes
/// from the grid's font. Pitch is written only when it is not the default.
void writeFont(StreamWriter& w, const std::string& prefix, const FontSpec& font)
{
    w.name(prefix + "Charset");
    w.charset(font.charset.value_or(document::kDefaultCharset));
    w.name(prefix + "Color");
    w.color(font.color.value_or(document::kColorWindowText));
    w.name(prefix + "Height");
    w.integer(font.height.value_or(0));
    w.name(prefix + "Name");
    w.string(font.name.value_or(std::string{}));
    const auto pitch = font.pitch.value_or(document::FontPitch::Default);
    if (pitch != document::FontPitch::Default) {
        w.name(prefix + "Pitch");
        w.ident(fontPitchName(pitch));
    }
    w.name(prefix + "Style");
    w.styleSet(font.style.value_or(0));
}

template<typename T, typename U>
bool ownAndDiffers(const std::optional<T>& own, const U& def)
{
    return own && *own != def;
}

void writeTitle(StreamWriter& w, const Column& c, const ColumnDefaults& d)
{
    if (ownAndDiffers(c.title.alignment, d.defaultTitleAlignment())) {
        w.name("Title.Alignment");
        w.ident(alignmentName(*c.title.alignment));
    }
    if (ownAndDiffers(c.title.caption, d.defaultTitleCaption(c))) {
        w.name("Title.Caption");
        w.string(*c.title.caption);
    }
    if (ownAndDiffers(c.title.color, d.defaultTitleColor())) {
        w.name("Title.Color");
        w.color(*c.title.color);
    }
    if (c.title.font.isAssigned())
        writeFont(w, "Title.Font.", d.titleFont(c));
}

/// Properties in the order of the column's property table; see docs/formats/ing-layout.md for
/// which ones are written when.
void writeColumn(StreamWriter& w, const Column& c, const ColumnDefaults& d)
{
    w.byte(tag::List);
    if (ownAndDiffers(c.alignment, d.defaultAlignment(c))) {
        w.name("Alignment");
        w.ident(alignmentName(*c.alignment));
    }
    if (ownAndDiffers(c.buttonStyle, document::ButtonStyle::Auto)) {
        w.name("ButtonStyle");
        w.ident(buttonStyleName(*c.buttonStyle));
    }
    if (ownAndDiffers(c.color, d.defaultColor())) {
        w.name("Color");
        w.color(*c.color);
    }
    if (ownAndDiffers(c.dropDownRows, 7)) {
        w.name("DropDownRows");
        w.integer(*c.dropDownRows);
    }
    // The traverse table has no structured fields, so no column is ever expanded.
    w.name("Expanded");
    w.boolean(false);
    if (!c.fieldName.empty()) {
        w.name("FieldName");
        w.string(c.fieldName);
    }
    if (c.font.isAssigned())
        writeFont(w, "Font.", d.font(c));
    if (ownAndDiffers(c.imeMode, d.defaultImeMode())) {
        w.name("ImeMode");
        w.ident(*c.imeMode);
    }
    if (ownAndDiffers(c.imeName, d.defaultImeName())) {
        w.name("ImeName");
        w.string(*c.imeName);
    }
    if (c.pickList && !c.pickList->empty()) {
        w.name("PickList.Strings");
        w.stringList(*c.pickList);
    }
    if (c.popupMenu && !c.popupMenu->empty()) {
        w.name("PopupMenu");
        w.ident(*c.popupMenu);
    }
    if (ownAndDiffers(c.readOnly, d.defaultReadOnly(c))) {
        w.name("ReadOnly");
        w.boolean(*c.readOnly);
    }
    writeTitle(w, c, d);
    if (ownAndDiffers(c.width, d.defaultWidth(c))) {
        w.name("Width");
        w.integer(*c.width);
    }
    w.name("Visible");
    w.boolean(c.isVisible());
    w.byte(tag::Null);
}

}  // namespace

std::vector<std::uint8_t> writeLayout(const ColumnSet& set, const ColumnDefaults& defaults)
{
    StreamWriter w;
    w.raw(kSignature);
    w.shortString(kClassName);
    w.shortString("");  // no object name
    w.name("Columns");
    w.byte(tag::Collection);
    for (const Column& c : set.columns)
        writeColumn(w, c, defaults);
    w.byte(tag::Null);  // end of the collection
    w.byte(tag::Null);  // end of the root's properties
    w.byte(tag::Null);  // no children
    return w.take();
}

std::vector<std::uint8_t> writeLayout(const ColumnSet& set)
{
    return writeLayout(set, ColumnDefaults::standard());
}

void saveGridLayout(const ColumnSet& set, const std::filesystem::path& path, const ColumnDefaults& defaults)
{
    // Encode first: a set that cannot be written leaves an existing file untouched.
    const std::vector<std::uint8_t> bytes = writeLayout(set, defaults);
    std::string message;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (!document::writeFileAtomically(path, text, message, document::kMaxSmallFileBytes))
        throw LayoutError("Cannot write the layout file: " + message);
}

void saveGridLayout(const ColumnSet& set, const std::filesystem::path& path)
{
    saveGridLayout(set, path, ColumnDefaults::standard());
}

ColumnSet loadGridLayout(const std::filesystem::path& path)
{
    std::string reason;
    int error = 0;
    const document::RegularFile file =
        document::RegularFile::open(path, O_RDONLY, document::kMaxSmallFileBytes, reason, error);
    if (!reason.empty())
        throw LayoutError("The layout file '" + fullPath(path) + "' " + reason + ".");
    if (!file.isOpen())
        throw LayoutError("Cannot open file '" + fullPath(path) + "': " + document::systemReason(error));
    const std::optional<std::vector<char>> bytes = file.readAll(error);
    if (!bytes)
        throw LayoutError("Cannot read file '" + fullPath(path) + "': " + document::systemReason(error));
    if (bytes->empty())
        throw LayoutError("The layout file '" + fullPath(path) + "' is empty.");
    try {
        return readLayout(std::vector<std::uint8_t>(bytes->begin(), bytes->end()));
    } catch (const LayoutError& e) {
        throw LayoutError("The layout file '" + fullPath(path) + "' is damaged (" + streamProblem(e.what()) + ").");
    }
}

ColumnSet loadLayoutCompanion(const std::filesystem::path& path)
{
    try {
        return loadGridLayout(path);
    } catch (const LayoutError& e) {
        throw LayoutError(std::string(e.what()) + " Delete it to use the built-in column layout.");
    }
}

}  // namespace zelt::interchange
