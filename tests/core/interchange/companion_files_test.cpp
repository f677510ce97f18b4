// SPDX-License-Identifier: GPL-3.0-or-later
// The files beside a table and the program's outputs: damaged companions are refused naming the
// file and are never written over; a write that fails leaves the file that was there.
#include "document/document_files.h"
#include "document/known_points.h"
#include "export/ocad_writer.h"
#include "interchange/layout_stream.h"
#include "interchange/text_export.h"
#include "interchange/xlsx_writer.h"

#include "interchange_fixture.h"
#include "non_regular_files.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <random>
#include <sys/resource.h>

using namespace zelt::document;
namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

namespace {

enum class Companion { Inf, Ing, Kpt };
enum class Fault { Truncated, BitFlips, OutOfRange };

/// A good file of each companion, as the program writes it.
Bytes goodFile(Companion c)
{
    std::string text;
    if (c == Companion::Inf)
        text = formatInfValue(64) + "\r\n" + formatInfValue(420) + "\r\n";
    if (c == Companion::Kpt) {
        KnownPoints kp;
        kp.set(3, 152.25, -40.5);
        kp.set(12, 310, 88.125);
        text = formatKnownPoints(kp);
    }
    if (c == Companion::Ing) {
        const auto bytes = zelt::interchange::writeLayout(ColumnSet::builtIn());
        return Bytes(bytes.begin(), bytes.end());
    }
    return Bytes(text.begin(), text.end());
}

/// The contents tried for one fault class: every cut, random bit flips, numbers out of range.
std::vector<Bytes> faultyFiles(Companion c, Fault fault)
{
    const Bytes good = goodFile(c);
    std::vector<Bytes> out;
    if (fault == Fault::Truncated)
        for (std::size_t n = 0; n < good.size(); ++n)
            out.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    if (fault == Fault::BitFlips) {
        std::mt19937 rng(21);
        for (int i = 0; i < 400; ++i) {
            Bytes b = good;
            for (int k = 0; k < 1 + i % 3; ++k)
                b[rng() % b.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
            out.push_back(std::move(b));
        }
    }
    if (fault == Fault::OutOfRange) {
        const std::vector<std::string> texts = c == Companion::Inf
            ? std::vector<std::string>{"1e308\r\n420\r\n", "-64\r\n420\r\n", "64\r\n-1\r\n", "nan\r\nnan\r\n",
                                       "64\r\n3000.5\r\n", "0.5\r\n420\r\n", "64\r\n1e999\r\n"}
            : std::vector<std::string>{"ZELT KNOWN POINTS 1\npoint 3 1e8 0\n", "ZELT KNOWN POINTS 1\npoint 0 1 1\n",
                                       "ZELT KNOWN POINTS 1\npoint 3 nan 1\n", "ZELT KNOWN POINTS 1\nscale 0\n",
                                       "ZELT KNOWN POINTS 1\npoint 99999999999 1 1\n"};
        for (const std::string& t : texts)
            out.emplace_back(t.begin(), t.end());
    }
    return out;
}

}  // namespace

Q_DECLARE_METATYPE(Companion)
Q_DECLARE_METATYPE(Fault)

class CompanionFilesTest : public QObject {
    Q_OBJECT
private slots:
    void damagedCompanionsAreRefused_data();
    void damagedCompanionsAreRefused();
    void failedWriteLeavesTheOldFile_data();
    void failedWriteLeavesTheOldFile();
};

void CompanionFilesTest::damagedCompanionsAreRefused_data()
{
    QTest::addColumn<Companion>("companion");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<bool>("alwaysRefused");  // a content of this class reads only as the good values
    QTest::newRow(".inf cut") << Companion::Inf << Fault::Truncated << true;
    QTest::newRow(".inf bit flips") << Companion::Inf << Fault::BitFlips << false;
    QTest::newRow(".inf out of range") << Companion::Inf << Fault::OutOfRange << true;
    QTest::newRow(".ing cut") << Companion::Ing << Fault::Truncated << true;
    QTest::newRow(".ing bit flips") << Companion::Ing << Fault::BitFlips << false;
    QTest::newRow(".kpt cut") << Companion::Kpt << Fault::Truncated << false;  // a cut at a line end is a shorter file
    QTest::newRow(".kpt bit flips") << Companion::Kpt << Fault::BitFlips << false;
    QTest::newRow(".kpt out of range") << Companion::Kpt << Fault::OutOfRange << true;
}

// Each faulty file either reads cleanly or is refused with a message naming its full path; it
// is never changed, and nothing hangs or crashes.
void CompanionFilesTest::damagedCompanionsAreRefused()
{
    QFETCH(Companion, companion);
    QFETCH(Fault, fault);
    QFETCH(bool, alwaysRefused);
    QTemporaryDir dir;
    const fs::path table = fs::path(dir.path().toStdString()) / "way.db";
    const fs::path file = companionPath(table, companion == Companion::Inf ? ".inf" : companion == Companion::Ing ? ".ing" : ".kpt");
    const zelt::test::HangGuard guard(60);
    int refused = 0;
    const std::vector<Bytes> contents = faultyFiles(companion, fault);
    for (const Bytes& content : contents) {
        zelt::test::writeBytes(file, content);
        std::string error;
        double pairs = 64, height = 420;
        try {
            if (companion == Companion::Inf)
                readInf(file, pairs, height);
            else if (companion == Companion::Ing)
                zelt::interchange::loadLayoutCompanion(file);
            else
                readKnownPoints(table);
        } catch (const std::exception& e) {
            error = e.what();
        }
        const std::string shown(content.begin(), content.begin() + std::min<std::ptrdiff_t>(40, std::ssize(content)));
        if (!error.empty()) {
            ++refused;
            QVERIFY2(error.find("'" + file.string() + "'") != std::string::npos, error.c_str());
        } else {
            QVERIFY2(!alwaysRefused || (companion == Companion::Inf && pairs == 64 && height == 420),
                     qPrintable(QString::fromLatin1(shown.c_str())));
            QVERIFY(pairs >= 1 && pairs <= 1000 && height >= 0 && height <= 3000);
        }
        QVERIFY(zelt::test::readBytes(file) == content);
    }
    if (fault != Fault::OutOfRange)
        QVERIFY2(refused > 0, "no faulty file was refused");
}

void CompanionFilesTest::failedWriteLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("name");
    for (const char* name : {"way.inf", "way.ing", "way.kpt", "out.txt", "out.xlsx", "new.ocd"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

// A write that fails part-way (the file size limit stands in for a full disk) is refused naming
// the file and the system's reason, and leaves the old file whole and no temporary file behind.
void CompanionFilesTest::failedWriteLeavesTheOldFile()
{
    QFETCH(QString, name);
    zelt::test::InterchangeFixture f;
    f.addRows({{{"Azimuth", "45"}, {"Pairs", "12"}, {"Mark", "a mark long enough to pass the limit"}}});
    const fs::path folder = f.path.parent_path();
    const fs::path target = folder / name.toStdString();
    const bool isNewMap = name.endsWith(QLatin1String(".ocd"));
    const Bytes old(4096, 'o');
    if (!isNewMap)
        zelt::test::writeBytes(target, old);
    KnownPoints points;
    for (int row = 1; row < 400; ++row)
        points.set(row, row * 1.5, -row * 2.25);

    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before {};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 32;
    std::string error;
    ::setrlimit(RLIMIT_FSIZE, &small);
    try {
        if (name == QLatin1String("way.inf"))
            writeInf(target, 64, 420);
        else if (name == QLatin1String("way.ing"))
            zelt::interchange::saveGridLayout(ColumnSet::builtIn(), target);
        else if (name == QLatin1String("way.kpt"))
            writeKnownPoints(f.path, points);
        else if (name == QLatin1String("out.txt"))
            zelt::interchange::exportTextFile(f.doc->table, f.doc->columns, zelt::interchange::TextColumns::AllFields, target);
        else if (name == QLatin1String("new.ocd"))
            zelt::mapexport::PrepareTarget(target);
        else {
            auto book = zelt::interchange::XlsxWriter::toFile(target);
            book.addWorkbook();
            book.setValue("a value");
            book.save();
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    QVERIFY2(error.find("'" + target.string() + "'") != std::string::npos, error.c_str());
    QVERIFY2(error.find("File too large") != std::string::npos, error.c_str());
    if (isNewMap)
        QVERIFY(!fs::exists(target));
    else
        QVERIFY(zelt::test::readBytes(target) == old);
    for (const auto& entry : fs::directory_iterator(folder))
        QVERIFY2(entry.path().filename().string().find(".zelt-") == std::string::npos, entry.path().c_str());
}

QTEST_APPLESS_MAIN(CompanionFilesTest)
#include "companion_files_test.moc"
