// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs on one table: a reader opening the table while another program writes it never
// calls the table damaged; it reads it whole or says the table is in use.
#include "test_paradox_support.h"

#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace zelt::test::px;
namespace fs = std::filesystem;

class ParadoxConcurrentTest : public QObject {
    Q_OBJECT
private slots:
    // The writer inserts rows (splitting blocks, moving the header's counters) and rewrites
    // others as fast as it can; every read-only open meanwhile gets a whole table.
    void readsWhileAnotherProgramWrites()
    {
        QTemporaryDir dir;
        const fs::path p = fs::path(dir.path().toStdString()) / "way.db";
        {
            auto t = ParadoxTable::create(p, traverseFields());
            for (int i = 0; i < 40; ++i)
                t->appendRow(traverseRow(i));
        }
        const pid_t writer = ::fork();
        if (writer == 0) {
            auto t = ParadoxTable::open(p);
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
            for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
                t->insertRow(static_cast<std::size_t>(i * 7) % (t->rowCount() + 1), traverseRow(1000 + i));
                t->updateRow(static_cast<std::size_t>(i * 3) % t->rowCount(), traverseRow(5000 + i));
                if (t->rowCount() > 400)
                    t->deleteRow(0);
            }
            ::_exit(0);
        }
        QVERIFY(writer > 0);
        ::usleep(100'000);  // the writer holds the lock from here on
        int opens = 0, whole = 0;
        QString problem;
        for (int status = 0; ::waitpid(writer, &status, WNOHANG) == 0;) {
            ++opens;
            try {
                ParadoxOpenOptions readOnly;
                readOnly.readOnly = true;
                const auto t = ParadoxTable::open(p, readOnly);
                if (t->isDamaged())
                    problem = QString::fromStdString(t->readOnlyReason());
                else if (t->readAll().size() == t->rowCount())
                    ++whole;
            } catch (const std::exception& e) {
                if (std::string(e.what()).find("in use by another program") == std::string::npos)
                    problem = QString::fromUtf8(e.what());
            }
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        qInfo("%d read-only opens while the other program wrote, %d read whole", opens, whole);
        QVERIFY(opens > 0);
        QVERIFY(whole > 0);
    }
};

QTEST_APPLESS_MAIN(ParadoxConcurrentTest)
#include "test_paradox_concurrent.moc"
