// Where helper programs and installed data are looked for.
#include "fixtures/TestUtil.h"
#include "settings/Global.h"
#include "settings/HelperPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <QSet>

namespace {

class HelperPathsTest : public ::testing::Test {
protected:
    QTemporaryDir Dir;
    QString Path(const QString& name) const { return Dir.filePath(name); }
    void Make(const QString& name, bool executable)
    {
        QDir(Dir.path()).mkpath(QFileInfo(Path(name)).path());
        ASSERT_TRUE(WriteAll(Path(name), "#!/bin/sh\n"));
        if (executable)
            QFile::setPermissions(Path(name), QFile::permissions(Path(name)) | QFile::ExeOwner);
    }
};

TEST_F(HelperPathsTest, FirstExecutableFileInFolderOrderThenPath)
{
    Make("a/tool", false);       // not executable: passed over
    Make("b/tool", true);
    Make("c/tool", true);        // found in b first
    QDir(Dir.path()).mkpath("a/dirtool");  // a folder is no program
    Make("b/dirtool", true);
    Make("p/onpath", true);
    Make("rel/onpath", true);    // relative PATH entries are never searched
    const QStringList folders{Path("a"), Path("b") + "/", Path("c")};

    const QByteArray oldPath = qgetenv("PATH");
    const QString oldCwd = QDir::currentPath();
    QDir::setCurrent(Dir.path());
    qputenv("PATH", ("rel::" + Path("p")).toUtf8());
    const struct {
        const char* name;
        bool searchPath;
        QString expected;
    } cases[] = {
        {"tool", false, Path("b/tool")},
        {"dirtool", false, Path("b/dirtool")},
        {"onpath", false, QString()},
        {"onpath", true, Path("p/onpath")},
        {"missing", true, QString()},
        // Only bare names: no path may lead out of the searched folders.
        {"../b/tool", false, QString()},
        {"b/tool", true, QString()},
        {"", true, QString()},
        {"..", true, QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindProgramIn(c.name, folders, c.searchPath), c.expected) << c.name << " " << c.searchPath;
    qputenv("PATH", oldPath);
    QDir::setCurrent(oldCwd);
}

TEST_F(HelperPathsTest, ProgramFolderFirstThenInstalledFolders)
{
    for (const auto& [folders, tail] : {std::pair{HelperProgramFolders(), QString("/libexec/varnelcd/")},
                                        std::pair{DataFolders(), QString("/share/varnelcd/")}}) {
        ASSERT_GE(folders.size(), 2);
        EXPECT_EQ(folders.first(), ProgramFolder());
        EXPECT_TRUE(folders.last().endsWith(tail)) << folders.last().toStdString();
        EXPECT_EQ(folders.size(), QSet<QString>(folders.begin(), folders.end()).size());
        for (const QString& f : folders)
            EXPECT_TRUE(f.endsWith('/') && QDir::isAbsolutePath(f)) << f.toStdString();
    }
    EXPECT_TRUE(FindDataFile("no-such-file-anywhere.ini").isEmpty());
    EXPECT_TRUE(FindDataFile("../settings/no.ini").isEmpty());
    EXPECT_TRUE(FindHelperProgram("no-such-helper-program").isEmpty());
}

} // namespace
