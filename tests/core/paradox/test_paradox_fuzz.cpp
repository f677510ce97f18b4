// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded fuzzing: damaged tables give an error or a read-only open, never a crash or a hang,
// and a damaged table that still opens writable stays consistent under our writes.
#include "test_paradox_support.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <random>

using namespace zelt::document;
using namespace zelt::test::px;
namespace fs = std::filesystem;

namespace {

/// Row equality that treats two NaNs (possible in damaged Number fields) as equal.
bool sameRows(const std::vector<Row>& a, const std::vector<Row>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].size() != b[i].size())
            return false;
        for (std::size_t j = 0; j < a[i].size(); ++j) {
            const auto* x = std::get_if<double>(&a[i][j]);
            const auto* y = std::get_if<double>(&b[i][j]);
            if (x && y && std::isnan(*x) && std::isnan(*y))
                continue;
            if (a[i][j] != b[i][j])
                return false;
        }
    }
    return true;
}

std::vector<unsigned char> mutate(std::vector<unsigned char> b, std::mt19937& rng)
{
    if (b.empty())
        return b;
    const std::size_t header = std::min<std::size_t>(b.size(), b.size() > 3 ? (b[2] | (b[3] << 8)) : b.size());
    switch (rng() % 4) {
    case 0:  // truncation
        b.resize(rng() % b.size());
        break;
    case 1:  // flips in the header
        for (int i = 0, n = 1 + int(rng() % 4); i < n && header > 0; ++i)
            b[rng() % header] ^= std::uint8_t(1u << (rng() % 8));
        break;
    case 2: {  // a counter, link or row count set to an edge value
        static const std::size_t fields[] = {0x02, 0x06, 0x0A, 0x0C, 0x0E, 0x10, 0x21, 0x4D, 0x51};
        static const std::uint16_t edges[] = {0, 1, 2, 3, 0x7FFF, 0x8000, 0xFFFF};
        std::size_t at = fields[rng() % std::size(fields)];
        if (rng() % 2 && b.size() > header + 6)
            at = header + (rng() % ((b.size() - header) / 1024 + 1)) * 1024 + 2 * (rng() % 3);
        if (at + 1 < b.size()) {
            const std::uint16_t v = edges[rng() % std::size(edges)];
            b[at] = std::uint8_t(v);
            b[at + 1] = std::uint8_t(v >> 8);
        }
        break;
    }
    default:  // flips anywhere
        for (int i = 0, n = 1 + int(rng() % 8); i < n; ++i)
            b[rng() % b.size()] ^= std::uint8_t(rng());
    }
    return b;
}

}  // namespace

class TestParadoxFuzz : public QObject {
    Q_OBJECT

private:
    // Memory-backed when possible: these tests are about parsing, not about the disk's flushes.
    QTemporaryDir m_tmp{QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/zelt-fuzz-XXXXXX") : QString()};
    fs::path tmp() const { return fs::path(m_tmp.path().toStdString()); }

    std::vector<fs::path> inputs()
    {
        std::vector<fs::path> files;
        const fs::path own = tmp() / "own.db";
        {
            auto t = ParadoxTable::create(own, traverseFields(), 1251);
            for (int i = 0; i < 60; ++i)
                t->insertRow(std::size_t(i * 7) % (t->rowCount() + 1), traverseRow(i));
            for (int i = 0; i < 15; ++i)
                t->deleteRow(std::size_t(i * 3) % t->rowCount());
        }
        files.push_back(own);
        const fs::path tiny = tmp() / "tiny.db";
        ParadoxTable::create(tiny, {{"n", FieldType::Number, 8}, {"a", FieldType::Alpha, 3}})->appendRow({1.0, std::string("x")});
        files.push_back(tiny);
        const fs::path samples = zelt::test::sharedDir("paradox-samples");
        if (!samples.empty())
            for (const char* f : {"PCL.DB", "CONTACTS.DB", "FILMS.DB", "DECIMAL.DB", "tblsttes.DB", "joina.db",
                                  "TypSammlung.DB", "country.db"})
                files.push_back(samples / f);
        return files;
    }

    /// Opens a damaged file; when it opens writable, posts a few rows and checks they read back.
    /// Counts the files that opened writable in `written`.
    void exercise(const fs::path& p, const QByteArray& where, int& written)
    {
        try {
            auto ro = ParadoxTable::open(p, {.readOnly = true});
            QVERIFY2(ro->readAll().size() == ro->rowCount(), where);
        } catch (const ParadoxError&) {
            return;  // refused with a message: fine
        }
        std::unique_ptr<ParadoxTable> t;
        try {
            t = ParadoxTable::open(p);
        } catch (const ParadoxError&) {
            QFAIL(where + ": opened read-only but not for writing");
        }
        if (t->isReadOnly()) {
            QVERIFY2(!t->readOnlyReason().empty(), where);
            return;
        }
        std::vector<Row> model = t->readAll();
        const Row empty(t->fields().size());
        try {
            t->appendRow(empty);
            model.push_back(empty);
            t->insertRow(0, empty);
            model.insert(model.begin(), empty);
            t->deleteRow(model.size() / 2);
            model.erase(model.begin() + std::ptrdiff_t(model.size() / 2));
            if (model.size() > 1) {
                t->updateRow(0, model[1]);
                model[0] = model[1];
            }
        } catch (const ParadoxError& e) {
            // Only a value of the damaged table itself may be refused (e.g. a NaN read back).
            QVERIFY2(!t->isReadOnly(), where + ": " + e.what());
            return;
        }
        t.reset();
        ++written;
        auto again = ParadoxTable::open(p, {.readOnly = true});
        QVERIFY2(again->readOnlyReason().empty() || again->readOnlyReason().find("damaged") == std::string::npos,
                 where + ": " + again->readOnlyReason().c_str());
        QVERIFY2(sameRows(again->readAll(), model), where + ": rows differ after writing");
    }

private slots:
    void initTestCase() { QVERIFY(m_tmp.isValid()); }

    void damagedFilesNeverCrash()
    {
        std::mt19937 rng(20240607);
        const fs::path target = tmp() / "fuzzed.db";
        int cases = 0;
        int written = 0;
        for (const fs::path& input : inputs()) {
            const auto original = zelt::test::readBytes(input);
            for (int i = 0; i < 800; ++i, ++cases) {
                zelt::test::writeBytes(target, mutate(original, rng));
                exercise(target, QStringLiteral("%1 case %2").arg(input.filename().c_str()).arg(i).toUtf8(), written);
                if (QTest::currentTestFailed())
                    return;
            }
        }
        qInfo("%d damaged files, %d opened writable and took posts", cases, written);
        QVERIFY(cases >= 500);
        QVERIFY2(written >= cases / 10, "too few damaged tables reached the writer");
        if (zelt::test::sharedDir("paradox-samples").empty())
            ZELT_SKIP_OUTSIDE("paradox-samples folder absent: only tables of our own were damaged");
    }
};

QTEST_APPLESS_MAIN(TestParadoxFuzz)
#include "test_paradox_fuzz.moc"
