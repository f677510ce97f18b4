// SPDX-License-Identifier: GPL-3.0-or-later
// Data files are found beside the program first, then in ../share/zelt of wherever the tree lies.
#include "base/data_folders.h"

#include "test_support.h"

#include <QTemporaryDir>

#include <fstream>

using namespace zelt::document;
namespace fs = std::filesystem;

class DataFoldersTest : public QObject {
    Q_OBJECT
private slots:
    void relocatedTreeFindsItsShareFolder();
    void besideTheProgramWins();
    void onlyRegularFilesCount();
};

namespace {

void touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "1\n";
}

}  // namespace

// A tree unpacked anywhere (here a temporary folder) finds bin/../share/zelt, whatever prefix
// the program was configured with; a trailing slash on the program folder changes nothing.
void DataFoldersTest::relocatedTreeFindsItsShareFolder()
{
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    touch(root / "share" / "zelt" / "dani.dat");
    fs::create_directories(root / "bin");
    for (const fs::path& bin : {root / "bin", root / "bin" / "", root / "bin" / "." / ""}) {
        const auto folders = dataFolders(bin);
        QVERIFY(folders.size() >= 2);
        QCOMPARE(findDataFile("dani.dat", folders).string(), (root / "share" / "zelt" / "dani.dat").string());
    }
}

// The build folder keeps its data files beside the programs; they win over an installed copy.
void DataFoldersTest::besideTheProgramWins()
{
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    touch(root / "share" / "zelt" / "dani.dat");
    touch(root / "bin" / "dani.dat");
    QCOMPARE(findDataFile("dani.dat", dataFolders(root / "bin")).string(), (root / "bin" / "dani.dat").string());
    QCOMPARE(dataFolders(root / "bin").front().string(), (root / "bin").string());
}

// A folder that happens to carry the data file's name is not a data file.
void DataFoldersTest::onlyRegularFilesCount()
{
    QTemporaryDir dir;
    const fs::path root = dir.path().toStdString();
    fs::create_directories(root / "bin" / "dani.dat");
    touch(root / "share" / "zelt" / "dani.dat");
    QCOMPARE(findDataFile("dani.dat", dataFolders(root / "bin")).string(), (root / "share" / "zelt" / "dani.dat").string());
}

QTEST_APPLESS_MAIN(DataFoldersTest)
#include "data_folders_test.moc"
