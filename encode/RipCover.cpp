#include "encode/RipCover.h"

#include "platform/Prompter.h"
#include "settings/Lang.h"
#include "settings/Options.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <memory>

TCoverImage RipCover()
{
    return RipCover(OptionsSetting);
}

TCoverImage RipCover(const TOptionsSetting& settings)
{
    return settings.MusicBrainz.Cover ? StoredCover(settings.CDInfo.MBRelease) : TCoverImage{};
}

QByteArray RipCoverComment()
{
    return RipCoverComment(OptionsSetting);
}

QByteArray RipCoverComment(const TOptionsSetting& settings)
{
    const TCoverImage image = RipCover(settings);
    return image.IsNull() ? QByteArray() : QByteArrayLiteral("METADATA_BLOCK_PICTURE=") + OggCoverComment(image);
}

bool PutFolderCover(const QString& folder, const TCoverImage& image, QString* error)
{
    const QDir dir(folder);
    if (image.IsNull() || dir.exists(QStringLiteral("folder.jpg")) || dir.exists(QStringLiteral("folder.png")))
        return true;
    const bool png = image.Mime == QLatin1String("image/png");
    QSaveFile file(dir.filePath(png ? QStringLiteral("folder.png") : QStringLiteral("folder.jpg")));
    if (file.open(QIODevice::WriteOnly) && file.write(image.Bytes) == image.Bytes.size() && file.commit())
        return true;
    if (error) *error = file.fileName() + QStringLiteral(": ") + file.errorString();
    return false;
}

std::function<void(const QString&)> FolderCoverWriter(TPrompter* prompter)
{
    return FolderCoverWriter(prompter, OptionsSetting);
}

std::function<void(const QString&)> FolderCoverWriter(TPrompter* prompter, const TOptionsSetting& settings)
{
    const TCoverImage image = RipCover(settings);
    if (image.IsNull()) return {};
    auto done = std::make_shared<QSet<QString>>();
    return [image, prompter, done](const QString& produced) {
        const QString folder = QFileInfo(produced).absolutePath();
        if (produced.isEmpty() || done->contains(folder)) return;
        done->insert(folder);
        QString why;
        if (!PutFolderCover(folder, image, &why) && prompter)
            prompter->ShowWarning(LangString(QStringLiteral("RES_FolderCoverError"),
                                             QStringLiteral("无法在文件旁写入封面："))
                                  + QLatin1Char(' ') + why);
    };
}
