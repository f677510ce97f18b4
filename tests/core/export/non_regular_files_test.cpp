// SPDX-License-Identifier: GPL-3.0-or-later
// Files read or written in place that are not regular files of a sane size are refused with a
// clear message, at once: a named pipe, a link to /dev/zero, a folder, an oversized file.
#include "document/document_files.h"
#include "document/document_session.h"
#include "document/traverse_table.h"
#include "export/figure_file.h"
#include "export/ocad_writer.h"
#include "interchange/layout_stream.h"

#include "non_regular_files.h"
#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace zelt::document;
using namespace zelt::mapexport;
using zelt::interchange::LayoutError;
namespace fs = std::filesystem;

namespace {

enum class Kind { Fifo, DevZero, Folder, TooLarge };
enum class Use { OpenTable, CreateTable, ReadInf, WriteInf, LoadLayout, SaveLayout, LoadFigures, AppendToMap, ReadMapScale };

/// Runs `f`; the message of what it threw, or "<no error>".
std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

std::string expectedReason(Kind kind)
{
    switch (kind) {
    case Kind::Fifo: return "is a named pipe, not a regular file";
    case Kind::DevZero: return "is a device, not a regular file";
    case Kind::Folder: return "is a folder, not a regular file";
    case Kind::TooLarge: return "large";
    }
    return {};
}

/// Puts the non-regular file at `p`; false when the system does not allow it here.
bool makeNonRegular(Kind kind, const fs::path& p, std::uintmax_t tooLarge)
{
    std::error_code ec;
    switch (kind) {
    case Kind::Fifo: return zelt::test::makeFifo(p);
    case Kind::DevZero: return zelt::test::linkToDevZero(p);
    case Kind::Folder: return fs::create_directory(p, ec);
    case Kind::TooLarge:
        zelt::test::writeBytes(p, {'x'});
        fs::resize_file(p, tooLarge, ec);  // sparse: no disk space taken
        return !ec;
    }
    return false;
}

}  // namespace

Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(Use)

class NonRegularFilesTest : public QObject {
    Q_OBJECT
private slots:
    void refusedBeforeAnyBlockingRead_data();
    void refusedBeforeAnyBlockingRead();
    void companionInTheWayStopsOpeningWithoutWriting();
};

void NonRegularFilesTest::refusedBeforeAnyBlockingRead_data()
{
    QTest::addColumn<Use>("use");
    QTest::addColumn<Kind>("kind");
    const std::pair<const char*, Use> uses[] = {
        {"open table", Use::OpenTable},     {"create table", Use::CreateTable}, {"read .inf", Use::ReadInf},
        {"write .inf", Use::WriteInf},      {"load .ing", Use::LoadLayout},     {"save .ing", Use::SaveLayout},
        {"figure file", Use::LoadFigures},  {"append to map", Use::AppendToMap}, {"map scale", Use::ReadMapScale}};
    const std::pair<const char*, Kind> kinds[] = {
        {"named pipe", Kind::Fifo}, {"link to /dev/zero", Kind::DevZero}, {"folder", Kind::Folder}, {"too large", Kind::TooLarge}};
    for (const auto& [useName, use] : uses)
        for (const auto& [kindName, kind] : kinds) {
            // Creating a table truncates what is there, so its size does not matter.
            if (use == Use::CreateTable && kind == Kind::TooLarge)
                continue;
            QTest::addRow("%s: %s", useName, kindName) << use << kind;
        }
}

// Each read or in-place write refuses the file before it could block or read without end,
// names the file's kind, and leaves the non-regular file as it was.
void NonRegularFilesTest::refusedBeforeAnyBlockingRead()
{
    QFETCH(Use, use);
    QFETCH(Kind, kind);
    QTemporaryDir dir;
    const fs::path base = dir.path().toStdString();
    const bool isTable = use == Use::OpenTable || use == Use::CreateTable;
    const bool isMap = use == Use::AppendToMap || use == Use::ReadMapScale;
    const fs::path p = base / (isTable ? "way.db" : isMap ? "map.ocd" : "file");
    // The limits: tables as the format allows, maps 2 GiB, the small files 1 MiB.
    const std::uintmax_t tooLarge = isMap ? (std::uintmax_t{1} << 31) + 1 : isTable ? (std::uintmax_t{3} << 30)
                                                                               : (std::uintmax_t{1} << 20) + 1;
    if (!makeNonRegular(kind, p, tooLarge))
        QSKIP("this file system cannot hold the non-regular file");

    const zelt::test::HangGuard guard(20);
    std::string error;
    switch (use) {
    case Use::OpenTable:
        error = errorOf([&] {
            TraverseTable t;
            t.setPath(p);
            t.open();
        });
        break;
    case Use::CreateTable:
        error = errorOf([&] {
            TraverseTable t;
            t.setPath(p);
            t.create();
        });
        break;
    case Use::ReadInf:
        error = errorOf([&] {
            double a = 0, b = 0;
            readInf(p, a, b);
        });
        break;
    case Use::WriteInf: error = errorOf([&] { writeInf(p, 64, 420); }); break;
    case Use::LoadLayout: error = errorOf([&] { zelt::interchange::loadGridLayout(p); }); break;
    case Use::SaveLayout: error = errorOf([&] { zelt::interchange::saveGridLayout(ColumnSet::builtIn(), p); }); break;
    case Use::LoadFigures: error = errorOf([&] { FigureFile::load(p); }); break;
    case Use::AppendToMap:
        error = errorOf([&] {
            PrepareTarget(p);
            MapAppender(p).append(makeTextObject("x", 0, 0));
        });
        break;
    case Use::ReadMapScale: error = errorOf([&] { ReadMapScale(p); }); break;
    }
    QVERIFY2(error.find(expectedReason(kind)) != std::string::npos, error.c_str());
    QVERIFY2(error.find(p.filename().string()) != std::string::npos, error.c_str());

    std::error_code ec;
    const fs::file_status after = fs::symlink_status(p, ec);
    switch (kind) {
    case Kind::Fifo: QVERIFY(fs::is_fifo(after)); break;
    case Kind::DevZero: QVERIFY(fs::is_symlink(after)); break;
    case Kind::Folder: QVERIFY(fs::is_directory(after)); break;
    case Kind::TooLarge: QCOMPARE(fs::file_size(p), tooLarge); break;
    }
}

// A table whose .inf is a named pipe does not open (the values cannot be read), and nothing is
// written in the pipe's place.
void NonRegularFilesTest::companionInTheWayStopsOpeningWithoutWriting()
{
    QTemporaryDir dir;
    const fs::path table = fs::path(dir.path().toStdString()) / "way.db";
    {
        Document doc;
        DocumentSession session(doc);
        session.open(table);
        session.close();
    }
    const fs::path inf = companionPath(table, ".inf");
    fs::remove(inf);
    QVERIFY(zelt::test::makeFifo(inf));
    const zelt::test::HangGuard guard(20);
    Document doc;
    const std::string error = errorOf([&] { DocumentSession(doc).open(table); });
    QVERIFY2(error.find("named pipe") != std::string::npos, error.c_str());
    QVERIFY(fs::is_fifo(fs::symlink_status(inf)));
}

QTEST_APPLESS_MAIN(NonRegularFilesTest)
#include "non_regular_files_test.moc"
