// SPDX-License-Identifier: GPL-3.0-or-later
// Whole files are replaced by rename only: the old file stays until the new one is complete.
#include "base/atomic_file.h"

#include "test_support.h"

#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using namespace zelt::document;
namespace fs = std::filesystem;

class AtomicFileTest : public QObject {
    Q_OBJECT
private:
    static std::string read(const fs::path& p)
    {
        const auto bytes = zelt::test::readBytes(p);
        return std::string(bytes.begin(), bytes.end());
    }
    static std::vector<fs::path> entries(const fs::path& dir)
    {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(dir))
            out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

private slots:
    // A replaced file has the new content and its old permissions; a new file is created; a
    // link is followed and stays a link; no temporary file is left behind.
    void replacesWholeFiles()
    {
        QTemporaryDir dir;
        const fs::path root = dir.path().toStdString();
        const fs::path old = root / "old.txt";
        std::string message;
        QVERIFY(writeFileAtomically(old, "old content", message));
        ::chmod(old.c_str(), 0640);
        QVERIFY2(writeFileAtomically(old, "new", message), message.c_str());
        QCOMPARE(read(old), std::string("new"));
        struct stat st {};
        QCOMPARE(::stat(old.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0640u);

        fs::create_symlink("old.txt", root / "link.txt");
        QVERIFY2(writeFileAtomically(root / "link.txt", "through the link", message), message.c_str());
        QVERIFY(fs::is_symlink(root / "link.txt"));
        QCOMPARE(read(old), std::string("through the link"));
        QCOMPARE(entries(root), (std::vector<fs::path>{"link.txt", "old.txt"}));
    }

    // Until commit the target is untouched; a discarded or dropped file leaves it as it was.
    void targetUntouchedUntilCommit()
    {
        QTemporaryDir dir;
        const fs::path target = fs::path(dir.path().toStdString()) / "t.txt";
        std::string message;
        QVERIFY(writeFileAtomically(target, "before", message));
        {
            AtomicFile file = AtomicFile::begin(target, message);
            QVERIFY(file.isOpen());
            QVERIFY(file.write("after", message));
            QCOMPARE(read(target), std::string("before"));
        }
        QCOMPARE(read(target), std::string("before"));
        QCOMPARE(entries(target.parent_path()).size(), std::size_t(1));
    }

    // A new file never replaces one that appeared at its name since it was begun.
    void newFileKeepsOneThatAppeared()
    {
        QTemporaryDir dir;
        const fs::path target = fs::path(dir.path().toStdString()) / "new.ocd";
        std::string message;
        AtomicFile file = AtomicFile::begin(target, message);
        QVERIFY(file.write("ours", message));
        QVERIFY(writeFileAtomically(target, "theirs", message));
        QVERIFY(!file.commitAsNew(message));
        QVERIFY2(message.find(target.string() + "': File exists") != std::string::npos, message.c_str());
        QCOMPARE(read(target), std::string("theirs"));
        QCOMPARE(entries(target.parent_path()).size(), std::size_t(1));
    }

    // Refusals name the full path and the system's reason and create nothing: a folder as the
    // target, a missing folder (never created), a folder that cannot be written.
    void refusalsNamePathAndReason_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << QStringLiteral("sub") << QStringLiteral("is a folder, not a regular file");
        QTest::newRow("missing folder") << QStringLiteral("nodir/deep/x.txt") << QStringLiteral("No such file or directory");
        if (::geteuid() != 0)
            QTest::newRow("read-only folder") << QStringLiteral("ro/x.txt") << QStringLiteral("Permission denied");
    }
    void refusalsNamePathAndReason()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const fs::path root = dir.path().toStdString();
        fs::create_directory(root / "sub");
        fs::create_directory(root / "ro");
        ::chmod((root / "ro").c_str(), 0555);
        std::string message;
        QVERIFY(!writeFileAtomically(root / target.toStdString(), "x", message));
        QVERIFY2(message.find(root.string()) != std::string::npos, message.c_str());
        QVERIFY2(message.find(reason.toStdString()) != std::string::npos, message.c_str());
        QVERIFY(!fs::exists(root / "nodir"));
        QVERIFY(fs::is_empty(root / "ro"));
        ::chmod((root / "ro").c_str(), 0755);
    }
};

QTEST_APPLESS_MAIN(AtomicFileTest)
#include "atomic_file_test.moc"
