// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the interchange commands: text and spreadsheet export, paste from the
// clipboard, the "Grids" menu and the "Cols" drop-down, on real document windows.
#include "shell/commands/interchange_commands.h"
#include "shell/grid/layout_menus.h"
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/window/status_panel.h"
#include "shell/grid/table_model.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include "interchange/layout_stream.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QMenu>
#include <QScopeGuard>
#include <QTableView>
#include <QStandardPaths>
#include <QTest>

#include <memory>

using namespace zelt::shell;
using zelt::test::ModalAnswerer;
using zelt::test::ShellRow;

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

}  // namespace

class TestInterchangeCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void textExportRemembersTheChosenName();
    void spreadsheetExportWritesNewWorkbooksAndOpensThem();
    void pasteFillsTheSelectedColumnFromTheClipboard();
    void pasteErrorsAreShownAndTheRowRestored();
    void gridsMenuSavesAndLoadsLayouts();
    void fixedLayoutsComeFromBesideTheProgram();
    void colsMenuListsAndTogglesColumns();

private:
    TMDIChild* open(const std::vector<ShellRow>& rows);
    InterchangeCommands* commands() const { return m_shell.form->findChild<InterchangeCommands*>(); }
    LayoutMenus* menus() const { return m_shell.form->findChild<LayoutMenus*>(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
    QString m_copiedLayout;  ///< abs.ing put beside this test program, removed at the end
};

void TestInterchangeCommands::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
    const QString target = QCoreApplication::applicationDirPath() + QStringLiteral("/abs.ing");
    if (!QFile::exists(target)
        && QFile::copy(QStringLiteral(ZELT_BINARY_DIR) + QStringLiteral("/data/abs.ing"), target))
        m_copiedLayout = target;
}

void TestInterchangeCommands::cleanupTestCase()
{
    if (!m_copiedLayout.isEmpty())
        QFile::remove(m_copiedLayout);
}

void TestInterchangeCommands::init()
{
    QVERIFY(m_shell.show());
    QVERIFY(commands());
    QVERIFY(menus());
}

void TestInterchangeCommands::cleanup()
{
    m_shell.close();
}

TMDIChild* TestInterchangeCommands::open(const std::vector<ShellRow>& rows)
{
    const QString path = m_shell.dir->filePath(QStringLiteral("way.db"));
    zelt::test::writeTraverse(path, rows);
    m_shell.form->OpenDocument(path);
    m_shell.form->updateEnabling();
    return m_shell.form->activeDocument();
}

// Both text commands share one save dialog that starts with the name chosen last; cancelling
// writes nothing.
void TestInterchangeCommands::textExportRemembersTheChosenName()
{
    TMDIChild* child = open({{0, 420.0}, {10, 425.5}});
    QVERIFY(child);
    QStringList offered;
    QString answer = m_shell.dir->filePath(QStringLiteral("a.txt"));
    commands()->setSavePrompt([&](QWidget*, const QString& initial) {
        offered << initial;
        return answer;
    });
    m_shell.form->actions().ToTXTFileVisible1->trigger();
    QCOMPARE(fileBytes(answer), QByteArray("0;0;420.0;;;;;;;\r\n0;10;425.5;;;;;;;\r\n"));
    QCOMPARE(child->Table1().recNo(), 2);  // the export leaves the cursor on the last row

    const QString first = answer;
    answer = m_shell.dir->filePath(QStringLiteral("b.txt"));
    m_shell.form->actions().ToTXTFile1->trigger();
    QCOMPARE(fileBytes(answer).count(';'), 28);
    answer.clear();
    m_shell.form->actions().ToTXTFile1->trigger();
    QCOMPARE(offered, (QStringList{QStringLiteral("untitled.txt"), first, m_shell.dir->filePath(QStringLiteral("b.txt"))}));
    QCOMPARE(commands()->lastTextName(), m_shell.dir->filePath(QStringLiteral("b.txt")));
}

void TestInterchangeCommands::spreadsheetExportWritesNewWorkbooksAndOpensThem()
{
    TMDIChild* child = open({{0, 420.0}, {10}, {20}});
    child->Table1().setRecNo(2);
    const QString folder = m_shell.dir->filePath(QStringLiteral("books"));
    commands()->setWorkbookFolder(folder);
    QList<QUrl> opened;
    bool canOpen = true;
    commands()->setUrlOpener([&](const QUrl& url) {
        opened << url;
        return canOpen;
    });
    {
        // Said where it went; opened when the user says so.
        ModalAnswerer yes(QMessageBox::Yes);
        m_shell.form->actions().tbExcel->trigger();
        QCOMPARE(yes.texts.size(), 1);
        QVERIFY2(yes.texts[0].contains(QDir::toNativeSeparators(folder + QStringLiteral("/Book1.xlsx"))),
                 qPrintable(yes.texts[0]));
    }
    const QString book1 = folder + QStringLiteral("/Book1.xlsx");
    QVERIFY(QFile::exists(book1));
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(book1)});
    QVERIFY2(m_shell.form->statusPanel(0)->text().contains(QStringLiteral("Book1.xlsx")), qPrintable(m_shell.form->statusPanel(0)->text()));
    QCOMPARE(child->Table1().recNo(), 2);

    // No: written, not opened.
    {
        ModalAnswerer no(QMessageBox::No);
        m_shell.form->actions().ToMic1->trigger();
        QCOMPARE(no.texts.size(), 1);
    }
    QVERIFY(QFile::exists(folder + QStringLiteral("/Book2.xlsx")));
    QCOMPARE(opened.size(), 1);

    // No spreadsheet program: the workbook is still written and the message names it.
    canOpen = false;
    ModalAnswerer answer(QMessageBox::Yes);
    m_shell.form->actions().ToMic1->trigger();
    QTRY_COMPARE(answer.texts.size(), 2);
    QVERIFY2(answer.texts[1].contains(QStringLiteral("Book3.xlsx")), qPrintable(answer.texts[1]));
    QVERIFY(QFile::exists(folder + QStringLiteral("/Book3.xlsx")));
    QCOMPARE(child->Table1().recNo(), 2);

    // Without a chosen folder the workbooks go to the documents folder, not a hidden one.
    commands()->setWorkbookFolder(QString());
    QVERIFY(commands()->workbookFolder().startsWith(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)));
}

void TestInterchangeCommands::pasteFillsTheSelectedColumnFromTheClipboard()
{
    TMDIChild* child = open({{0, 420.0}, {5}});
    child->Table1().setRecNo(2);
    child->selectField(QStringLiteral("Pairs"));
    QGuiApplication::clipboard()->setText(QStringLiteral("32\r\n64\r\n"));
    m_shell.form->actions().tbPasteInTable->trigger();
    const auto& t = child->Table1();
    QCOMPARE(t.rowCount(), 3);
    QCOMPARE(t.displayTextAt(1, t.fieldIndex("Pairs")), std::string("32"));
    QCOMPARE(t.displayTextAt(2, t.fieldIndex("metru")), std::string("100.00"));  // the pairs rule ran
    QCOMPARE(t.recNo(), 2);
    QCOMPARE(child->model()->rowCount(), 3);
}

void TestInterchangeCommands::pasteErrorsAreShownAndTheRowRestored()
{
    TMDIChild* child = open({{0, 420.0}, {5}});
    child->Table1().setRecNo(1);
    child->selectField(QStringLiteral("Azimuth"));
    QGuiApplication::clipboard()->setText(QStringLiteral("10\r\nten\r\n"));
    ModalAnswerer answer;
    m_shell.form->actions().PasteFromExcel1->trigger();
    QTRY_COMPARE(answer.texts, QStringList{QStringLiteral("Invalid variant type conversion")});
    const auto& t = child->Table1();
    QCOMPARE(t.displayTextAt(0, t.fieldIndex("Azimuth")), std::string("10"));
    QCOMPARE(t.displayTextAt(1, t.fieldIndex("Azimuth")), std::string("0"));
    QCOMPARE(t.recNo(), 1);
    QVERIFY(!t.controlsDisabled());
}

void TestInterchangeCommands::gridsMenuSavesAndLoadsLayouts()
{
    TMDIChild* child = open({{0, 420.0}});
    const QString custom = m_shell.dir->filePath(QStringLiteral("mine.ing"));
    QString answer = custom;
    QList<bool> asked;
    menus()->setFilePrompt([&](QWidget*, bool forSave) {
        asked << forSave;
        return answer;
    });
    auto& columns = child->document().columns.columns;
    columns[3].visible = true;                          // Procent shown
    columns.erase(columns.begin() + 10);                // no Reserv column
    const auto saved = child->document().columns;
    m_shell.form->actions().GridSaveCustom1->trigger();
    QVERIFY(QFile::exists(custom));

    m_shell.form->actions().GridAll1->trigger();
    QCOMPARE(child->document().columns.columns.size(), std::size_t(13));  // "All" brings back no field
    for (const auto& c : child->document().columns.columns)
        QVERIFY(c.isVisible());
    QVERIFY(!child->DBGrid1()->isColumnHidden(7));

    m_shell.form->actions().GridCustom1->trigger();
    QCOMPARE(asked, (QList<bool>{true, false}));
    QCOMPARE(child->document().columns.columns.size(), saved.columns.size());
    QVERIFY(!child->document().columns.columns[3].isVisible() == !saved.columns[3].isVisible());
    QVERIFY(child->DBGrid1()->isColumnHidden(7));  // metru hidden again

    // A damaged file is refused as a whole: the message is shown, the columns stay.
    zelt::test::writeBytes(custom.toStdString(), {'T', 'P', 'F', '0', 0x0F});
    const auto before = child->document().columns;
    ModalAnswerer box;
    m_shell.form->actions().GridCustom1->trigger();
    QTRY_COMPARE(box.texts.size(), 1);
    QVERIFY2(box.texts[0].contains(QStringLiteral("is damaged (Stream read error")), qPrintable(box.texts[0]));
    QVERIFY(child->document().columns == before);
}

// "Altimeter" loads abs.ing found beside the program; a fixed layout that is missing does nothing.
void TestInterchangeCommands::fixedLayoutsComeFromBesideTheProgram()
{
    const QString installed = LayoutMenus::fixedLayoutPath(QStringLiteral("abs.ing"));
    if (installed.isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("abs.ing is not beside the test program");
        QSKIP("abs.ing could not be placed beside the test program");
    }
    TMDIChild* child = open({{0, 420.0}});
    m_shell.form->actions().GridAltimeter1->trigger();
    QCOMPARE(child->document().columns.columns.front().fieldName, std::string("Altimeter"));
    QCOMPARE(child->model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Altimeter"));

    // A folder holding only abs.ing: "%" finds no procent.ing and changes nothing, silently.
    QTemporaryDir onlyAbs;
    QVERIFY(QFile::copy(installed, onlyAbs.filePath(QStringLiteral("abs.ing"))));
    LayoutMenus::setFixedLayoutFolders({onlyAbs.path()});
    const auto cleanup = qScopeGuard([] { LayoutMenus::setFixedLayoutFolders({}); });
    QVERIFY(LayoutMenus::fixedLayoutPath(QStringLiteral("procent.ing")).isEmpty());
    const auto before = child->document().columns;
    ModalAnswerer box;
    m_shell.form->actions().GridPercent1->trigger();
    zelt::test::idle();
    QVERIFY(box.texts.isEmpty());
    QVERIFY(child->document().columns == before);
}

void TestInterchangeCommands::colsMenuListsAndTogglesColumns()
{
    TMDIChild* child = open({{0, 420.0}});
    QMenu* menu = m_shell.form->actions().KolonkuMenu;
    menus()->rebuildColumnMenu();
    QString captions;
    QString checks;
    for (QAction* item : menu->actions()) {
        captions += item->text() + QLatin1Char(',');
        checks += item->isChecked() ? QLatin1Char('x') : QLatin1Char('-');
    }
    QCOMPARE(captions, QStringLiteral("Azimuth,Pairs,Altimeter,%,Tumbling,Mark,sumPairs,Length (m),F,G,Reserved,"
                                      "FillHeight,Recalc,Id,"));
    QCOMPARE(checks, QStringLiteral("xxx-xxx----xxx"));

    menu->actions().at(3)->trigger();  // show "%"
    QVERIFY(child->document().columns.columns[3].isVisible());
    QVERIFY(!child->DBGrid1()->isColumnHidden(3));
    menu->actions().at(0)->trigger();  // hide Azimuth
    QVERIFY(!child->document().columns.columns[0].isVisible());
    QVERIFY(child->DBGrid1()->isColumnHidden(0));
}

QTEST_MAIN(TestInterchangeCommands)
#include "test_interchange_commands.moc"
