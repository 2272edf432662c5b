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

static const char* const CDInputOnlyOption = "cd-input-only";

void AddCDInputOnlyOption(QCommandLineParser& parser)
{
    parser.addOption(QCommandLineOption(CDInputOnlyOption,
                                        "Read discs through the CD input component only (no first-library drive)."));
}

void ApplyCDInputOnlyOption(const QCommandLineParser& parser)
{
    if (parser.isSet(CDInputOnlyOption))
        SetCDInputOnly(true);
}
