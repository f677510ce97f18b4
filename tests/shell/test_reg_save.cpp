// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the settings persistence: placement and toolbars across restarts, failures.
#include "shell/window/main_form.h"
#include "shell/settings/reg_save.h"
#include "shell/settings/registry_store.h"
#include "shell/settings/toolbar_arrangement.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QSettings>
#include <QScreen>
#include <QTest>
#include <QToolBar>
#include <QWindow>

#include <algorithm>
#include <memory>

using namespace zelt::shell;
using zelt::test::idle;
using zelt::test::ModalAnswerer;

class TestRegSave : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void storeKeepsStringsAndIntegersApart();
    void firstStartWritesEveryValue();
    void hiddenToolbarComesBackHidden();
    void floatingToolbarComesBackFloating();
    void floatingToolbarIsMappedAfterTheForm();
    void floatingSideToolbarComesBackWhole();
    void dockRowAndPositionComeBack();
    void toolbarsMoveBesideDockWidgets();
    void maximisedWindowComesBackMaximised();
    void maximisedPlacementHoldsOverSessions_data();
    void maximisedPlacementHoldsOverSessions();
    void eachKeyIsWrittenOnce();
    void closingWritesTheStoreOnce();
    void heightHoldsTheTopCoordinate();
    void corruptedStoreStartsWithMessage_data();
    void corruptedStoreStartsWithMessage();
    void unknownDockLeavesToolbarInPlace();
    void unwritableStoreKeepsWindowOpen();
    void emptyProgramNameUsesA1();

private:
    std::unique_ptr<TMainForm> start(ModalAnswerer* answers = nullptr);
    /// Starts, lets `change` act on the window, closes (saving), and starts again.
    std::unique_ptr<TMainForm> restart(const std::function<void(TMainForm&)>& change);
    QVariant stored(const QString& key) const { return RegistryStore::open()->value(key); }
    void store(const QString& key, const QVariant& value) const
    {
        auto s = RegistryStore::open();
        s->setValue(key, value);
        s->sync();
    }

    QTemporaryDir m_settings;
    QTemporaryDir m_work;
};

void TestRegSave::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
    QDir::setCurrent(m_work.path());
}

void TestRegSave::init()
{
    RegistryStore::setRegistryFile(m_settings.filePath(QStringLiteral("registry.reg")));
    QFile::remove(RegistryStore::registryFile());
}

std::unique_ptr<TMainForm> TestRegSave::start(ModalAnswerer*)
{
    auto form = std::make_unique<TMainForm>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window not exposed");
    idle();
    return form;
}

std::unique_ptr<TMainForm> TestRegSave::restart(const std::function<void(TMainForm&)>& change)
{
    {
        auto form = start();
        change(*form);
        idle();
        form->close();
    }
    return start();
}

// Strings and 32-bit integers are stored as different kinds and read back as such.
void TestRegSave::storeKeepsStringsAndIntegersApart()
{
    QSettings::SettingsMap map;
    map.insert(QStringLiteral("Software/Zelt/Align"), QStringLiteral("wsNormal"));
    map.insert(QStringLiteral("Software/Zelt/Left"), -8);
    map.insert(QStringLiteral("Software/Zelt/Dir"), QStringLiteral("C:\\maps \"old\""));
    map.insert(QStringLiteral("Software/Zelt/Number"), QStringLiteral("315"));
    const QByteArray text = RegistryStore::serialise(map);
    QVERIFY(text.contains("[Software\\Zelt]"));
    QVERIFY(text.contains("\"Left\"=dword:fffffff8"));
    const QSettings::SettingsMap back = RegistryStore::parse(text);
    QCOMPARE(back, map);
    QCOMPARE(back.value(QStringLiteral("Software/Zelt/Left")).typeId(), int(QMetaType::Int));
    QCOMPARE(back.value(QStringLiteral("Software/Zelt/Number")).typeId(), int(QMetaType::QString));
    // A value of a kind the store does not know reads as neither.
    const auto other = RegistryStore::parse("[Software\\Zelt]\n\"Left\"=hex:01,02\n");
    QCOMPARE(other.value(QStringLiteral("Software/Zelt/Left")).typeId(), int(QMetaType::QByteArray));
}

// The first start takes three quarters of the screen, in its middle; closing writes the six
// window values and the seven values of each toolbar.
void TestRegSave::firstStartWritesEveryValue()
{
    QSize first;
    {
        auto form = start();
        const QRect area = form->screen()->availableGeometry();
        first = form->size();
        QCOMPARE(first, QSize(std::max(480, area.width() * 3 / 4), std::max(310, area.height() * 3 / 4)));
        QVERIFY(area.contains(QRect(form->pos(), first)));
        QVERIFY(form->toolbar(2)->isHidden());
        form->close();
    }
    auto s = RegistryStore::open();
    s->beginGroup(QStringLiteral("Software/Zelt"));
    QCOMPARE(s->childKeys().size(), 6);
    QCOMPARE(s->value(QStringLiteral("Align")).toString(), QStringLiteral("wsNormal"));
    QCOMPARE(s->value(QStringLiteral("Left")).typeId(), int(QMetaType::Int));
    QCOMPARE(s->value(QStringLiteral("Width")).toInt(), first.width());
    QCOMPARE(s->value(QStringLiteral("Height")).toInt(), first.height());
    QCOMPARE(s->value(QStringLiteral("Dir")).toString(), QDir::toNativeSeparators(QDir::currentPath()));
    QCOMPARE(s->childGroups(), (QStringList{QStringLiteral("RouteDock"), QStringLiteral("Toolbar971"),
                                            QStringLiteral("Toolbar972"), QStringLiteral("Toolbar973"),
                                            QStringLiteral("Toolbar974")}));
    for (const QString& tb : s->childGroups()) {
        if (tb == QLatin1String("RouteDock"))
            continue;   // the route dock's place, tested with the dock
        s->beginGroup(tb);
        QCOMPARE(s->childKeys().size(), 7);
        QCOMPARE(s->value(QStringLiteral("DockedTo")).typeId(), int(QMetaType::QString));
        QCOMPARE(s->value(QStringLiteral("Visible")).typeId(), int(QMetaType::Int));
        s->endGroup();
    }
    QCOMPARE(s->value(QStringLiteral("Toolbar971/DockedTo")).toString(), QStringLiteral("Dock971"));
    QCOMPARE(s->value(QStringLiteral("Toolbar974/DockedTo")).toString(), QStringLiteral("Dock973"));
    QCOMPARE(s->value(QStringLiteral("Toolbar973/Visible")).toInt(), 0);
    QCOMPARE(s->value(QStringLiteral("Toolbar971/Visible")).toInt(), 1);
}

// A hidden toolbar stays hidden after a restart and its View item is unchecked.
void TestRegSave::hiddenToolbarComesBackHidden()
{
    auto form = restart([](TMainForm& f) {
        f.actions().ViewEdit1->trigger();  // hide Toolbar972
        f.actions().ViewView1->trigger();  // show Toolbar973
    });
    QVERIFY(form->toolbar(1)->isHidden());
    QVERIFY(!form->actions().ViewEdit1->isChecked());
    QVERIFY(!form->toolbar(2)->isHidden());
    QVERIFY(form->actions().ViewView1->isChecked());
    QVERIFY(form->actions().ViewStandart1->isChecked());
}

// A toolbar closed while floating comes back floating at its place, with "DockedTo" empty.
void TestRegSave::floatingToolbarComesBackFloating()
{
    const QRect place(400, 300, 200, 30);
    auto form = restart([&place](TMainForm& f) {
        auto a = ToolbarArrangement::capture(f);
        QVERIFY(a);
        a->setFloating(QStringLiteral("Toolbar971"), place);
        QVERIFY(a->apply(f));
        QVERIFY(f.toolbar(0)->isFloating());
    });
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar971/DockedTo")).toString(), QString());
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar971/Left")).toInt(), 400);
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar971/Height")).toInt(), 300);
    QToolBar* tb = form->toolbar(0);
    QVERIFY(tb->isFloating());
    QCOMPARE(tb->pos(), place.topLeft());
    QVERIFY(tb->isVisible());
}

// The side toolbar, dragged out (Qt lays it flat) and stored with its place and width, comes
// back flat with every button in view, none behind the extension button, and its close button.
void TestRegSave::floatingSideToolbarComesBackWhole()
{
    start()->close();   // every value stored; the toolbar's are replaced by those it floated with
    const QString key = QStringLiteral("Software/Zelt/Toolbar974/");
    store(key + QStringLiteral("DockedTo"), QString());
    store(key + QStringLiteral("Left"), 500);
    store(key + QStringLiteral("Width"), 300);
    store(key + QStringLiteral("Height"), 320);
    store(key + QStringLiteral("Visible"), 1);
    auto form = start();
    QToolBar* tb = form->toolbar(3);
    QVERIFY(tb->isFloating());
    QCOMPARE(tb->orientation(), Qt::Horizontal);
    QCOMPARE(tb->pos(), QPoint(500, 320));
    for (QAction* action : tb->actions()) {
        if (!action->isVisible() || action->isSeparator())
            continue;
        QWidget* button = tb->widgetForAction(action);
        QVERIFY2(button && button->isVisible() && tb->rect().contains(button->geometry()), qPrintable(action->text()));
    }
    auto* close = tb->findChild<QAction*>(QStringLiteral("Toolbar974Close"));
    QVERIFY(close && close->isVisible());
    auto* extension = tb->findChild<QWidget*>(QStringLiteral("qt_toolbar_ext_button"));
    QVERIFY(!extension || !extension->isVisible());
}

// A floating toolbar restored before the (maximised) form is shown is mapped again once the form
// is on screen, so a window manager stacks it above the form instead of under it.
void TestRegSave::floatingToolbarIsMappedAfterTheForm()
{
    const QRect place(420, 310, 260, 30);
    {
        auto form = start();
        auto a = ToolbarArrangement::capture(*form);
        QVERIFY(a);
        a->setFloating(QStringLiteral("Toolbar971"), place);
        QVERIFY(a->apply(*form));
        form->showMaximized();
        idle();
        form->close();
    }
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Align")).toString(), QStringLiteral("wsMaximized"));

    // Records the order in which the form and the toolbar are shown.
    struct ShowOrder : QObject {
        QStringList shown;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && (o->objectName() == QLatin1String("Toolbar971")
                                              || qobject_cast<TMainForm*>(o)))
                shown.append(o->objectName() == QLatin1String("Toolbar971") ? QStringLiteral("toolbar")
                                                                           : QStringLiteral("form"));
            return false;
        }
    } order;
    qApp->installEventFilter(&order);
    auto form = start();
    idle();
    qApp->removeEventFilter(&order);

    QToolBar* tb = form->toolbar(0);
    QVERIFY(form->isMaximized());
    QVERIFY(tb->isFloating());
    QVERIFY(tb->isWindow());
    QVERIFY(tb->isVisible());
    QVERIFY(tb->windowHandle() && tb->windowHandle()->isVisible());
    QCOMPARE(tb->geometry().topLeft(), place.topLeft());
    QVERIFY(!tb->geometry().isEmpty());
    QVERIFY(form->actions().ViewStandart1->isChecked());
    QVERIFY(order.shown.contains(QStringLiteral("form")));
    QCOMPARE(order.shown.last(), QStringLiteral("toolbar"));
    QVERIFY(order.shown.indexOf(QStringLiteral("form")) < order.shown.lastIndexOf(QStringLiteral("toolbar")));

    // Still usable: a toolbar button works after the remapping.
    QAction* action = tb->actions().value(0);
    QVERIFY(action);
    QWidget* button = tb->widgetForAction(action);
    QVERIFY(button && button->isVisible());
}

// Dock, row and place in the row come back; a toolbar moved to the bottom dock stays there.
void TestRegSave::dockRowAndPositionComeBack()
{
    auto form = restart([](TMainForm& f) {
        auto a = ToolbarArrangement::capture(f);
        QVERIFY(a);
        a->dock(QStringLiteral("Toolbar972"), ToolbarArrangement::Bottom, 0, 0);
        a->dock(QStringLiteral("Toolbar971"), ToolbarArrangement::Top, 0, 0);
        a->dock(QStringLiteral("Toolbar974"), ToolbarArrangement::Top, 0, 260);
        QVERIFY(a->apply(f));
    });
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar972/DockedTo")).toString(), QStringLiteral("Dock974"));
    QCOMPARE(form->toolBarArea(form->toolbar(1)), Qt::BottomToolBarArea);
    QCOMPARE(form->toolBarArea(form->toolbar(3)), Qt::TopToolBarArea);
    QCOMPARE(form->toolbar(3)->orientation(), Qt::Horizontal);
    const auto where = ToolbarArrangement::capture(*form)->find(QStringLiteral("Toolbar974"));
    QVERIFY(where);
    QCOMPARE(where->row, 0);
    QCOMPARE(where->item.pos, stored(QStringLiteral("Software/Zelt/Toolbar974/DockPos")).toInt());
    QVERIFY(form->toolbar(3)->x() >= 260);
    QVERIFY(form->toolbar(3)->y() == form->toolbar(0)->y());
}

// Dock widgets (one docked, two tabbed in a nested group, one floating) do not stop the
// toolbar arrangement from being read and applied, and keep their places when it is applied.
void TestRegSave::toolbarsMoveBesideDockWidgets()
{
    auto form = start();
    auto addDock = [&](const char* name, Qt::DockWidgetArea area) {
        auto* d = new QDockWidget(QString::fromLatin1(name), form.get());
        d->setObjectName(QString::fromLatin1(name));
        d->setWidget(new QLabel(QString::fromLatin1(name)));
        form->addDockWidget(area, d);
        return d;
    };
    QDockWidget* right = addDock("DockA", Qt::RightDockWidgetArea);
    QDockWidget* tabbed = addDock("DockB", Qt::RightDockWidgetArea);
    form->splitDockWidget(right, tabbed, Qt::Vertical);
    QDockWidget* tab = addDock("DockC", Qt::RightDockWidgetArea);
    form->tabifyDockWidget(tabbed, tab);
    QDockWidget* floating = addDock("DockD", Qt::BottomDockWidgetArea);
    floating->setFloating(true);
    idle();

    auto a = ToolbarArrangement::capture(*form);
    QVERIFY(a);
    QVERIFY(a->find(QStringLiteral("Toolbar972")));
    a->dock(QStringLiteral("Toolbar972"), ToolbarArrangement::Bottom, 0, 0);
    QVERIFY(a->apply(*form));
    idle();
    QCOMPARE(form->toolBarArea(form->toolbar(1)), Qt::BottomToolBarArea);
    QCOMPARE(form->dockWidgetArea(right), Qt::RightDockWidgetArea);
    QCOMPARE(form->dockWidgetArea(tab), Qt::RightDockWidgetArea);
    QCOMPARE(form->tabifiedDockWidgets(tabbed), QList<QDockWidget*>{tab});
    QVERIFY(floating->isFloating());
    QVERIFY(!right->isHidden() && !floating->isHidden());
}

// A window closed maximised is stored "wsMaximized" and comes back maximised.
void TestRegSave::maximisedWindowComesBackMaximised()
{
    auto form = restart([](TMainForm& f) {
        f.move(100, 120);
        f.resize(640, 420);
        f.showMaximized();
        QTRY_VERIFY(f.isMaximized());
    });
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Align")).toString(), QStringLiteral("wsMaximized"));
    QTRY_VERIFY(form->isMaximized());
    form->showNormal();
    QTRY_VERIFY(!form->isMaximized());
    QTRY_COMPARE(form->size(), QSize(640, 420));
}

void TestRegSave::maximisedPlacementHoldsOverSessions_data()
{
    QTest::addColumn<bool>("unmaximisedInBetween");
    QTest::newRow("stays maximised") << false;
    QTest::newRow("restored and maximised again each session") << true;
}

// Ten sessions of a maximised window under a window manager whose frame puts the client 4
// pixels right of and 19 below the frame corner (a title bar); maximised, only the title bar
// stays (offset 0, 19). Qt's normal geometry of a window shown maximised at once still holds
// the restored frame corner; after a restore it is the client rectangle. The stored place
// must be the same after every session.
void TestRegSave::maximisedPlacementHoldsOverSessions()
{
    QFETCH(bool, unmaximisedInBetween);
    const QPoint normalFrame(4, 19), maximisedFrame(0, 19);
    const QRect screen(0, 0, 1280, 1024);
    QRect stored(160, 160, 640, 420);  // frame corner, client size
    for (int session = 0; session < 10; ++session) {
        PlacementFacts facts;
        facts.state = Qt::WindowMaximized;
        facts.frameGeometry = QRect(screen.topLeft(), screen.size() - QSize(0, maximisedFrame.y()));
        if (unmaximisedInBetween) {
            // Restored by the user: the window manager puts the frame where it was mapped.
            facts.normalGeometry = QRect(stored.topLeft() + normalFrame, stored.size());
            facts.normalFrameOffset = normalFrame;
        } else {
            facts.normalGeometry = stored;
            facts.normalFrameOffset = maximisedFrame;  // the only frame seen this session
            facts.restoredNormal = stored;
        }
        stored = placementToStore(facts);
        QCOMPARE(stored, QRect(160, 160, 640, 420));
    }
    // A normal window stores its frame corner and client size as they are.
    PlacementFacts normal;
    normal.state = Qt::WindowNoState;
    normal.frameGeometry = QRect(30, 40, 500, 300);
    normal.restoredNormal = QRect(1, 2, 3, 4);
    QCOMPARE(placementToStore(normal), QRect(30, 40, 500, 300));
}

// The window's values and each toolbar's values are one section each, every key once, as an
// exported registry branch has them; a file with a section split in two still reads whole.
void TestRegSave::eachKeyIsWrittenOnce()
{
    start()->close();
    QFile file(RegistryStore::registryFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QCOMPARE(text.count("[Software\\Zelt]\n"), 1);
    for (const char* key : {"\"Align\"", "\"Top\"", "\"Dir\""})
        QCOMPARE(text.count(key), 1);
    const qsizetype section = text.indexOf("[Software\\Zelt]\n");
    const qsizetype next = text.indexOf("\n[", section + 1);
    const QByteArray window = text.mid(section, next - section);
    for (const char* key : {"\"Align\"", "\"Dir\"", "\"Height\"", "\"Left\"", "\"Top\"", "\"Width\""})
        QVERIFY2(window.contains(key), key);

    const auto split = RegistryStore::parse("[Software\\Zelt]\n\"Left\"=dword:00000010\n"
                                            "[Software\\Zelt\\Toolbar971]\n\"Left\"=dword:00000001\n"
                                            "[Software\\Zelt]\n\"Top\"=dword:00000020\n");
    QCOMPARE(split.value(QStringLiteral("Software/Zelt/Left")).toInt(), 16);
    QCOMPARE(split.value(QStringLiteral("Software/Zelt/Top")).toInt(), 32);
    QCOMPARE(split.value(QStringLiteral("Software/Zelt/Toolbar971/Left")).toInt(), 1);
}

// Closing sets the window's, the toolbars' and the route dock's values and writes the store
// file once (not once per value); a single toolbar's save is one write too.
void TestRegSave::closingWritesTheStoreOnce()
{
    auto form = start();
    const quint64 before = RegistryStore::fileWrites();
    form->close();
    QCOMPARE(RegistryStore::fileWrites() - before, quint64(1));
    QVERIFY(stored(QStringLiteral("Software/Zelt/RouteDock/Area")).isValid());
    QVERIFY(stored(QStringLiteral("Software/Zelt/Toolbar974/Visible")).isValid());
    form->regSave().SaveToolbars();
    QCOMPARE(RegistryStore::fileWrites() - before, quint64(2));
}

// "Height" of a toolbar holds its top coordinate within its dock, not its height.
void TestRegSave::heightHoldsTheTopCoordinate()
{
    auto form = start();
    form->actions().ViewView1->trigger();  // Toolbar973 keeps the first row
    auto a = ToolbarArrangement::capture(*form);
    a->dock(QStringLiteral("Toolbar972"), ToolbarArrangement::Top, 1, 0);
    a->dock(QStringLiteral("Toolbar971"), ToolbarArrangement::Top, 5, 0);  // a third row
    QVERIFY(a->apply(*form));
    idle();
    QToolBar* tb = form->toolbar(0);
    const int top = tb->y() - (form->menuBar()->geometry().bottom() + 1);
    QVERIFY(top > tb->height());
    form->close();
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar971/Height")).toInt(), top);
    QCOMPARE(stored(QStringLiteral("Software/Zelt/Toolbar971/DockRow")).toInt(), 2);
}

void TestRegSave::corruptedStoreStartsWithMessage_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("window value of another kind")
        << QStringLiteral("Software/Zelt/Left") << QVariant(QStringLiteral("315"))
        << QStringLiteral("Invalid data type for 'Left'");
    QTest::newRow("missing window value")
        << QStringLiteral("Software/Zelt/Top") << QVariant() << QStringLiteral("Failed to get data for 'Top'");
    QTest::newRow("string read as integer somewhere else")
        << QStringLiteral("Software/Zelt/Align") << QVariant(7) << QStringLiteral("Invalid data type for 'Align'");
    QTest::newRow("missing toolbar value")
        << QStringLiteral("Software/Zelt/Toolbar973/Visible") << QVariant()
        << QStringLiteral("Failed to get data for 'Visible'");
}

// A store with a value of the wrong kind or a missing value starts the program normally
// after showing the message; the rest of the restore is skipped.
void TestRegSave::corruptedStoreStartsWithMessage()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    {
        auto form = start();
        form->actions().ViewEdit1->trigger();  // Toolbar972 hidden in the store
        form->close();
    }
    {
        auto s = RegistryStore::open();
        if (value.isValid())
            s->setValue(key, value);
        else
            s->remove(key);
        s->sync();
    }
    ModalAnswerer answers;
    auto form = start();
    QCOMPARE(answers.texts, QStringList{message});
    QVERIFY(form->isVisible());
    // Toolbars are restored last to first; a failure stops before Toolbar972 and before the
    // View check marks, which keep their designed state.
    QVERIFY(!form->toolbar(1)->isHidden());
    QVERIFY(form->actions().ViewEdit1->isChecked());
    ModalAnswerer closing;
    form->close();
    QVERIFY(!form->isVisible());
}

// A dock name that names no dock (the lookup is exact) is not an error.
void TestRegSave::unknownDockLeavesToolbarInPlace()
{
    {
        auto form = start();
        form->close();
    }
    store(QStringLiteral("Software/Zelt/Toolbar974/DockedTo"), QStringLiteral("dock971"));
    ModalAnswerer answers;
    auto form = start();
    QVERIFY(answers.texts.isEmpty());
    QCOMPARE(form->toolBarArea(form->toolbar(3)), Qt::RightToolBarArea);
}

// A value that cannot be written at shut-down shows the message and the window stays open.
void TestRegSave::unwritableStoreKeepsWindowOpen()
{
    auto form = start();
    // A store file inside a plain file can never be created, whoever runs the test.
    QFile blocker(m_settings.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistryStore::setRegistryFile(m_settings.filePath(QStringLiteral("blocker/registry.reg")));
    {
        ModalAnswerer answers;
        form->close();
        QCOMPARE(answers.texts, QStringList{QStringLiteral("Failed to set data for 'Align'")});
    }
    QVERIFY(form->isVisible());
    RegistryStore::setRegistryFile(m_settings.filePath(QStringLiteral("registry.reg")));
    form->close();
    QVERIFY(!form->isVisible());
}

void TestRegSave::emptyProgramNameUsesA1()
{
    TRegSave reg;
    reg.setProgName(QString());
    QCOMPARE(reg.ProgName(), QStringLiteral("A1"));
    QCOMPARE(reg.formKey(), QStringLiteral("Software/A1"));
    QMainWindow w;
    reg.setCurrForm(&w);
    reg.SaveForm();
    QCOMPARE(stored(QStringLiteral("Software/A1/Align")).toString(), QStringLiteral("wsNormal"));
    // Without a form nothing is written.
    QFile::remove(RegistryStore::registryFile());
    TRegSave none;
    none.SaveForm();
    QVERIFY(!QFile::exists(RegistryStore::registryFile()));
}

QTEST_MAIN(TestRegSave)
#include "test_reg_save.moc"
