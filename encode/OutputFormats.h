#pragma once
// The output formats of a rip ([CommonOptions] OutputFormat), one row each: everything the
// command line, the windows and the jobs need to know about a format without a switch of
// their own. A new format is a new row here and its encoder component (Encoder.h).
#include <QString>
#include <QStringList>
#include <array>
#include <memory>

class TEncoder;
class TEncodeStep;

// The OutputFormat setting values; also the items of the options window's format combo.
enum TOutputFormat {
    FormatMp3 = 0, FormatWav = 1, FormatOgg = 2, FormatWma = 3, FormatFlac = 4, FormatOpus = 5, FormatAac = 6,
    FormatAlac = 7
};

struct TOutputFormatRow {
    TOutputFormat Format;
    const char* Word;          // the command line's word: "mp3"
    const char* Name;          // shown by the rip window: "MP3"
    const char* Extension;     // ".mp3"
    const char* ComboText;     // the options window's item: "MP3 file(*.MP3)"
    int EndCode;               // the ProgressCode that ends the encoder making it
    // The encoder component making it from a WAV file; null: the WAV itself is the output.
    std::unique_ptr<TEncoder> (*Encoder)(TEncodeStep& step);
};

// In setting order: row i is OutputFormat i.
extern const std::array<TOutputFormatRow, 8> OutputFormats;

// Whether `format` is a setting value of a row.
bool IsOutputFormat(int format);
// The setting value of a command-line word (any case); -1 for none.
int OutputFormatOfWord(const QString& word);
// The words in setting order.
QStringList OutputFormatWords();
// The words as a list in prose: "mp3, wav, ogg, wma, flac, opus, aac or alac".
QString OutputFormatWordList();

// ".mp3", ".wav", ".ogg", ".wma", ".flac", ".opus", ".m4a"; ".mp3" for a value outside them.
QString FormatExtension(int format);
// The notification that ends the encoder making `format` (the MP3 encoder's for MP3 and
// anything else).
int EncoderEndCode(int format);
