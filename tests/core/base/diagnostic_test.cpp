// SPDX-License-Identifier: GPL-3.0-or-later
// The one-line text of a note or warning, as the status bar, the list's Copy and zelt-cli show it.
#include "base/diagnostic.h"

#include "test_support.h"

#include <QTest>

using namespace zelt::document;

class DiagnosticTest : public QObject {
    Q_OBJECT
private slots:
    // The place comes first when there is one: a row, a field, or both; the text is never altered.
    void lineNamesThePlace_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("line");
        const QString text = QStringLiteral("rows 12 to 14 after the last reading take the last reading");
        QTest::newRow("row and field") << 12 << QStringLiteral("FillHeight") << QStringLiteral("Row 12, FillHeight: ") + text;
        QTest::newRow("row only") << 3 << QString() << QStringLiteral("Row 3: ") + text;
        QTest::newRow("field only") << 0 << QStringLiteral("Recalc") << QStringLiteral("Recalc: ") + text;
        QTest::newRow("no place") << 0 << QString() << text;
        QTest::newRow("negative row is no row") << -4 << QString() << text;
    }
    void lineNamesThePlace()
    {
        QFETCH(int, row);
        QFETCH(QString, field);
        QFETCH(QString, line);
        const Diagnostic d{row, field.toStdString(), "rows 12 to 14 after the last reading take the last reading"};
        QCOMPARE(diagnosticLine(d), line.toStdString());
    }

    // The severity goes in front of the line only where it is asked for (command line, Copy).
    void messageCarriesTheSeverity()
    {
        const Diagnostic warning = Diagnostic::warning("The map defines no symbol 517.1.");
        QCOMPARE(warning.severity, Severity::Warning);
        QCOMPARE(diagnosticLine(warning), std::string("The map defines no symbol 517.1."));
        QCOMPARE(diagnosticMessage(warning), std::string("warning: The map defines no symbol 517.1."));

        const Diagnostic note = Diagnostic::note("row 1 before the first reading", 1, "FillHeight");
        QCOMPARE(note.severity, Severity::Note);
        QCOMPARE(diagnosticMessage(note), std::string("note: Row 1, FillHeight: row 1 before the first reading"));
        // A text that itself holds a colon or a line break is passed on as it is.
        QCOMPARE(diagnosticLine(Diagnostic::note("a: b\nc")), std::string("a: b\nc"));
    }
};

QTEST_APPLESS_MAIN(DiagnosticTest)
#include "diagnostic_test.moc"
