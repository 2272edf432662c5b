#pragma once
// The front cover a MusicBrainz lookup stored for the current disc, as the rip jobs use it:
// embedded in FLAC (PICTURE block) and OGG (METADATA_BLOCK_PICTURE comment) files, and put
// beside the files as folder.jpg / folder.png. Nothing of it applies when the cover setting
// (MusicBrainz.Cover) is off or no cover is stored; conversions of files take none (the
// disc's cover is not theirs).
#include "metadata/MusicBrainz.h"

#include <QByteArray>
#include <QString>
#include <functional>

class TPrompter;

// The current disc's stored cover when the setting is on; null otherwise.
TCoverImage RipCover();
// "METADATA_BLOCK_PICTURE=<base64>" of that cover, empty without one.
QByteArray RipCoverComment();
// The same for the disc and cover setting of a job's copy of the settings.
struct TOptionsSetting;
TCoverImage RipCover(const TOptionsSetting& settings);
QByteArray RipCoverComment(const TOptionsSetting& settings);

// Puts the cover into `folder` as folder.jpg or folder.png, unless the folder already has a
// folder.jpg or folder.png (a user's own picture stays). False with the reason on failure;
// true when written or left alone.
bool PutFolderCover(const QString& folder, const TCoverImage& image, QString* error = nullptr);

// What a rip job calls with each file it produced: the cover goes into that file's folder,
// once per folder in the job. A failure is a warning through the prompter, once per folder;
// it never fails the file. An empty function when no cover applies (read at the call).
std::function<void(const QString& produced)> FolderCoverWriter(TPrompter* prompter);
std::function<void(const QString& produced)> FolderCoverWriter(TPrompter* prompter, const TOptionsSetting& settings);
