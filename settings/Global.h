#pragma once
// Small helpers shared by the windows and workers.
#include "platform/akrip32.h"
#include <QString>
#include <cstdint>

QString TwoDigits(int n);
QString WithBackslash(const QString& path);        // appends '/' (the platform separator)
int64_t FileSizeOf(const QString& path);           // any entry (a folder gives its stat size); the
                                                   // path is literal, no wildcards; -1 when not found
bool IsFileInUse(const QString& path);             // exists and is locked, open for writing by
                                                   // anyone (us included) or not writable
void DelayMs(int ms);                              // monotonic clock; returns at once for ms < 1
bool IsAudioCDDrive(int driveIndex);               // drive holds a disc whose first track is audio
QString StripFileNameChars(const QString& text);
bool CloseDiscHandle(HCDROM handle);
void NormalizeWavFile(int percent, const QString& path);  // throws std::runtime_error on I/O errors

QString ProgramFolder();                           // folder of the executable, trailing '/'
