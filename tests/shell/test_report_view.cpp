// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the report commands: preview bound to the active document, printing, PDF.
#include "shell/window/main_form.h"
#include "shell/window/mdi_child.h"
#include "shell/commands/report_view.h"
#include "shell_table_fixture.h"
#include "shell_test_support.h"
#include "test_support.h"

#include <QAction>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTest>
#include <QToolBar>

#include <memory>

using namespace zelt::shell;
using zelt::test::ShellRow;

namespace {

bool pageHasText(const zelt::printing::ReportPage& page, const std::string& text)
{
    for (const auto& t : page.texts)
        if (t.text == text)
            return true;
    return false;
}

}  // namespace

class TestReportView : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void previewBindsActiveDocument();
    void printToFile();
    void nothingWithoutDocument();

private:
    TMDIChild* open(const QString& name, const std::vector<ShellRow>& rows);
    ReportView* view() const { return m_shell.form->findChild<ReportView*>(); }

    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestReportView::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
}

void TestReportView::init()
{
    QVERIFY(m_shell.show({}, false));
    QVERIFY(view());
}

void TestReportView::cleanup()
{
    m_shell.close();
}

TMDIChild* TestReportView::open(const QString& name, const std::vector<ShellRow>& rows)
{
    const QString path = m_shell.dir->filePath(name);
    zelt::test::writeTraverse(path, rows);
    m_shell.form->OpenDocument(path);
    m_shell.form->updateEnabling();  // as the next idle moment would
    return m_shell.form->activeDocument();
}

// Previewing the second document shows its rows; the grid keeps its row; the preview is titled
// "Zelt Way" and offers "Save as PDF".
void TestReportView::previewBindsActiveDocument()
{
    open(QStringLiteral("first.db"), {{0, 420.0}, {11.5}});
    TMDIChild* second = open(QStringLiteral("second.db"), {{0, 433.0}, {22.5}, {33.5, 444.0}, {44.5}});
    second->Table1().setRecNo(3);
    QString title;
    bool hasSave = false;
    connect(view(), &ReportView::previewShown, this, [&](QPrintPreviewDialog* dlg) {
        title = dlg->windowTitle();
        for (QToolBar* bar : dlg->findChildren<QToolBar*>())
            for (QAction* act : bar->actions())
                hasSave = hasSave || act->text() == QStringLiteral("Save as PDF");
        dlg->reject();
    });
    m_shell.form->actions().PrintPreview1->trigger();
    QCOMPARE(title, QStringLiteral("Zelt Way"));
    QVERIFY(hasSave);
    QCOMPARE(second->Table1().recNo(), 3);
    const auto& pages = view()->pages();
    QCOMPARE(pages.size(), std::size_t(1));
    QVERIFY(pageHasText(pages[0], "433.0"));
    QVERIFY(pageHasText(pages[0], "33.5"));
    QVERIFY(pageHasText(pages[0], "44.5"));
    QVERIFY(!pageHasText(pages[0], "11.5"));
    QVERIFY(pageHasText(pages[0], "Page : 1"));
}

// Printing binds to the active document first and writes every page to the printer.
void TestReportView::printToFile()
{
    std::vector<ShellRow> rows{{0, 420.0}};
    for (int i = 1; i < 70; ++i)
        rows.emplace_back(10.0 + i);
    open(QStringLiteral("long.db"), rows);
    const QString pdf = m_shell.dir->filePath(QStringLiteral("printed.pdf"));
    view()->printer().setOutputFormat(QPrinter::PdfFormat);
    view()->printer().setOutputFileName(pdf);
    m_shell.form->actions().tbPrint->trigger();
    QCOMPARE(view()->pages().size(), std::size_t(2));
    QVERIFY(pageHasText(view()->pages()[1], "Page : 2"));
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.read(5) == "%PDF-");
}

void TestReportView::nothingWithoutDocument()
{
    view()->PreviewTable();
    view()->PrintTable();
    QVERIFY(view()->pages().empty());
}

QTEST_MAIN(TestReportView)
#include "test_report_view.moc"
