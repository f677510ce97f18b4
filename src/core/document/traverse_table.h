// SPDX-License-Identifier: GPL-3.0-or-later
// The dataset over one traverse table: rows in memory, a cursor, edit/post, field rules and hooks.
#pragma once

#include "paradox/field_value.h"
#include "document/value_format.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zelt::document {

class ParadoxTable;

/// An error of the table layer; what() is the engine's message, e.g.
/// "12000 is not a valid value for field 'Altimeter'. The allowed range is 0 to 3000".
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A field of the dataset's field list (stored or calculated) with the rules of its values.
struct FieldInfo {
    std::string name;            ///< e.g. "Azimuth"
    FieldType type;              ///< Short, Long, Number or Alpha (F and G: Number)
    int size = 0;                ///< Alpha length
    bool required = false;
    bool calculated = false;     ///< F, G: computed per row, never stored
    std::optional<double> minValue, maxValue;
    std::string displayLabel;    ///< empty = field name ("Percent" for Procent)
    std::string displayFormat;   ///< "", "0.0", "0.00"
    int displayWidth = 0;        ///< characters, for the default column width
    int fileIndex = -1;          ///< position in the file's record, -1 for calculated fields
};

/// Receives change notifications; the Qt model in the shell is one. Nothing is sent while
/// display updates are suspended; resuming to zero sends one reset.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    virtual void tableReset() = 0;                       ///< open, close, resume, anything big
    virtual void rowsInserted(int first, int count) = 0; ///< 0-based indices
    virtual void rowsRemoved(int first, int count) = 0;
    virtual void rowChanged(int index) = 0;              ///< values (or calculated values) changed
    virtual void currentChanged(int index) = 0;          ///< cursor moved; -1 when none
    virtual void stateChanged() = 0;                     ///< browse/edit/insert changed
    /// The document's survey values (`PairsPer100m`, `StartHeight`) changed.
    virtual void surveyValuesChanged() {}
};

/// Receives every row the table writes to its file, with the values before and after (the
/// document's undo history is one). Called after the file took the write and before observers
/// hear of it; it must not throw. Replays of recorded rows (restoreRow and its kin) are not
/// reported: they put back what a listener recorded.
class RowWriteListener {
public:
    virtual ~RowWriteListener() = default;
    virtual void rowUpdated(int index, const Row& before, const Row& after) = 0;  ///< 0-based
    virtual void rowInserted(int index, const Row& values) = 0;
    virtual void rowRemoved(int index, const Row& values) = 0;
};

/// Keeps a TableObserver registered while it lives: destroying or resetting it removes the
/// observer, also when the table is already gone. Move-only.
class ObserverRegistration {
public:
    ObserverRegistration() = default;
    ObserverRegistration(ObserverRegistration&& other) noexcept;
    ObserverRegistration& operator=(ObserverRegistration&& other) noexcept;
    ObserverRegistration(const ObserverRegistration&) = delete;
    ObserverRegistration& operator=(const ObserverRegistration&) = delete;
    ~ObserverRegistration();

    void reset();   ///< removes the observer now
    bool isActive() const;

private:
    friend class TraverseTable;
    ObserverRegistration(std::weak_ptr<std::vector<TableObserver*>> list, TableObserver* observer)
        : m_list(std::move(list)), m_observer(observer)
    {
    }
    std::weak_ptr<std::vector<TableObserver*>> m_list;
    TableObserver* m_observer = nullptr;
};

/// Dataset over one traverse table (`Table1` of a document window). The field list is the
/// document's order: Azimuth, Pairs, Procent, Povorot, Mark, Reserv, metru, F, G, Altimeter,
/// Recalc, id, sumPairs, FillHeight. Rows live in memory in table order; post() writes the row
/// into the file before it returns. All errors are EngineError with the engine's texts.
class TraverseTable {
public:
    enum class State { Inactive, Browse, Edit, Insert };
    /// How open() opens the file: ReadOnly never writes it and takes no write lock.
    enum class Access { ReadWrite, ReadOnly };
    using Bookmark = std::uint64_t;   ///< stable row identity; 0 = none
    using ChangeHook = std::function<void(TraverseTable&)>;
    /// Decides the stored text for text typed into a field (runs instead of the plain set).
    using TextEntryHook = std::function<void(TraverseTable&, const std::string& typed)>;
    /// Computes the calculated fields of a row: given the stored row, fills F and G (may leave empty).
    using CalcFieldsHook = std::function<void(const TraverseTable&, const Row& stored, Value& f, Value& g)>;

    TraverseTable();
    ~TraverseTable();
    TraverseTable(const TraverseTable&) = delete;
    TraverseTable& operator=(const TraverseTable&) = delete;

    // --- table level
    void setPath(const std::filesystem::path& path);
    const std::filesystem::path& path() const;
    /// Empty traverse table at path() (the twelve stored fields), its text in `codePage` (1252,
    /// 1251, 866, 437 or 850; 0 for the code-page setting). With `mustBeNew` a file that exists
    /// there, even one another program made a moment ago, is refused and left alone.
    void create(int codePage = 0, bool mustBeNew = false);
    void open(Access access = Access::ReadWrite);  ///< refuses a foreign table: "not a traverse table: ..."
    /// Opens over a codec the caller has opened (a wrapper that fails on purpose, in tests);
    /// the same checks as open().
    void open(std::unique_ptr<ParadoxTable> file);
    void close();                     ///< drops an unposted row
    bool isOpen() const;
    bool isReadOnly() const;
    std::string readOnlyReason() const;   ///< empty when opened ReadOnly and nothing else forbids writing
    /// The file's block chain breaks: only the rows before the damage were read (and it is read-only).
    bool isDamaged() const;
    ParadoxTable* file();             ///< the codec, for info and tests; null when closed
    /// While on, a ReadOnly open() reads only the header and walks the block chain: the row
    /// count, the file's facts and its damage are known, no row is read (reading one throws).
    /// For commands that only describe or rename a table, at the cost of its header.
    void setHeaderOnly(bool on);
    /// Code page for tables whose header records none (3.x); 1252 by default.
    static void setFallbackCodePage(int codePage);

    // --- fields
    const std::vector<FieldInfo>& fields() const;
    int fieldIndex(std::string_view name) const;          ///< case-insensitive; -1 when missing
    const FieldInfo& field(std::string_view name) const;  ///< throws "Field '%s' not found"

    // --- cursor (row numbers 1-based)
    int rowCount() const;             ///< stored rows (an unposted inserted row not counted)
    /// Rows a grid shows: rowCount() plus an unposted inserted row; valueAt() takes indices below it.
    int displayRowCount() const;
    int recNo() const;                ///< current row number; while inserting, the insert position
    void setRecNo(int recNo);
    void first();
    void next();
    void prior();
    void last();
    int moveBy(int distance);         ///< returns rows actually moved
    bool eof() const;
    bool bof() const;
    State state() const;
    int currentIndex() const;         ///< 0-based, -1 when no rows

    // --- editing
    void insert();                    ///< new row before the current row, new-row defaults
    void append();                    ///< new row at the end
    void edit();                      ///< no effect when already editing or inserting
    /// Checks required fields (a field may not be made empty; one a stored row already has empty
    /// stays so); writes the row to the file; no effect in browse mode.
    void post();
    void cancel();
    void deleteRow();                 ///< deletes the current row (posts nothing)
    /// Posts a row being edited; called before any move (a moved-off edited row is posted first).
    void checkBrowseMode();
    /// While on, post() keeps the row being edited pending instead of writing it, so the field
    /// rules that post on the way leave one whole row to store with a single post once it is
    /// off again (document::RowComposition). A move off the row still stores it.
    void deferPosts(bool on);
    bool postsDeferred() const;

    // --- bookmarks
    Bookmark bookmark() const;
    void gotoBookmark(Bookmark mark);          ///< throws EngineError for a deleted row
    bool bookmarkValid(Bookmark mark) const;
    void freeBookmark(Bookmark mark);
    /// The bookmarks of the stored rows in table order (an unposted inserted row left out), so
    /// that row numbers can be followed without moving the cursor.
    std::vector<Bookmark> storedBookmarks() const;
    /// The bookmark of stored row `row` (1-based, an unposted inserted row not counted); 0 when
    /// there is no such row.
    Bookmark storedBookmarkAt(int row) const;
    /// The stored row number (1-based) of the row bookmarked `mark`, 0 when it was deleted. The
    /// search starts at stored row `near` and goes outward, so a row that moved by a few places
    /// since `near` was its number is found in as many steps.
    int storedRowOf(Bookmark mark, int near) const;
    /// How often the table was opened; each open gives its rows new bookmarks.
    std::uint64_t openSerial() const;

    // --- field access on the current row (by name, case-insensitive)
    bool isNull(std::string_view name) const;
    double asFloat(std::string_view name) const;          ///< empty reads as 0
    std::int32_t asInteger(std::string_view name) const;  ///< empty reads as 0; floats round half-even
    std::string asText(std::string_view name) const;      ///< general form for numbers; empty = ""
    const Value& value(std::string_view name) const;
    /// Setters put the row into edit mode if needed, check the range, store, then run the
    /// field's change hook. Calculated fields raise "Field '%s' cannot be modified".
    void setFloat(std::string_view name, double v);
    void setInteger(std::string_view name, std::int64_t v);
    void setText(std::string_view name, std::string_view text);
    /// A value given as text (paste, import): converted to the field's type (numbers with
    /// `decimalSeparator`; integer fields also take a decimal number, rounded half-even); a text
    /// that is no number, the empty text included, raises "Invalid variant type conversion".
    /// Text fields take the text cut to the field's size.
    void setAsText(std::string_view name, std::string_view text, char decimalSeparator = '.');
    void setValue(std::string_view name, const Value& v);
    void clear(std::string_view name);
    /// Empties a field whose value follows from another field that cannot give it now (a
    /// length without a usable pairs ratio). Unlike clear(), the emptiness passes the next
    /// post's required check: the row is stored with the field empty, as other programs'
    /// tables may have it.
    void clearDerived(std::string_view name);
    /// Text typed by the user: runs the text-entry hook if one is set; otherwise an empty text
    /// clears the field and any other text is converted as typed into a cell, refusing
    /// "'%s' is not a valid floating point value for field '%s'" or
    /// "'%s' is not a valid integer value for field '%s'". Text longer than a text field holds
    /// is refused as refuseOverlongText() does.
    void enterText(std::string_view name, std::string_view typed, char decimalSeparator = '.');
    /// Refuses `text` for the text field `name` when it has more characters than the field
    /// holds: EngineError "'%s' is too long for field '%s' in row %d: it holds at most %d
    /// characters". Other fields check their text as they convert it.
    void refuseOverlongText(std::string_view name, std::string_view text) const;
    /// Whether a value was set since the row entered edit or insert mode.
    bool isModified() const;

    std::string displayText(std::string_view name) const;      ///< current row
    std::string displayLabel(std::string_view name) const;

    // --- read access by row index without moving the cursor (grid painting, exports)
    /// Value of field `fieldIdx` (index into fields()) of row `rowIndex` (0-based); the row being
    /// edited shows its pending values; calculated fields computed on demand.
    Value valueAt(int rowIndex, int fieldIdx) const;
    std::string displayTextAt(int rowIndex, int fieldIdx) const;

    // --- display formatting
    /// The document's number format: the decimal separator of display texts, of range messages
    /// and of text fields read as numbers ('.' until set; the desktop and zelt-cli set it from
    /// the user's locale when they create the document). Each table has its own.
    void setNumberFormat(NumberFormat format);
    const NumberFormat& numberFormat() const;
    char decimalSeparator() const { return numberFormat().decimalSeparator; }

    // --- hooks
    void setChangeHook(std::string_view name, ChangeHook hook);
    void detachChangeHook(std::string_view name);          ///< keeps it for reattach
    void attachChangeHook(std::string_view name);
    bool isChangeHookAttached(std::string_view name) const;
    void setTextEntryHook(std::string_view name, TextEntryHook hook);
    void setCalcFieldsHook(CalcFieldsHook hook);
    /// Value of a field in a stored row as given to the CalcFieldsHook (the row is in the file's
    /// field order, which may differ between tables); empty for F and G.
    const Value& rowValue(const Row& stored, std::string_view name) const;
    void recalculate();   ///< calculated fields depend on outside values (ratio) that changed

    // --- display updates
    void disableControls();           ///< counter; observers get nothing while > 0
    void enableControls() noexcept;   ///< at 0 again: one tableReset; never throws
    /// Makes every posted row durable on disk (fdatasync); throws EngineError when that fails.
    /// A walk over the table calls it when it ends (document::RowRestore::finish).
    void flush();
    bool controlsDisabled() const;
    /// Registers `observer` until the returned registration is destroyed or reset.
    [[nodiscard]] ObserverRegistration addObserver(TableObserver* observer);
    void removeObserver(TableObserver* observer);
    /// Tells the observers that the document's survey values changed.
    void notifySurveyValuesChanged();

    // --- recorded writes (undo): stored values in the file's field order, no field rules
    /// Sets the one listener of the file's writes (null: none).
    void setWriteListener(RowWriteListener* listener);
    /// The stored values of row `index` (0-based, below rowCount()), in the file's field order.
    Row storedRow(int index) const;
    /// Writes `values` into stored row `index` as they are: no field rules, range or required
    /// checks (the values were stored before). Each needs browse mode and a writable table and
    /// throws EngineError otherwise or when the file refuses; the cursor stays on its row, or on
    /// the row inserted.
    void restoreRow(int index, const Row& values);
    void restoreInsert(int index, const Row& values);   ///< index == rowCount() appends
    void restoreRemove(int index);

    struct Impl;  ///< opaque; defined in the implementation

private:
    void postNow();

    std::unique_ptr<Impl> m;
};

}  // namespace zelt::document
