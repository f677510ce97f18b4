// SPDX-License-Identifier: GPL-3.0-or-later
// The dataset over one traverse table: opening, the cursor, edit/insert/post/cancel, bookmarks.
#include "document/traverse_table.h"

#include "document/traverse_schema.h"
#include "document/traverse_table_impl.h"

#include <system_error>

namespace zelt::document {
namespace {

const char* typeName(FieldType t)
{
    switch (t) {
    case FieldType::Alpha: return "Alpha";
    case FieldType::Short: return "Short";
    case FieldType::Long: return "Long Integer";
    case FieldType::Number: return "Number";
    default: return "an unsupported type";
    }
}

const char* expectedKind(FieldType t)
{
    switch (t) {
    case FieldType::Alpha: return "text (Alpha)";
    case FieldType::Number: return "a number (Number)";
    default: return "a whole number (Short or Long Integer)";
    }
}

bool isWritableType(FieldType t)
{
    return t == FieldType::Alpha || t == FieldType::Short || t == FieldType::Long || t == FieldType::Number;
}

std::string quoted(const std::filesystem::path& p) { return "'" + p.filename().string() + "'"; }

/// Runs a codec call and turns its errors into the table layer's EngineError.
template<class F>
auto codec(F&& f) -> decltype(f())
{
    try {
        return f();
    } catch (const ParadoxError& e) {
        throw EngineError(e.what());
    } catch (const std::system_error& e) {
        throw EngineError(e.what());
    }
}

}  // namespace

int& fallbackCodePageSetting()
{
    static int codePage = 1252;
    return codePage;
}

Row TraverseTable::Impl::newRow() const
{
    Row row(fileFieldCount);
    for (const FieldInfo& f : fields) {
        if (f.fileIndex < 0)
            continue;
        Value v = TraverseSchema::newRowDefault(f.name);
        if (std::holds_alternative<double>(v) && f.type != FieldType::Number)
            v = std::int32_t{0};
        else if (std::holds_alternative<std::int32_t>(v) && f.type == FieldType::Number)
            v = 0.0;
        row[static_cast<std::size_t>(f.fileIndex)] = std::move(v);
    }
    return row;
}

TraverseTable::TraverseTable() : m(std::make_unique<Impl>())
{
    m->fields = TraverseSchema::documentFields();
    m->changeHooks.resize(m->fields.size());
    m->textHooks.resize(m->fields.size());
}

TraverseTable::~TraverseTable()
{
    try {
        close();
    } catch (...) {  // closing only drops state; a failing sync must not escape a destructor
    }
}

// --- table level

void TraverseTable::setPath(const std::filesystem::path& path)
{
    if (isOpen())
        throw EngineError("Cannot perform this operation on an open dataset");
    m->path = path;
}

const std::filesystem::path& TraverseTable::path() const { return m->path; }

void TraverseTable::create(int codePage, bool mustBeNew)
{
    if (isOpen())
        throw EngineError("Cannot perform this operation on an open dataset");
    // Without a code page of their own, new tables take the code-page setting, so a user of
    // another alphabet can store marks.
    if (codePage == 0)
        codePage = fallbackCodePageSetting();
    codec([&] { ParadoxTable::create(m->path, TraverseSchema::fileFields(), codePage, mustBeNew); });
}

void TraverseTable::open(Access access)
{
    if (isOpen())
        return;
    ParadoxOpenOptions options;
    options.readOnly = access == Access::ReadOnly;
    options.headerOnly = options.readOnly && m->headerOnly;
    options.fallbackCodePage = fallbackCodePageSetting();
    open(codec([&] { return ParadoxTable::open(m->path, options); }));
}

void TraverseTable::open(std::unique_ptr<ParadoxTable> file)
{
    if (isOpen())
        throw EngineError("Cannot perform this operation on an open dataset");

    // Bind the document's fields to the file by name; order and extra fields are the file's own.
    const std::vector<FieldDef>& defs = file->fields();
    std::vector<FieldInfo> fields = TraverseSchema::documentFields();
    const std::string prefix = quoted(m->path) + " is not a traverse table: field '";
    for (FieldInfo& f : fields) {
        if (f.calculated)
            continue;
        auto it = std::find_if(defs.begin(), defs.end(),
                               [&](const FieldDef& d) { return TraverseSchema::sameName(d.name, f.name); });
        if (it == defs.end())
            throw EngineError(prefix + f.name + "' missing");
        if (!TraverseSchema::isCompatible(f.type, it->type))
            throw EngineError(prefix + f.name + "' is " + typeName(it->type) + ", expected " + expectedKind(f.type));
        f.fileIndex = static_cast<int>(it - defs.begin());
        f.type = it->type;
        if (f.type == FieldType::Alpha)
            f.size = it->size;
    }
    for (const FieldDef& d : defs)
        if (!isWritableType(d.type))
            throw EngineError(prefix + d.name + "' has a type this program cannot store ("
                              + std::to_string(static_cast<int>(d.type)) + ")");

    // The rows stay in the file's bytes; they are decoded when read.
    m->fields = std::move(fields);
    m->fileFieldCount = defs.size();
    m->ids.resize(file->rowCount());
    m->dropCached();
    for (Bookmark& id : m->ids)
        id = m->nextId++;
    m->file = std::move(file);
    ++m->openSerial;
    m->state = State::Browse;
    m->cur = m->ids.empty() ? -1 : 0;
    m->bof = true;
    m->eof = m->ids.empty();
    m->buffer.clear();
    m->derivedEmpty.clear();
    m->modified = false;
    m->calcValid = false;
    m->notify([](TableObserver& o) { o.tableReset(); });
}

void TraverseTable::close()
{
    if (!isOpen())
        return;
    // An unposted row is dropped: only posted rows are in the file.
    std::unique_ptr<ParadoxTable> file = std::move(m->file);
    m->ids.clear();
    m->dropCached();
    m->buffer.clear();
    m->derivedEmpty.clear();
    m->modified = false;
    m->composing = false;
    m->state = State::Inactive;
    m->cur = -1;
    m->eof = m->bof = true;
    m->calcValid = false;
    m->notify([](TableObserver& o) { o.tableReset(); });
    if (!file->isReadOnly())
        codec([&] { file->sync(); });
}

bool TraverseTable::isOpen() const { return m->file != nullptr; }
bool TraverseTable::isReadOnly() const { return m->file && m->file->isReadOnly(); }

std::string TraverseTable::readOnlyReason() const
{
    return m->file ? m->file->readOnlyReason() : std::string();
}

bool TraverseTable::isDamaged() const { return m->file && m->file->isDamaged(); }

ParadoxTable* TraverseTable::file() { return m->file.get(); }

void TraverseTable::setHeaderOnly(bool on) { m->headerOnly = on; }

void TraverseTable::setFallbackCodePage(int codePage) { fallbackCodePageSetting() = codePage; }

// --- cursor

int TraverseTable::rowCount() const { return isOpen() ? m->storedCount() : 0; }
int TraverseTable::displayRowCount() const { return m->displayCount(); }
int TraverseTable::recNo() const { return m->cur + 1; }
int TraverseTable::currentIndex() const { return m->cur; }
TraverseTable::State TraverseTable::state() const { return m->state; }
bool TraverseTable::eof() const { return m->eof; }
bool TraverseTable::bof() const { return m->bof; }

void TraverseTable::setRecNo(int recNo)
{
    checkBrowseMode();
    if (m->ids.empty())
        return;
    const int target = std::clamp(recNo - 1, 0, m->displayCount() - 1);
    m->eof = m->bof = false;
    if (target != m->cur) {
        m->cur = target;
        m->calcValid = false;
        m->notify([&](TableObserver& o) { o.currentChanged(m->cur); });
    }
}

void TraverseTable::first()
{
    checkBrowseMode();
    m->cur = m->ids.empty() ? -1 : 0;
    m->bof = true;
    m->eof = m->ids.empty();
    m->calcValid = false;
    m->notify([&](TableObserver& o) { o.currentChanged(m->cur); });
}

void TraverseTable::last()
{
    checkBrowseMode();
    m->cur = m->displayCount() - 1;
    m->eof = true;
    m->bof = m->ids.empty();
    m->calcValid = false;
    m->notify([&](TableObserver& o) { o.currentChanged(m->cur); });
}

void TraverseTable::next() { moveBy(1); }
void TraverseTable::prior() { moveBy(-1); }

int TraverseTable::moveBy(int distance)
{
    checkBrowseMode();
    const int count = m->displayCount();
    if (count == 0) {
        m->eof = m->bof = true;
        return 0;
    }
    const long long wanted = static_cast<long long>(m->cur) + distance;
    const int target = static_cast<int>(std::clamp<long long>(wanted, 0, count - 1));
    const int moved = target - m->cur;
    m->eof = wanted > count - 1;
    m->bof = wanted < 0;
    if (moved != 0) {
        m->cur = target;
        m->calcValid = false;
        m->notify([&](TableObserver& o) { o.currentChanged(m->cur); });
    }
    return moved;
}

// --- editing

static void requireWritable(const TraverseTable& t)
{
    if (!t.isOpen())
        throw EngineError("Cannot perform this operation on a closed dataset");
    if (t.isReadOnly()) {
        const std::string reason = t.readOnlyReason();
        throw EngineError("Cannot modify a read-only table" + (reason.empty() ? std::string() : ": " + reason));
    }
}

void TraverseTable::checkBrowseMode()
{
    if (!isOpen())
        throw EngineError("Cannot perform this operation on a closed dataset");
    if (!m->editing())
        return;
    if (m->modified) {
        requireWritable(*this);
        postNow();  // a move ends a composition: the row is stored before the cursor leaves it
    } else
        cancel();  // an untouched row: nothing to store; an untouched new row is dropped
}

void TraverseTable::insert()
{
    requireWritable(*this);
    checkBrowseMode();
    const int pos = m->cur < 0 ? 0 : m->cur;
    m->ids.insert(m->ids.begin() + pos, m->nextId++);
    m->dropCached();
    m->cur = pos;
    m->buffer = m->newRow();
    m->derivedEmpty.clear();
    m->state = State::Insert;
    m->modified = false;
    m->eof = m->bof = false;
    m->calcValid = false;
    m->notify([&](TableObserver& o) {
        o.rowsInserted(pos, 1);
        o.currentChanged(pos);
        o.stateChanged();
    });
}

void TraverseTable::append()
{
    requireWritable(*this);
    checkBrowseMode();
    m->cur = m->displayCount();
    insert();
}

void TraverseTable::edit()
{
    requireWritable(*this);
    if (m->editing())
        return;
    if (m->ids.empty()) {  // editing an empty table starts a new row
        append();
        return;
    }
    m->buffer = m->storedCurrent();
    m->derivedEmpty.clear();
    m->state = State::Edit;
    m->modified = false;
    m->notify([](TableObserver& o) { o.stateChanged(); });
}

void TraverseTable::post()
{
    if (!isOpen())
        throw EngineError("Cannot perform this operation on a closed dataset");
    // Posting a row that is not being edited does nothing: a field rule may have posted it already.
    if (!m->editing())
        return;
    requireWritable(*this);
    // A row being composed keeps its values pending; the composition ends with one real post.
    if (m->composing)
        return;
    postNow();
}

void TraverseTable::deferPosts(bool on) { m->composing = on; }
bool TraverseTable::postsDeferred() const { return m->composing; }

void TraverseTable::Impl::checkRequired() const
{
    // A required field may not be made empty. A stored row that already has it empty (tables of
    // other programs carry no required flag) keeps it so: refusing that row would stop every
    // pass over the table at it.
    const Row* stored = state == State::Edit ? &storedCurrent() : nullptr;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const FieldInfo& f = fields[i];
        if (!f.required || std::find(derivedEmpty.begin(), derivedEmpty.end(), int(i)) != derivedEmpty.end())
            continue;
        const auto at = static_cast<std::size_t>(f.fileIndex);
        if (isEmpty(buffer[at]) && !(stored && at < stored->size() && isEmpty((*stored)[at])))
            throw EngineError(requiredFieldMessage(label(f)));
    }
}

void TraverseTable::postNow()
{
    m->checkRequired();
    const auto index = static_cast<std::size_t>(m->cur);
    // The stored values a recorded write can go back to, read before they are written over.
    const Row before = m->writeListener && m->state == State::Edit ? m->storedRow(m->cur) : Row{};
    codec([&] {
        if (m->state == State::Edit)
            m->file->updateRow(index, m->buffer);
        else if (index + 1 == m->ids.size())
            m->file->appendRow(m->buffer);
        else
            m->file->insertRow(index, m->buffer);
    });
    if (m->writeListener) {
        if (m->state == State::Edit)
            m->writeListener->rowUpdated(m->cur, before, m->buffer);
        else
            m->writeListener->rowInserted(m->cur, m->buffer);
    }
    m->dropCached();
    m->buffer.clear();
    m->derivedEmpty.clear();
    m->state = State::Browse;
    m->modified = false;
    m->calcValid = false;
    m->notify([&](TableObserver& o) {
        o.rowChanged(m->cur);
        o.stateChanged();
    });
}

void TraverseTable::cancel()
{
    if (!m->editing())
        return;
    const int pos = m->cur;
    const bool inserted = m->state == State::Insert;
    m->buffer.clear();
    m->derivedEmpty.clear();
    m->state = State::Browse;
    m->modified = false;
    m->calcValid = false;
    if (inserted) {
        m->ids.erase(m->ids.begin() + pos);
        m->dropCached();
        m->cur = std::min(pos, m->displayCount() - 1);
        m->eof = m->bof = m->ids.empty();
    }
    m->notify([&](TableObserver& o) {
        if (inserted) {
            o.rowsRemoved(pos, 1);
            o.currentChanged(m->cur);
        } else {
            o.rowChanged(pos);
        }
        o.stateChanged();
    });
}

void TraverseTable::deleteRow()
{
    requireWritable(*this);
    if (m->state == State::Insert) {  // deleting a new row that was never stored
        cancel();
        return;
    }
    if (m->ids.empty())
        throw EngineError("Cannot perform this operation on an empty dataset");
    const int pos = m->cur;
    const Row removed = m->writeListener ? m->storedRow(pos) : Row{};
    codec([&] { m->file->deleteRow(static_cast<std::size_t>(pos)); });
    if (m->writeListener)
        m->writeListener->rowRemoved(pos, removed);
    const bool wasEditing = m->editing();
    m->buffer.clear();
    m->derivedEmpty.clear();
    m->state = State::Browse;
    m->modified = false;
    m->ids.erase(m->ids.begin() + pos);
    m->dropCached();
    m->cur = std::min(pos, m->displayCount() - 1);
    m->eof = m->bof = m->ids.empty();
    m->calcValid = false;
    m->notify([&](TableObserver& o) {
        o.rowsRemoved(pos, 1);
        o.currentChanged(m->cur);
        if (wasEditing)
            o.stateChanged();
    });
}

bool TraverseTable::isModified() const { return m->modified; }

// --- bookmarks

TraverseTable::Bookmark TraverseTable::bookmark() const
{
    return m->cur >= 0 ? m->ids[static_cast<std::size_t>(m->cur)] : 0;
}

void TraverseTable::gotoBookmark(Bookmark mark)
{
    checkBrowseMode();
    auto it = mark == 0 ? m->ids.end() : std::find(m->ids.begin(), m->ids.end(), mark);
    if (it == m->ids.end())
        throw EngineError("Record/Key deleted: the bookmarked row no longer exists");
    setRecNo(static_cast<int>(it - m->ids.begin()) + 1);
}

bool TraverseTable::bookmarkValid(Bookmark mark) const
{
    if (mark == 0)
        return false;
    auto it = std::find(m->ids.begin(), m->ids.end(), mark);
    if (it == m->ids.end())
        return false;
    // The slot of an unposted new row is no row of the table yet.
    return !(m->state == State::Insert && it - m->ids.begin() == m->cur);
}

void TraverseTable::freeBookmark(Bookmark) {}

std::vector<TraverseTable::Bookmark> TraverseTable::storedBookmarks() const
{
    std::vector<Bookmark> out;
    out.reserve(m->ids.size());
    for (std::size_t i = 0; i < m->ids.size(); ++i)
        if (!(m->state == State::Insert && static_cast<int>(i) == m->cur))
            out.push_back(m->ids[i]);
    return out;
}

TraverseTable::Bookmark TraverseTable::storedBookmarkAt(int row) const
{
    if (row < 1 || row > rowCount())
        return 0;
    // Stored rows after an unposted inserted row sit one slot further down.
    auto index = static_cast<std::size_t>(row - 1);
    if (m->state == State::Insert && row - 1 >= m->cur)
        ++index;
    return m->ids[index];
}

int TraverseTable::storedRowOf(Bookmark mark, int near) const
{
    if (mark == 0)
        return 0;
    const long long size = static_cast<long long>(m->ids.size());
    const long long start = std::clamp<long long>(near - 1, 0, std::max<long long>(size - 1, 0));
    for (long long d = 0; start + d < size || start - d >= 0; ++d) {
        for (const long long i : {start + d, start - d}) {
            if (i < 0 || i >= size || (d == 0 && i != start) || m->ids[static_cast<std::size_t>(i)] != mark)
                continue;
            if (m->state == State::Insert && i == m->cur)
                return 0;  // the slot of an unposted row is no stored row
            return static_cast<int>(i) + 1 - (m->state == State::Insert && i > m->cur ? 1 : 0);
        }
    }
    return 0;
}

std::uint64_t TraverseTable::openSerial() const { return m->openSerial; }

// --- recorded writes

void TraverseTable::setWriteListener(RowWriteListener* listener) { m->writeListener = listener; }

Row TraverseTable::storedRow(int index) const
{
    if (index < 0 || index >= m->storedCount() || (m->state == State::Insert && index == m->cur))
        throw EngineError("Record/Key deleted: the row to restore no longer exists");
    return m->storedRow(index);
}

/// The checks every replay of a recorded write makes: writable, browsing, a row that exists.
static void requireReplay(const TraverseTable& t, int index, int limit)
{
    requireWritable(t);
    if (t.state() != TraverseTable::State::Browse)
        throw EngineError("Cannot restore rows while a row is being edited");
    if (index < 0 || index > limit)
        throw EngineError("Record/Key deleted: the row to restore no longer exists");
}

void TraverseTable::restoreRow(int index, const Row& values)
{
    requireReplay(*this, index, m->storedCount() - 1);
    const auto at = static_cast<std::size_t>(index);
    codec([&] { m->file->updateRow(at, values); });
    m->dropCached();
    m->calcValid = false;
    m->notify([&](TableObserver& o) { o.rowChanged(index); });
}

void TraverseTable::restoreInsert(int index, const Row& values)
{
    requireReplay(*this, index, m->storedCount());
    const auto at = static_cast<std::size_t>(index);
    codec([&] {
        if (at == m->file->rowCount())
            m->file->appendRow(values);
        else
            m->file->insertRow(at, values);
    });
    m->ids.insert(m->ids.begin() + index, m->nextId++);
    m->dropCached();
    m->cur = index;
    m->eof = m->bof = false;
    m->calcValid = false;
    m->notify([&](TableObserver& o) {
        o.rowsInserted(index, 1);
        o.currentChanged(index);
    });
}

void TraverseTable::restoreRemove(int index)
{
    requireReplay(*this, index, m->storedCount() - 1);
    codec([&] { m->file->deleteRow(static_cast<std::size_t>(index)); });
    m->ids.erase(m->ids.begin() + index);
    m->dropCached();
    if (m->cur > index || m->cur >= static_cast<int>(m->ids.size()))
        m->cur = std::max(m->cur - 1, m->ids.empty() ? -1 : 0);
    m->eof = m->bof = m->ids.empty();
    m->calcValid = false;
    m->notify([&](TableObserver& o) {
        o.rowsRemoved(index, 1);
        o.currentChanged(m->cur);
    });
}

}  // namespace zelt::document
