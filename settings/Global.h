#pragma once
// Small helpers shared by the windows and workers.
#include "platform/akrip32.h"
#include <QString>
#include <cstdint>
#include <functional>

QString TwoDigits(int n);
QString WithBackslash(const QString& path);        // appends '/' (the platform separator)
int64_t FileSizeOf(const QString& path);           // any entry (a folder gives its stat size); the
                                                   // path is literal, no wildcards; -1 when not found
bool IsFileInUse(const QString& path);             // exists and is locked, open for writing by
                                                   // anyone (us included) or not writable
void DelayMs(int ms);                              // monotonic clock; returns at once for ms < 1
bool IsAudioCDDrive(int driveIndex);               // drive holds a disc with an audio track
QString StripFileNameChars(const QString& text);
bool CloseDiscHandle(HCDROM handle);
void NormalizeWavFile(int percent, const QString& path);  // throws std::runtime_error on I/O errors
// The same with a report before each block: bytes processed so far (header included) and
// the file's length at the start.
using TNormalizeProgress = std::function<void(int64_t done, int64_t total)>;
void NormalizeWavFile(int percent, const QString& path, const TNormalizeProgress& progress);
QString NormalizeTempPath(const QString& path);    // the scaled copy: extension replaced by ".nor"
int16_t ScaleSample(int16_t s, float factor);      // nearest, halves to even, saturated to 16 bits

QString ProgramFolder();                           // folder of the executable, trailing '/'
