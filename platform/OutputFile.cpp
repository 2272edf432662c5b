#include "platform/OutputFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QLatin1String PartSuffix(".part");

// Flushes a file's data to the disk, so a crash after the rename cannot leave a complete
// name over data that never reached it. 0 or the errno.
int SyncFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) error = errno;
    ::close(fd);
    return error;
}

} // namespace

QString PartPathOf(const QString& finalPath)
{
    // A final name near the file system's 255-byte limit has no room for the suffix: its part
    // file takes a shortened name made unique by a hash of the whole name.
    constexpr int MaxNameBytes = 255;
    const int slash = int(finalPath.lastIndexOf(QLatin1Char('/'))) + 1;
    const QString name = finalPath.mid(slash);
    const QByteArray bytes = QFile::encodeName(name);
    if (bytes.size() + PartSuffix.size() <= MaxNameBytes) return finalPath + PartSuffix;
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(8);
    const int room = MaxNameBytes - int(PartSuffix.size()) - int(hash.size()) - 1;
    QByteArray cut = bytes.left(room);
    while (!cut.isEmpty() && (uchar(cut.back()) & 0xC0) == 0x80) cut.chop(1);   // not mid-character
    if (!cut.isEmpty() && uchar(cut.back()) >= 0xC0) cut.chop(1);
    return finalPath.left(slash) + QFile::decodeName(cut) + QLatin1Char('~') + QString::fromLatin1(hash) + PartSuffix;
}

bool RemoveStalePart(const QString& finalPath)
{
    const QString part = PartPathOf(finalPath);
    // An encoder process killed with a job leaves its own temporary file beside the part
    // file: "<part>.XXXXXX" (six characters, as mkstemp makes them).
    const QFileInfo partInfo(part);
    const QString prefix = partInfo.fileName() + QLatin1Char('.');
    const QDir folder = partInfo.absoluteDir();
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (name.size() == prefix.size() + 6 && name.startsWith(prefix)) QFile::remove(folder.filePath(name));
    const QFileInfo info(part);
    if (!info.exists() && !info.isSymLink()) return true;
    if (info.isDir()) return false;
    return QFile::remove(part);
}

bool CommitPart(const QString& partPath, const QString& finalPath, QString* error)
{
    auto fail = [&](int err, const QString& path) {
        if (error) *error = WriteErrorText(err, path);
        DiscardPart(partPath);
        return false;
    };
    if (const int err = SyncFile(partPath)) return fail(err, partPath);
    if (::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(finalPath).constData()) != 0)
        return fail(errno, finalPath);
    return true;
}

void DiscardPart(const QString& partPath)
{
    if (!partPath.isEmpty()) ::unlink(QFile::encodeName(partPath).constData());
}

QString WriteErrorText(int error, const QString& path)
{
    const QString name = QDir::toNativeSeparators(path);
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return name + QStringLiteral(": the disk is full");
    case EROFS:
        return name + QStringLiteral(": the folder is read-only");
    case ENOENT:
    case ENOTDIR:
        return name + QStringLiteral(": the folder does not exist");
    case EACCES:
    case EPERM:
        return name + QStringLiteral(": permission denied");
    case ENAMETOOLONG:
        return name + QStringLiteral(": the file name is too long");
    default:
        return name + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    }
}

bool IsPlainWriteError(const QString& text)
{
    static const char* const Causes[] = {": the disk is full", ": the folder is read-only", ": the folder does not exist",
                                         ": permission denied"};
    for (const char* cause : Causes)
        if (text.contains(QLatin1String(cause))) return true;
    return false;
}

QString WriteErrorText(const QFile& file)
{
    // QFile keeps no errno; the common causes map from its error kind and the folder.
    const QString path = file.fileName();
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.exists()) return WriteErrorText(ENOENT, path);
    if (file.error() == QFileDevice::OpenError && !folder.isWritable()) return WriteErrorText(EACCES, path);
    if (file.error() == QFileDevice::WriteError || file.error() == QFileDevice::ResourceError) {
        const QString text = file.errorString();
        if (text.contains(QLatin1String("No space"), Qt::CaseInsensitive)) return WriteErrorText(ENOSPC, path);
        if (text.contains(QLatin1String("Read-only"), Qt::CaseInsensitive)) return WriteErrorText(EROFS, path);
    }
    return QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
}

TOutputFile::TOutputFile(const QString& finalPath) : FFinal(finalPath), FFile(PartPathOf(finalPath)) {}

TOutputFile::~TOutputFile()
{
    if (!FDone) Discard();
}

bool TOutputFile::Open()
{
    RemoveStalePart(FFinal);
    errno = 0;
    if (FFile.open(QIODevice::WriteOnly | QIODevice::Truncate)) return true;
    FError = errno ? WriteErrorText(errno, FFinal) : WriteErrorText(FFile);
    FDone = true;
    return false;
}

bool TOutputFile::Write(const QByteArray& data)
{
    errno = 0;
    if (FFile.write(data) == data.size()) return true;
    FError = errno ? WriteErrorText(errno, FFinal) : WriteErrorText(FFile);
    return false;
}

bool TOutputFile::Commit()
{
    if (FDone) return false;
    FDone = true;
    if (FError.isEmpty()) {
        errno = 0;
        if (!FFile.flush()) FError = errno ? WriteErrorText(errno, FFinal) : WriteErrorText(FFile);
    }
    FFile.close();
    if (FError.isEmpty() && FFile.error() != QFileDevice::NoError) FError = WriteErrorText(FFile);
    if (!FError.isEmpty()) {
        DiscardPart(FFile.fileName());
        return false;
    }
    return CommitPart(FFile.fileName(), FFinal, &FError);
}

void TOutputFile::Discard()
{
    FDone = true;
    FFile.close();
    DiscardPart(FFile.fileName());
}

bool WriteWholeFile(const QString& finalPath, const QByteArray& data, QString* error)
{
    TOutputFile out(finalPath);
    const bool ok = out.Open() && out.Write(data) && out.Commit();
    if (!ok && error) *error = out.Error();
    return ok;
}

bool ParseExisting(const QString& word, TExisting& value)
{
    static const char* const Words[] = {"ask", "skip", "rename", "overwrite"};
    for (int i = 0; i < 4; ++i)
        if (word == QLatin1String(Words[i])) {
            value = TExisting(i);
            return true;
        }
    return false;
}

QString NumberedPath(const QString& path, int n)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1) dot = path.size();
    return path.left(dot) + QStringLiteral(" (%1)").arg(n) + path.mid(dot);
}

TExistingFiles::TExistingFiles(TExisting policy, TPrompter* prompter) : FPolicy(policy), FPrompter(prompter) {}

QString TExistingFiles::Key(const QString& path)
{
    return QFileInfo(path).absoluteFilePath().toLower();
}

QString TExistingFiles::Unclaimed(const QString& wanted) const
{
    if (!Claimed(wanted)) return wanted;
    for (int n = 2;; ++n) {
        const QString path = NumberedPath(wanted, n);
        if (!Claimed(path)) return path;
    }
}

TExistingFiles::TDecision TExistingFiles::Decide(const QString& wanted)
{
    TDecision d;
    d.Path = Unclaimed(wanted);
    RemoveStalePart(d.Path);
    const QFileInfo info(d.Path);
    if (!info.exists() && !info.isSymLink()) {
        Claim(d.Path);
        return d;
    }
    TExisting policy = FPolicy;
    if (policy == TExisting::Ask) {
        if (FYesToAll) policy = TExisting::Overwrite;
        else if (FNoToAll || !FPrompter) policy = TExisting::Skip;
        else {
            switch (FPrompter->AskOverwrite(QDir::toNativeSeparators(d.Path) + QStringLiteral(" already exists. Replace it?"))) {
            case TPrompter::Overwrite::YesToAll: FYesToAll = true; [[fallthrough]];
            case TPrompter::Overwrite::Yes: policy = TExisting::Overwrite; break;
            case TPrompter::Overwrite::NoToAll: FNoToAll = true; [[fallthrough]];
            case TPrompter::Overwrite::No: break;
            }
            if (policy == TExisting::Ask) {
                d.Action = TDecision::Keep;
                d.Reason = QDir::toNativeSeparators(d.Path) + QStringLiteral(": the file exists and was kept");
                Claim(d.Path);
                return d;
            }
        }
        if (policy == TExisting::Skip && FPolicy == TExisting::Ask) {
            // Asked nobody (no prompter) or "No to all": the file is kept, the entry fails.
            d.Action = TDecision::Keep;
            d.Reason = QDir::toNativeSeparators(d.Path) + QStringLiteral(": the file exists and was kept");
            Claim(d.Path);
            return d;
        }
    }
    switch (policy) {
    case TExisting::Overwrite:
        break;
    case TExisting::Skip:
        d.Action = TDecision::Skip;
        break;
    case TExisting::Rename:
        for (int n = 2;; ++n) {
            const QString path = NumberedPath(wanted, n);
            const QFileInfo other(path);
            if (!Claimed(path) && !other.exists() && !other.isSymLink()) {
                d.Path = path;
                break;
            }
        }
        break;
    case TExisting::Ask:
        break;
    }
    Claim(d.Path);
    return d;
}
