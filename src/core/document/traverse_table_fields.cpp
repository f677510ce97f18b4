// SPDX-License-Identifier: GPL-3.0-or-later
// The dataset's fields: reads, checked writes, display texts, hooks, calculated fields, observers.
#include "document/traverse_schema.h"
#include "document/traverse_table.h"
#include "document/traverse_table_impl.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace zelt::document {
namespace {

const Value kEmpty;

/// Round half to even, clamped into the 32-bit range (a float far outside it must not wrap).
std::int32_t roundToInt32(double v)
{
    const double r = std::nearbyint(v);
    if (!(r >= std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    if (r > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

/// At most `count` UTF-8 characters of `text`.
std::string cutToChars(std::string_view text, int count)
{
    std::size_t i = 0;
    for (int chars = 0; i < text.size(); ++chars) {
        if (chars == count)
            break;
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return std::string(text.substr(0, i));
}

bool isIntegerType(FieldType t) { return t == FieldType::Short || t == FieldType::Long; }

bool isBlank(std::string_view s)
{
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

int TraverseTable::Impl::indexOf(std::string_view name) const
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (TraverseSchema::sameName(fields[i].name, name))
            return static_cast<int>(i);
    throw EngineError("Field '" + std::string(name) + "' not found");
}

// --- field list

const std::vector<FieldInfo>& TraverseTable::fields() const { return m->fields; }

int TraverseTable::fieldIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < m->fields.size(); ++i)
        if (TraverseSchema::sameName(m->fields[i].name, name))
            return static_cast<int>(i);
    return -1;
}

const FieldInfo& TraverseTable::field(std::string_view name) const
{
    return m->fields[static_cast<std::size_t>(m->indexOf(name))];
}

std::string TraverseTable::displayLabel(std::string_view name) const { return m->label(field(name)); }

// --- reads

const Value& TraverseTable::value(std::string_view name) const
{
    const FieldInfo& f = field(name);
    const Row* row = m->currentRow();
    if (!row)
        return kEmpty;
    if (f.calculated) {
        if (!m->calcValid) {
            m->computeCalc(*this, *row, m->calcF, m->calcG);
            m->calcValid = true;
        }
        return f.name == "F" ? m->calcF : m->calcG;
    }
    return (*row)[static_cast<std::size_t>(f.fileIndex)];
}

bool TraverseTable::isNull(std::string_view name) const { return isEmpty(value(name)); }

double TraverseTable::asFloat(std::string_view name) const
{
    const Value& v = value(name);
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (auto parsed = parseDecimal(*s, decimalSeparator()))
            return *parsed;
        throw EngineError("'" + *s + "' is not a valid floating point value");
    }
    return 0;
}

std::int32_t TraverseTable::asInteger(std::string_view name) const
{
    const Value& v = value(name);
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return *i;
    if (const auto* d = std::get_if<double>(&v))
        return roundToInt32(*d);
    if (const auto* s = std::get_if<std::string>(&v)) {
        if (auto parsed = parseInteger(*s))
            return *parsed;
        throw EngineError("'" + *s + "' is not a valid integer value");
    }
    return 0;
}

std::string TraverseTable::asText(std::string_view name) const
{
    const Value& v = value(name);
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v))
        return formatGeneral(*d, decimalSeparator());
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

// --- writes

namespace {

/// The checks and the store shared by all setters of the current row.
struct FieldWriter {
    using ChangeHook = TraverseTable::ChangeHook;
    TraverseTable& table;
    TraverseTable::Impl& m;
    int index;

    const FieldInfo& info() const { return m.fields[static_cast<std::size_t>(index)]; }

    /// Calculated fields refuse; a row in browse mode goes into edit mode.
    void prepare()
    {
        if (info().calculated)
            throw EngineError(readOnlyFieldMessage(m.label(info())));
        if (!m.editing())
            table.edit();
    }

    void checkRange(double v) const
    {
        const FieldInfo& f = info();
        double low = 0, high = 0;
        if (f.minValue || f.maxValue) {
            low = f.minValue.value_or(0);
            high = f.maxValue.value_or(0);
        } else if (f.type == FieldType::Short) {
            low = std::numeric_limits<std::int16_t>::min();
            high = std::numeric_limits<std::int16_t>::max();
        } else if (f.type == FieldType::Long) {
            low = std::numeric_limits<std::int32_t>::min();
            high = std::numeric_limits<std::int32_t>::max();
        } else {
            return;
        }
        if (v < low || v > high)
            throw EngineError(rangeErrorMessage(v, m.label(f), low, high, m.numberFormat.decimalSeparator));
    }

    void store(Value v)
    {
        Value& slot = m.buffer[static_cast<std::size_t>(info().fileIndex)];
        if (info().type == FieldType::Alpha && std::holds_alternative<std::string>(v)) {
            // Refuse a character the table's code page cannot hold before it enters the row.
            Row probe = m.buffer;
            probe[static_cast<std::size_t>(info().fileIndex)] = v;
            try {
                m.file->validate(probe);
            } catch (const ParadoxError& e) {
                throw EngineError(e.what());
            }
        }
        slot = std::move(v);
        m.modified = true;
        m.calcValid = false;
        const int row = m.cur;
        m.notify([&](TableObserver& o) { o.rowChanged(row); });
        // The change hook runs last: it may post the row or edit other fields.
        // A copy: the hook may replace itself while it runs.
        const auto& hook = m.changeHooks[static_cast<std::size_t>(index)];
        if (hook.fn && hook.attached) {
            const ChangeHook fn = hook.fn;
            fn(table);
        }
    }

    void setNumber(double v)
    {
        prepare();
        if (!std::isfinite(v))
            throw EngineError("Invalid floating point value for field '" + m.label(info()) + "'");
        if (isIntegerType(info().type)) {
            const double r = std::nearbyint(v);
            checkRange(r);
            store(static_cast<std::int32_t>(r));
        } else if (info().type == FieldType::Number) {
            checkRange(v);
            store(v == 0 ? 0.0 : v);  // no negative zero in the file
        } else {
            setString(formatGeneral(v, m.numberFormat.decimalSeparator));
        }
    }

    /// Text typed into a cell: empty clears, numbers in the field's syntax, else refused.
    void setTyped(std::string_view typed, char decimalSeparator)
    {
        if (info().type == FieldType::Alpha) {
            setString(typed);
            return;
        }
        if (isBlank(typed)) {
            prepare();
            store(Value{});
            return;
        }
        const std::string quotedText = "'" + std::string(typed) + "'";
        if (isIntegerType(info().type)) {
            auto v = parseInteger(typed);
            if (!v)
                throw EngineError(quotedText + " is not a valid integer value for field '" + m.label(info()) + "'");
            setNumber(*v);
            return;
        }
        auto v = parseDecimal(typed, decimalSeparator);
        if (!v)
            throw EngineError(quotedText + " is not a valid floating point value for field '" + m.label(info()) + "'");
        setNumber(*v);
    }

    void setString(std::string_view text)
    {
        prepare();
        std::string s = cutToChars(text, info().size);
        if (s.empty())
            store(Value{});  // the file cannot tell an empty text from no value
        else
            store(std::move(s));
    }
};

}  // namespace

void TraverseTable::setFloat(std::string_view name, double v)
{
    FieldWriter{*this, *m, m->indexOf(name)}.setNumber(v);
}

void TraverseTable::setInteger(std::string_view name, std::int64_t v)
{
    FieldWriter w{*this, *m, m->indexOf(name)};
    if (w.info().type == FieldType::Alpha) {
        w.setString(std::to_string(v));
        return;
    }
    w.setNumber(static_cast<double>(v));
}

void TraverseTable::setText(std::string_view name, std::string_view text)
{
    FieldWriter w{*this, *m, m->indexOf(name)};
    if (w.info().calculated)
        w.prepare();  // raises "cannot be modified"
    w.setTyped(text, decimalSeparator());
}

void TraverseTable::setAsText(std::string_view name, std::string_view text, char decimalSeparator)
{
    FieldWriter w{*this, *m, m->indexOf(name)};
    if (w.info().calculated)
        w.prepare();  // raises "cannot be modified"
    if (w.info().type == FieldType::Alpha) {
        w.setString(text);
        return;
    }
    std::optional<double> v;
    if (isIntegerType(w.info().type))
        if (auto i = parseInteger(text))
            v = *i;
    if (!v)
        v = parseDecimal(text, decimalSeparator);
    if (!v)
        throw EngineError(kInvalidVariantMessage);
    w.setNumber(*v);
}

void TraverseTable::setValue(std::string_view name, const Value& v)
{
    if (isEmpty(v))
        clear(name);
    else if (const auto* i = std::get_if<std::int32_t>(&v))
        setInteger(name, *i);
    else if (const auto* d = std::get_if<double>(&v))
        setFloat(name, *d);
    else
        setAsText(name, std::get<std::string>(v), decimalSeparator());
}

void TraverseTable::clear(std::string_view name)
{
    FieldWriter w{*this, *m, m->indexOf(name)};
    w.prepare();
    w.store(Value{});
}

void TraverseTable::clearDerived(std::string_view name)
{
    const int index = m->indexOf(name);
    FieldWriter w{*this, *m, index};
    w.prepare();
    m->derivedEmpty.push_back(index);
    w.store(Value{});
}

void TraverseTable::refuseOverlongText(std::string_view name, std::string_view text) const
{
    const FieldInfo& f = m->fields[static_cast<std::size_t>(m->indexOf(name))];
    if (f.type != FieldType::Alpha)
        return;
    // Cutting would store another text than the one given, without a word.
    const auto chars = std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    if (chars <= f.size)
        return;
    throw EngineError("'" + std::string(text) + "' is too long for field '" + m->label(f) + "' in row "
                      + std::to_string(recNo()) + ": it holds at most " + std::to_string(f.size) + " characters");
}

void TraverseTable::enterText(std::string_view name, std::string_view typed, char decimalSeparator)
{
    refuseOverlongText(name, typed);
    const int index = m->indexOf(name);
    FieldWriter w{*this, *m, index};
    if (w.info().calculated)
        w.prepare();  // raises "cannot be modified"
    if (const TextEntryHook hook = m->textHooks[static_cast<std::size_t>(index)]) {
        hook(*this, std::string(typed));
        return;
    }
    w.setTyped(typed, decimalSeparator);
}

// --- display texts

static std::string displayTextOf(const FieldInfo& f, const Value& v, char sep)
{
    if (const auto* i = std::get_if<std::int32_t>(&v))
        return std::to_string(*i);
    if (const auto* d = std::get_if<double>(&v)) {
        if (f.displayFormat == "0.0")
            return formatFixed(*d, 1, sep);
        if (f.displayFormat == "0.00")
            return formatFixed(*d, 2, sep);
        return formatGeneral(*d, sep);
    }
    if (const auto* s = std::get_if<std::string>(&v))
        return *s;
    return {};
}

std::string TraverseTable::displayText(std::string_view name) const
{
    return displayTextOf(field(name), value(name), decimalSeparator());
}

Value TraverseTable::valueAt(int rowIndex, int fieldIdx) const
{
    if (rowIndex < 0 || rowIndex >= m->displayCount() || fieldIdx < 0
        || fieldIdx >= static_cast<int>(m->fields.size()))
        return {};
    const FieldInfo& f = m->fields[static_cast<std::size_t>(fieldIdx)];
    const bool pending = rowIndex == m->cur && m->editing();
    if (f.calculated) {
        Value calcF, calcG;
        m->computeCalc(*this, pending ? m->buffer : m->storedRow(rowIndex), calcF, calcG);
        return f.name == "F" ? calcF : calcG;
    }
    if (pending)
        return m->buffer[static_cast<std::size_t>(f.fileIndex)];
    // One field decoded alone: exports and the grid read a row field by field.
    return m->storedValue(rowIndex, static_cast<std::size_t>(f.fileIndex));
}

std::string TraverseTable::displayTextAt(int rowIndex, int fieldIdx) const
{
    if (fieldIdx < 0 || fieldIdx >= static_cast<int>(m->fields.size()))
        return {};
    return displayTextOf(m->fields[static_cast<std::size_t>(fieldIdx)], valueAt(rowIndex, fieldIdx), decimalSeparator());
}

void TraverseTable::setNumberFormat(NumberFormat format) { m->numberFormat = format; }
const NumberFormat& TraverseTable::numberFormat() const { return m->numberFormat; }

// --- hooks

void TraverseTable::setChangeHook(std::string_view name, ChangeHook hook)
{
    auto& h = m->changeHooks[static_cast<std::size_t>(m->indexOf(name))];
    h.fn = std::move(hook);
    h.attached = true;
}

void TraverseTable::detachChangeHook(std::string_view name)
{
    m->changeHooks[static_cast<std::size_t>(m->indexOf(name))].attached = false;
}

void TraverseTable::attachChangeHook(std::string_view name)
{
    m->changeHooks[static_cast<std::size_t>(m->indexOf(name))].attached = true;
}

bool TraverseTable::isChangeHookAttached(std::string_view name) const
{
    const auto& h = m->changeHooks[static_cast<std::size_t>(m->indexOf(name))];
    return h.fn && h.attached;
}

void TraverseTable::setTextEntryHook(std::string_view name, TextEntryHook hook)
{
    m->textHooks[static_cast<std::size_t>(m->indexOf(name))] = std::move(hook);
}

void TraverseTable::setCalcFieldsHook(CalcFieldsHook hook)
{
    m->calc = std::move(hook);
    recalculate();
}

const Value& TraverseTable::rowValue(const Row& stored, std::string_view name) const
{
    const FieldInfo& f = field(name);
    if (f.fileIndex < 0 || static_cast<std::size_t>(f.fileIndex) >= stored.size())
        return kEmpty;
    return stored[static_cast<std::size_t>(f.fileIndex)];
}

void TraverseTable::recalculate()
{
    m->calcValid = false;
    m->notify([](TableObserver& o) { o.tableReset(); });
}

// --- display updates

void TraverseTable::disableControls() { ++m->disabled; }

void TraverseTable::enableControls() noexcept
{
    if (m->disabled == 0)
        return;
    if (--m->disabled == 0) {
        try {
            m->notify([](TableObserver& o) { o.tableReset(); });
        } catch (...) {  // an observer's failure must not stop the resume
        }
    }
}

void TraverseTable::flush()
{
    // A read-only file has nothing to flush, unless it became read-only because a write or a
    // flush failed: that failure is reported again.
    if (!m->file)
        return;
    try {
        m->file->sync();
    } catch (const ParadoxError& e) {
        throw EngineError(e.what());
    }
}

bool TraverseTable::controlsDisabled() const { return m->disabled > 0; }

ObserverRegistration TraverseTable::addObserver(TableObserver* observer)
{
    if (!observer)
        return {};
    auto& list = *m->observers;
    if (std::find(list.begin(), list.end(), observer) == list.end())
        list.push_back(observer);
    return ObserverRegistration(m->observers, observer);
}

void TraverseTable::removeObserver(TableObserver* observer)
{
    auto& list = *m->observers;
    list.erase(std::remove(list.begin(), list.end(), observer), list.end());
}

void TraverseTable::notifySurveyValuesChanged()
{
    m->notify([](TableObserver& o) { o.surveyValuesChanged(); });
}

ObserverRegistration::ObserverRegistration(ObserverRegistration&& other) noexcept
    : m_list(std::move(other.m_list)), m_observer(std::exchange(other.m_observer, nullptr))
{
}

ObserverRegistration& ObserverRegistration::operator=(ObserverRegistration&& other) noexcept
{
    if (this != &other) {
        reset();
        m_list = std::move(other.m_list);
        m_observer = std::exchange(other.m_observer, nullptr);
    }
    return *this;
}

ObserverRegistration::~ObserverRegistration() { reset(); }

void ObserverRegistration::reset()
{
    if (const auto list = m_list.lock(); list && m_observer)
        list->erase(std::remove(list->begin(), list->end(), m_observer), list->end());
    m_list.reset();
    m_observer = nullptr;
}

bool ObserverRegistration::isActive() const { return m_observer && !m_list.expired(); }

}  // namespace zelt::document
