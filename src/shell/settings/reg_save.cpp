// SPDX-License-Identifier: GPL-3.0-or-later
// Keeps the main window's placement and its toolbars in the per-user settings store.
#include "shell/settings/reg_save.h"

#include "shell/window/dock_area.h"
#include "shell/settings/registry_store.h"
#include "shell/settings/toolbar_arrangement.h"

#include <QDir>
#include <QEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QSettings>
#include <QToolBar>

#include <optional>

namespace zelt::shell {
namespace {

[[noreturn]] void fail(const char* pattern, const QString& name)
{
    throw RegistryError(QString::fromLatin1(pattern).arg(name).toStdString());
}

bool isInteger(const QVariant& v)
{
    const int t = v.typeId();
    return t == QMetaType::Int || t == QMetaType::UInt || t == QMetaType::LongLong || t == QMetaType::ULongLong;
}

/// A registry string: missing reads as empty; a value of another kind is an error.
QString readString(QSettings& store, const QString& name)
{
    const QVariant v = store.value(name);
    if (!v.isValid())
        return {};
    if (v.typeId() != QMetaType::QString)
        fail("Invalid data type for '%1'", name);
    return v.toString();
}

/// A registry 32-bit integer: missing and other kinds are errors.
int readInteger(QSettings& store, const QString& name)
{
    const QVariant v = store.value(name);
    if (!v.isValid())
        fail("Failed to get data for '%1'", name);
    if (!isInteger(v))
        fail("Invalid data type for '%1'", name);
    return static_cast<int>(v.toLongLong());
}

bool keyExists(QSettings& store, const QString& key)
{
    store.beginGroup(key);
    const bool exists = !store.childKeys().isEmpty() || !store.childGroups().isEmpty();
    store.endGroup();
    return exists;
}

/// Puts the window into the restored state once its placement has been applied (also when
/// the restore stops at a failing value): a window made maximised before it is given its
/// place would lose that place as the one it un-maximises to.
class PendingState {
public:
    explicit PendingState(QMainWindow& w) : m_window(w) {}
    ~PendingState()
    {
        if (m_state)
            m_window.setWindowState(*m_state);
    }
    void set(Qt::WindowStates state) { m_state = state; }

private:
    QMainWindow& m_window;
    std::optional<Qt::WindowStates> m_state;
};

QString dockName(const QMainWindow& w, Qt::ToolBarArea area)
{
    const QObjectList& kids = w.children();
    for (auto it = kids.crbegin(); it != kids.crend(); ++it)
        if (auto* dock = qobject_cast<DockArea*>(*it); dock && dock->area() == area)
            return dock->objectName();
    return {};
}

DockArea* findDock(const QMainWindow& w, const QString& name)
{
    // Component names are compared exactly, from the last component to the first.
    const QObjectList& kids = w.children();
    for (auto it = kids.crbegin(); it != kids.crend(); ++it)
        if (auto* dock = qobject_cast<DockArea*>(*it); dock && dock->objectName() == name)
            return dock;
    return nullptr;
}

int arrangementDock(Qt::ToolBarArea area)
{
    switch (area) {
    case Qt::LeftToolBarArea: return ToolbarArrangement::Left;
    case Qt::RightToolBarArea: return ToolbarArrangement::Right;
    case Qt::BottomToolBarArea: return ToolbarArrangement::Bottom;
    default: return ToolbarArrangement::Top;
    }
}

/// Top-left corner of a toolbar area in window coordinates: the top area starts below the
/// menu bar; the side areas lie between the top and bottom areas, beside the central widget.
QPoint dockOrigin(const QMainWindow& w, Qt::ToolBarArea area)
{
    const QWidget* central = w.centralWidget();
    const QRect c = central ? central->geometry() : w.rect();
    switch (area) {
    case Qt::LeftToolBarArea: return {0, c.top()};
    case Qt::RightToolBarArea: return {c.right() + 1, c.top()};
    case Qt::BottomToolBarArea: return {0, c.bottom() + 1};
    default: return {0, w.menuWidget() ? w.menuWidget()->geometry().bottom() + 1 : 0};
    }
}

template<class F>
void rearrange(QMainWindow& w, F change)
{
    std::optional<ToolbarArrangement> arrangement = ToolbarArrangement::capture(w);
    if (!arrangement)
        return;
    change(*arrangement);
    arrangement->apply(w);
}

}  // namespace

QRect placementToStore(const PlacementFacts& f)
{
    if (!(f.state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return f.frameGeometry;
    if (f.restoredNormal)
        return *f.restoredNormal;
    return QRect(f.normalGeometry.topLeft() - f.normalFrameOffset, f.normalGeometry.size());
}

TRegSave::TRegSave(QObject* parent) : QObject(parent) {}

void TRegSave::setCurrForm(QMainWindow* form)
{
    if (m_form)
        m_form->removeEventFilter(this);
    m_form = form;
    m_formObject = form;
    m_restoredNormal.reset();
    m_normalFrameOffset.reset();
    if (m_form)
        m_form->installEventFilter(this);
}

bool TRegSave::eventFilter(QObject* watched, QEvent* event)
{
    // Once the window is on screen in the normal state, Qt's normal geometry is its real client
    // rectangle, and the frame around it is known.
    // While the form is being destroyed it is no longer a QMainWindow, and the events it still
    // sends then must not be taken for it: compare the plain object, then ask its current type.
    QMainWindow* form = watched == m_formObject ? qobject_cast<QMainWindow*>(watched) : nullptr;
    if (form) {
        if (event->type() == QEvent::Show && m_floatingBeforeShow) {
            m_floatingBeforeShow = false;
            // The form asks to be mapped right after this event; the toolbars are mapped again
            // once that request is out.
            QMetaObject::invokeMethod(this, &TRegSave::remapFloatingToolbars, Qt::QueuedConnection);
        }
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            if (form->isVisible()
                && !(form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
                m_restoredNormal.reset();
                m_normalFrameOffset = form->geometry().topLeft() - form->pos();
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TRegSave::setProgName(const QString& name)
{
    m_progName = name.isEmpty() ? QStringLiteral("A1") : name;
}

QString TRegSave::formKey() const
{
    return QStringLiteral("Software/") + m_progName;
}

void TRegSave::RestoreForm()
{
    if (!m_form)
        return;
    const std::unique_ptr<QSettings> store = RegistryStore::open();
    if (!keyExists(*store, formKey()))
        return;
    store->beginGroup(formKey());
    QMainWindow& w = *m_form;
    PendingState pending(w);
    const Qt::WindowStates now = w.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    const QString align = readString(*store, QStringLiteral("Align"));
    if (align == QLatin1String("wsNormal"))
        w.setWindowState(now);
    else if (align == QLatin1String("wsMinimized"))
        pending.set(now | Qt::WindowMinimized);
    else if (align == QLatin1String("wsMaximized"))
        pending.set(now | Qt::WindowMaximized);
    if (align == QLatin1String("wsMinimized") || align == QLatin1String("wsMaximized"))
        w.setWindowState(now);  // the place below is the normal one

    const int left = readInteger(*store, QStringLiteral("Left"));
    w.move(left, w.y());
    const int top = readInteger(*store, QStringLiteral("Top"));
    w.move(w.x(), top);
    const int width = readInteger(*store, QStringLiteral("Width"));
    w.resize(width, w.height());
    const int height = readInteger(*store, QStringLiteral("Height"));
    w.resize(w.width(), height);
    // Until the window has been on screen in the normal state, this is its normal place.
    if (align == QLatin1String("wsMinimized") || align == QLatin1String("wsMaximized"))
        m_restoredNormal = QRect(w.pos(), w.size());
}

void TRegSave::saving(const std::function<void(QSettings&)>& work)
{
    if (m_saving) {
        work(*m_saving);
        return;
    }
    // Every value of the save is set in memory, then the file is written (synced and renamed
    // over the old one) once: a refused write keeps the whole previous file.
    const std::unique_ptr<QSettings> store = RegistryStore::open();
    m_saving = store.get();
    m_firstValue.clear();
    struct EndOfSave {
        QSettings*& saving;
        ~EndOfSave() { saving = nullptr; }
    } end{m_saving};
    work(*store);
    store->sync();
    if (store->status() != QSettings::NoError)
        fail("Failed to set data for '%1'", m_firstValue);
}

void TRegSave::setValue(QSettings& store, const QString& name, const QVariant& value)
{
    if (m_firstValue.isEmpty())
        m_firstValue = name;
    store.setValue(name, value);
}

void TRegSave::SaveForm()
{
    if (!m_form)
        return;
    saving([this](QSettings& store) { saveFormValues(store); });
}

void TRegSave::SaveFormAndToolbars()
{
    if (!m_form)
        return;
    saving([this](QSettings& store) {
        SaveForm();
        SaveToolbars();
        for (const auto& save : m_alsoSave)
            save(store);
    });
}

void TRegSave::alsoSave(std::function<void(QSettings&)> save)
{
    m_alsoSave.push_back(std::move(save));
}

void TRegSave::saveFormValues(QSettings& store)
{
    store.beginGroup(formKey());
    const QMainWindow& w = *m_form;
    const Qt::WindowStates state = w.windowState();
    const QString align = state & Qt::WindowMinimized   ? QStringLiteral("wsMinimized")
                          : state & Qt::WindowMaximized ? QStringLiteral("wsMaximized")
                                                        : QStringLiteral("wsNormal");
    // A maximised or minimised window is stored with its normal placement, so that it comes
    // back in that state and un-maximises to where the user had it.
    const QPoint frameNow = w.geometry().topLeft() - w.pos();
    const QRect place = placementToStore({state, QRect(w.pos(), w.size()), w.normalGeometry(),
                                          m_normalFrameOffset.value_or(frameNow), m_restoredNormal});
    setValue(store, QStringLiteral("Align"), align);
    setValue(store, QStringLiteral("Left"), place.x());
    setValue(store, QStringLiteral("Top"), place.y());
    setValue(store, QStringLiteral("Width"), place.width());
    setValue(store, QStringLiteral("Height"), place.height());
    setValue(store, QStringLiteral("Dir"), QDir::toNativeSeparators(QDir::currentPath()));
    store.endGroup();
}

QList<QToolBar*> TRegSave::toolbarsLastToFirst() const
{
    QList<QToolBar*> result;
    if (!m_form)
        return result;
    const QObjectList& kids = m_form->children();
    for (auto it = kids.crbegin(); it != kids.crend(); ++it)
        if (auto* tb = qobject_cast<QToolBar*>(*it))
            result.append(tb);
    return result;
}

void TRegSave::RestoreToolbars()
{
    for (QToolBar* tb : toolbarsLastToFirst())
        RestoreToolbar(tb);
}

void TRegSave::remapFloatingToolbars()
{
    // A floating toolbar is a tool window kept above the form. Mapped before the form, a window
    // manager stacks it where the form then covers it (always so for a maximised form): it is
    // mapped at its place and shown as ticked in the View menu, yet cannot be seen or reached.
    // Mapping it again after the form puts it above the form.
    if (!m_form)
        return;
    for (QToolBar* tb : toolbarsLastToFirst()) {
        if (!tb->isFloating() || tb->isHidden())
            continue;
        const QRect place = tb->geometry();
        tb->hide();
        tb->setGeometry(place);
        tb->show();
        tb->raise();
    }
}

void TRegSave::SaveToolbars()
{
    const QList<QToolBar*> toolbars = toolbarsLastToFirst();
    if (toolbars.isEmpty())
        return;
    saving([&](QSettings& store) {
        for (QToolBar* tb : toolbars)
            saveToolbarValues(store, tb);
    });
}

void TRegSave::RestoreToolbar(QToolBar* toolbar)
{
    if (!m_form || !toolbar)
        return;
    const std::unique_ptr<QSettings> store = RegistryStore::open();
    const QString key = formKey() + u'/' + toolbar->objectName();
    if (!keyExists(*store, key))
        return;
    store->beginGroup(key);
    restoreToolbarDock(*store, toolbar);
    restoreToolbarPlace(*store, toolbar);
    const int visible = readInteger(*store, QStringLiteral("Visible"));
    toolbar->setVisible(visible != 0);
    if (toolbar->isFloating() && visible != 0 && !m_form->isVisible())
        m_floatingBeforeShow = true;
}

void TRegSave::restoreToolbarDock(QSettings& store, QToolBar* toolbar)
{
    QMainWindow& w = *m_form;
    const QString name = toolbar->objectName();
    const QString dockedTo = readString(store, QStringLiteral("DockedTo"));
    if (dockedTo.isEmpty()) {
        if (!toolbar->isFloating()) {
            const QRect now(toolbar->mapToGlobal(QPoint(0, 0)), toolbar->sizeHint());
            rearrange(w, [&](ToolbarArrangement& a) { a.setFloating(name, now); });
        }
    } else if (const DockArea* dock = findDock(w, dockedTo)) {
        const int target = arrangementDock(dock->area());
        rearrange(w, [&](ToolbarArrangement& a) {
            const auto where = a.find(name);
            if (!where || where->item.floating || where->dock != target)
                a.dock(name, target, where && where->dock == target ? where->row : 1 << 20, 0);
        });
    }

    const int dockPos = readInteger(store, QStringLiteral("DockPos"));
    rearrange(w, [&](ToolbarArrangement& a) {
        if (const auto where = a.find(name))
            a.setRowAndPos(name, where->row, dockPos);
    });
    const int dockRow = readInteger(store, QStringLiteral("DockRow"));
    rearrange(w, [&](ToolbarArrangement& a) {
        if (const auto where = a.find(name); where && where->row != dockRow)
            a.setRowAndPos(name, dockRow, where->item.pos);
    });
}

void TRegSave::restoreToolbarPlace(QSettings& store, QToolBar* toolbar)
{
    // Left, Width and top place a floating toolbar; a docked toolbar's place within its dock
    // is laid out from its row and position.
    QMainWindow& w = *m_form;
    const QString name = toolbar->objectName();
    auto placeFloating = [&](auto change) {
        if (!toolbar->isFloating())
            return;
        QRect r = toolbar->geometry();
        change(r);
        rearrange(w, [&](ToolbarArrangement& a) { a.setFloating(name, r); });
    };
    const int left = readInteger(store, QStringLiteral("Left"));
    placeFloating([&](QRect& r) { r.moveLeft(left); });
    const int width = readInteger(store, QStringLiteral("Width"));
    placeFloating([&](QRect& r) { r.setWidth(width); });
    const int top = readInteger(store, QStringLiteral("Height"));
    placeFloating([&](QRect& r) { r.moveTop(top); });
}

void TRegSave::SaveToolbar(QToolBar* toolbar)
{
    if (!m_form || !toolbar)
        return;
    saving([&](QSettings& store) { saveToolbarValues(store, toolbar); });
}

void TRegSave::saveToolbarValues(QSettings& store, QToolBar* toolbar)
{
    const QMainWindow& w = *m_form;
    store.beginGroup(formKey() + u'/' + toolbar->objectName());

    const bool floating = toolbar->isFloating();
    const Qt::ToolBarArea area = w.toolBarArea(toolbar);
    int dockPos = 0, dockRow = 0;
    if (const auto a = ToolbarArrangement::capture(w))
        if (const auto where = a->find(toolbar->objectName())) {
            dockPos = where->item.pos;
            dockRow = where->row;
        }
    // A floating toolbar's place is on the screen; a docked one's is within its dock.
    QRect place = toolbar->geometry();
    if (!floating)
        place.translate(-dockOrigin(w, area));

    setValue(store, QStringLiteral("DockedTo"), floating ? QString() : dockName(w, area));
    setValue(store, QStringLiteral("DockPos"), dockPos);
    setValue(store, QStringLiteral("DockRow"), dockRow);
    setValue(store, QStringLiteral("Left"), place.left());
    setValue(store, QStringLiteral("Width"), place.width());
    setValue(store, QStringLiteral("Height"), place.top());
    setValue(store, QStringLiteral("Visible"), toolbar->isHidden() ? 0 : 1);
    store.endGroup();
}

}  // namespace zelt::shell
