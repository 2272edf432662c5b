#include "app/core/CommandLine.h"
#include "platform/akrip32.h"
#include <QFileInfo>

static const char* const DiscImageOption = "disc-image";

void AddDiscImageOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(DiscImageOption,
                                        "Offer the disc image PATH (.cue, .toc, .nrg) as a CD drive; repeatable.",
                                        "PATH"));
}

void ApplyDiscImageOption(const QCommandLineParser& parser)
{
    QStringList images;
    for (const QString& path : parser.values(DiscImageOption))
        images.append(QFileInfo(path).absoluteFilePath());
    SetDiscImages(images);
}
