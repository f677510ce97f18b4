// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests of the manual inside the program: Help > Manual and F1 open it, F1 in a dialog
// opens the page that explains that dialog, and the user's language picks the manual's folder.
#include "shell/window/main_form.h"
#include "shell/window/manual_window.h"
#include "shell_test_support.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTextBrowser>

using namespace zelt::shell;

class TestManual : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void helpManualShowsTheContents();
    void f1InADialogShowsItsPage();
    void languageFolderFollowsTheUser();
    void missingManualSaysWhereItLooked();

private:
    ManualWindow* shownManual() const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<ManualWindow*>(w); m && m->isVisible())
                return m;
        for (QWidget* w : QApplication::allWidgets())
            if (auto* m = qobject_cast<ManualWindow*>(w); m && m->isVisible())
                return m;
        return nullptr;
    }
    QTemporaryDir m_settings;
    zelt::test::ShownMainForm m_shell;
};

void TestManual::initTestCase()
{
    zelt::test::useTestSettings(m_settings.filePath(QStringLiteral("registry.reg")));
    qputenv("ZELT_MANUAL_DIR", ZELT_TEST_MANUAL_SOURCE);
    QVERIFY(m_shell.show());
}

void TestManual::cleanupTestCase() { m_shell.close(); }

void TestManual::helpManualShowsTheContents()
{
    QAction* manual = m_shell.form->actions().HelpManual1;
    QVERIFY(manual);
    QCOMPARE(manual->shortcut(), QKeySequence(Qt::Key_F1));
    QTest::keyClick(m_shell.form.get(), Qt::Key_F1);
    ManualWindow* window = shownManual();
    QVERIFY(window);
    QCOMPARE(window->browser()->source().fileName(), QStringLiteral("index.html"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Zelt manual"));
    // The contents link to every chapter; following one shows it.
    QVERIFY(window->browser()->toPlainText().contains(QStringLiteral("A first traverse")));
    window->close();
}

void TestManual::f1InADialogShowsItsPage()
{
    QDialog dialog(m_shell.form.get());
    dialog.setObjectName(QStringLiteral("ExportDlg"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
    ManualWindow* window = shownManual();
    QVERIFY(window);
    QCOMPARE(window->browser()->source().fileName(), QStringLiteral("export.html"));
    window->close();
    dialog.close();
}

void TestManual::languageFolderFollowsTheUser()
{
    // A language the manual is not written in falls back to English; a written one is taken,
    // whether the locale names it with or without its country.
    QDir source(QStringLiteral(ZELT_TEST_MANUAL_SOURCE));
    QTemporaryDir copy;
    QVERIFY(QDir().mkpath(copy.filePath(QStringLiteral("en"))));
    QVERIFY(QDir().mkpath(copy.filePath(QStringLiteral("de"))));
    for (const char* lang : {"en", "de"}) {
        QFile page(copy.filePath(QStringLiteral("%1/index.html").arg(QLatin1String(lang))));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("<html><head><title>x</title></head></html>");
    }
    qputenv("ZELT_MANUAL_DIR", copy.path().toLocal8Bit());
    QCOMPARE(QDir(manualLanguageFolder({QStringLiteral("de-AT")})).dirName(), QStringLiteral("de"));
    QCOMPARE(QDir(manualLanguageFolder({QStringLiteral("fr_FR"), QStringLiteral("de")})).dirName(), QStringLiteral("de"));
    QCOMPARE(QDir(manualLanguageFolder({QStringLiteral("ja")})).dirName(), QStringLiteral("en"));
    qputenv("ZELT_MANUAL_DIR", ZELT_TEST_MANUAL_SOURCE);
    QVERIFY(source.exists());
}

void TestManual::missingManualSaysWhereItLooked()
{
    QTemporaryDir empty;
    qputenv("ZELT_MANUAL_DIR", empty.path().toLocal8Bit());
    if (!manualLanguageFolder({}).isEmpty()) {
        qputenv("ZELT_MANUAL_DIR", ZELT_TEST_MANUAL_SOURCE);
        QSKIP("a manual is installed on this machine; the message for a missing one cannot be shown");
    }
    ManualWindow window;
    window.showPage(QStringLiteral("index.html"));
    QVERIFY(window.browser()->toPlainText().contains(QStringLiteral("not installed")));
    QVERIFY(window.browser()->toPlainText().contains(empty.path()));
    qputenv("ZELT_MANUAL_DIR", ZELT_TEST_MANUAL_SOURCE);
}

QTEST_MAIN(TestManual)
#include "test_manual.moc"
