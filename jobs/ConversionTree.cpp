#include "jobs/ConversionTree.h"
#include "settings/Lang.h"

#include "jobs/ConversionJob.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// The sound files the conversion commands open, by extension (lower case).
const QSet<QString>& SoundExtensions()
{
    static const QSet<QString> extensions{"wav", "mp3", "ogg", "oga", "flac", "opus", "m4a", "mp4",
                                          "wma", "wv",  "ape", "aac", "aif", "aiff"};
    return extensions;
}

QString WithSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

class TTreeWalk {
public:
    TTreeWalk(int mode, const QString& output, TConversionTree& tree) : FMode(mode), FTree(tree)
    {
        if (!output.isEmpty()) {
            FOutput = WithSlash(QDir(output).absolutePath());
            FOutputCanonical = QFileInfo(output).canonicalFilePath();
        }
    }

    // Folder `folder` (as reached: its links kept in the path), whose files go into the
    // output folder's `relative` sub-folder.
    void Walk(const QString& folder, const QString& relative)
    {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (canonical.isEmpty()) {
            FTree.Problems << folder + QStringLiteral(": ") + LangString(QStringLiteral("RES_Tree_FolderMissing"), QStringLiteral("找不到这个文件夹"));
            return;
        }
        // A folder reached again through a link (a loop, or two ways to it) is walked once;
        // the output tree holds results, not inputs.
        if (FSeen.contains(canonical) || (!FOutputCanonical.isEmpty() && canonical == FOutputCanonical))
            return;
        FSeen.insert(canonical);
        const QDir dir(folder);
        if (!dir.isReadable()) {
            FTree.Problems << folder + QStringLiteral(": ") + LangString(QStringLiteral("RES_Tree_FolderUnreadable"), QStringLiteral("无法读取这个文件夹"));
            return;
        }
        QStringList files;
        for (const QFileInfo& f : dir.entryInfoList(QDir::Files | QDir::Hidden, QDir::Name))
            if (ConversionTakes(FMode, f.fileName()))
                files << f.absoluteFilePath();
        // A link to a file that is gone is listed with the unreadable files.
        for (const QFileInfo& f : dir.entryInfoList(QDir::System | QDir::Hidden, QDir::Name))
            if (f.isSymLink() && !f.exists() && ConversionTakes(FMode, f.fileName()))
                FTree.Problems << f.absoluteFilePath() + QStringLiteral(": ") + LangString(QStringLiteral("RES_Tree_LinkNowhere"), QStringLiteral("链接指向不存在的位置"));
        if (!files.isEmpty())
            Add(FOutput.isEmpty() ? WithSlash(dir.absolutePath()) : FOutput + relative, files);
        for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name))
            Walk(sub.absoluteFilePath(), relative + sub.fileName() + QLatin1Char('/'));
    }

    void AddFile(const QFileInfo& file)
    {
        Add(FOutput.isEmpty() ? WithSlash(file.absolutePath()) : FOutput, {file.absoluteFilePath()});
    }

private:
    void Add(const QString& output, const QStringList& files)
    {
        // Single files given one by one share a group with their neighbours.
        for (TConversionGroup& g : FTree.Groups)
            if (g.OutputFolder == output) {
                for (const QString& f : files)
                    if (!g.Files.contains(f))
                        g.Files << f;
                return;
            }
        FTree.Groups.append({output, files});
    }

    const int FMode;
    TConversionTree& FTree;
    QString FOutput;
    QString FOutputCanonical;
    QSet<QString> FSeen;
};

} // namespace

bool ConversionTakes(int mode, const QString& path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (!SoundExtensions().contains(extension))
        return false;
    return mode != TConversionJob::Mp3ToWav || extension != QLatin1String("wav");
}

TConversionTree ScanConversionTree(const QStringList& inputs, int mode, const QString& outputFolder)
{
    TConversionTree tree;
    TTreeWalk walk(mode, outputFolder, tree);
    for (const QString& input : inputs) {
        const QFileInfo info(input);
        if (info.isDir())
            walk.Walk(info.absoluteFilePath(), QString());
        else if (info.exists() || info.isSymLink())
            walk.AddFile(info);   // a file named outright is converted, or refused with its cause
        else
            tree.Problems << input + QStringLiteral(": ") + LangString(QStringLiteral("RES_Tree_NoSuchInput"), QStringLiteral("没有这个文件或文件夹"));
    }
    return tree;
}
