#pragma once
// The settings record of the program and its file "options.ini".
#include "settings/CDInfo.h"
#include <QMap>
#include <QString>
#include <array>
#include <cstdint>

struct TCommonOptions {
    QString OutputFolder;          // with trailing separator
    int32_t OutputFormat = 0;      // 0 MP3, 1 WAV, 2 OGG, 3 WMA, 4 FLAC
    bool IsKeepWav = false;
    bool IsNormalize = false;
    int32_t NormalizePercent = 95;
    bool EnableRipTime = false;
    int32_t RipTime = 0;
    // How output files are named and foldered under OutputFolder ("%A/%D/%N %T"); empty:
    // the entry's title, as always.
    QString FileNamePattern;
    // Encoders working at once beside the reader of a rip; 0: one per core.
    int32_t Jobs = 0;
    // A plain-text rip log beside the files of every rip.
    bool WriteRipLog = true;
    // What a job does with an output file that already exists (TExisting: 0 ask, 1 skip,
    // 2 rename, 3 overwrite).
    int32_t Existing = 0;
    // ReplayGain values in the tags of every file a job makes: 1 on, 0 off (others load as 1).
    int32_t ReplayGain = 1;
    // Formats a rip makes besides OutputFormat from the same read: the format table's
    // command-line names ("mp3,opus"); unknown names are ignored. Empty: none.
    QString ExtraFormats{};
    // A cue sheet beside a rip of separate files: 1 on, 0 off.
    int32_t CueSheet = 1;
    // Pre-emphasised tracks de-emphasised as they are read: 1 on, 0 off.
    int32_t DeEmphasis = 0;
    // A disc whose titles are known (cache, CD-Text, a single lookup match) is ripped as it
    // arrives, its ticked tracks with the current settings: 1 on, 0 off (others load as 0).
    int32_t AutoRip = 0;
    // The drive is ejected after a rip that made every track (not after a stop or a
    // failure): 1 on, 0 off (others load as 0).
    int32_t EjectWhenDone = 0;
};

struct TMp3Options {
    bool IsSelectVBR = false;
    bool IsVBRHead = false;
    int32_t BitRate = 128;
    int32_t MaxBitRate = 320;
    int32_t MpegQuality = 0;
    int32_t VBRQuality = 4;
    int32_t StereoMode = 1;
};

struct TOggOptions {
    bool IsUseCompress = true;
    int32_t CompressPosition = 30;  // 30..100
    int32_t MaxBitRate = 0;
    int32_t NomalBitRate = 0;
    int32_t MinBitRate = 0;
};

struct TWMAOptions {
    int32_t BitRate = 8;            // index into WMAProfiles
};

struct TFlacOptions {
    int32_t Level = 5;              // 0..8; other values load as 5
    bool Cuesheet = false;          // rip jobs: the whole disc as one file with a CUE sheet
};

// Ogg Opus: VBR at Bitrate kbit/s (6..510; other values load held to the range).
struct TOpusOptions {
    int32_t Bitrate = 160;
};

// AAC-LC in MP4: Bitrate kbit/s (64..320; other values load held to the range).
struct TAacOptions {
    int32_t Bitrate = 256;
};

struct TCDOptions {
    int32_t Index = -1;             // drive position; -1 = not chosen (first drive)
    bool CDDb = false;
    bool TestAndCopy = false;       // rips read every track twice and compare the CRCs
    // "secure": every track read with the drive's paranoia settings; "burst": read fast,
    // and only a track no database confirms is read again in full paranoia.
    QString Strategy = QStringLiteral("secure");
    // Read speed asked of the drive before a rip, as a multiple of 1x (176.4 kB/s); 0: the
    // drive's own choice. Values outside 0..MaxReadSpeed load as 0.
    int32_t Speed = 0;
};
constexpr int32_t MaxReadSpeed = 72;

struct TRecordOptions {
    bool SaveMp3 = false;
};

constexpr const char* DEFAULT_CDDB_SERVER = "gnudb.gnudb.org";
constexpr const char* DEFAULT_CDDB_SCRIPT = "/~cddb/cddb.cgi";

struct TQueryCDDB {
    QString Server = QString::fromLatin1(DEFAULT_CDDB_SERVER);
    QString Script = QString::fromLatin1(DEFAULT_CDDB_SCRIPT);
    bool UseProxy = false;
    QString ProxyAddress;
    QString Port = QStringLiteral("80");
};

constexpr const char* DEFAULT_ACCURATERIP_URL = "http://www.accuraterip.com/accuraterip";

struct TAccurateRipOptions {
    QString Url = QString::fromLatin1(DEFAULT_ACCURATERIP_URL);
};

constexpr const char* DEFAULT_CTDB_URL = "http://db.cuetools.net";

// The CUETools database: asked after a rip ([CTDB] Use) at Url (an address without
// http:// or https:// and a host loads as the default).
struct TCtdbOptions {
    QString Url = QString::fromLatin1(DEFAULT_CTDB_URL);
    bool Use = true;
    bool Repair = true;             // a lossless rip the database's parity can mend is mended
};

constexpr const char* DEFAULT_MUSICBRAINZ_SERVER = "https://musicbrainz.org";
constexpr const char* DEFAULT_COVERART_SERVER = "https://coverartarchive.org";

struct TMusicBrainzOptions {
    QString Server = QString::fromLatin1(DEFAULT_MUSICBRAINZ_SERVER);
    QString CoverArt = QString::fromLatin1(DEFAULT_COVERART_SERVER);
    bool Cover = true;
};

struct TOptionsSetting {
    TCommonOptions CommonOptions;
    TMp3Options Mp3Options;
    TOggOptions OggOptions;
    TWMAOptions WMAOptions;
    TFlacOptions FlacOptions;
    TOpusOptions OpusOptions;
    TAacOptions AacOptions;
    TCDOptions CDOptions;
    TRecordOptions RecordOptions;
    TCDInfo CDInfo;
    TQueryCDDB QueryCDDB;
    TAccurateRipOptions AccurateRip;
    TCtdbOptions Ctdb;
    TMusicBrainzOptions MusicBrainz;
    // Read offset correction in samples per drive ("vendor_model", "Image" for disc images),
    // section [ReadOffsets]; values outside -5880..5880 load as 0.
    QMap<QString, int32_t> ReadOffsets;
    bool ID3Use = false;
    // The tag of MP3 files: 24 ID3v2.4 (UTF-8), 23 ID3v2.3 (UTF-16), 1 ID3v1 only; each ID3v2
    // kind with the ID3v1 tag beside it. Other values load as 24.
    int32_t ID3Version = 24;
    QString Lan = QStringLiteral("English");
    // The language of windows and messages: "Chinese" (the default) or "English". Lan above
    // still names a message file of its own (see settings/Lang.h).
    QString Interface = QStringLiteral("Chinese");
};

// A default-constructed record holds the defaults of every setting; the default output
// folder, which depends on the machine, is filled in by LoadOptions.
extern TOptionsSetting OptionsSetting;

void LoadOptions();
bool SaveOptions();                 // false when "options.ini" could not be written
QString SettingsFolder();           // "$XDG_CONFIG_HOME/Varnel软件/CD音频转换/", created; trailing '/'
QString OptionsFileName();          // SettingsFolder() + "options.ini"
QString OutputFormatName(int format);

constexpr int WMA_PROFILE_COUNT = 33;
constexpr int DEFAULT_WMA_PROFILE = 8;
extern const std::array<const char*, WMA_PROFILE_COUNT> WMAProfiles;      // "64_44_2"
extern const std::array<const char*, WMA_PROFILE_COUNT> WMAProfileTexts;  // "44.100 kHz,  64 kbit/s, Stereo"

// The MP3 bitrates in kbit/s that the encoder settings offer (constant, minimum and maximum).
constexpr int MP3_BITRATE_COUNT = 14;
constexpr std::array<int32_t, MP3_BITRATE_COUNT> Mp3BitRates = {32,  40,  48,  56,  64,  80,  96,
                                                                112, 128, 160, 192, 224, 256, 320};

constexpr int OGG_BITRATE_COUNT = 15;
extern const std::array<const char*, OGG_BITRATE_COUNT> OggBitRateTexts;  // " Default", " 45 kbit/s", ...
