#pragma once
// The MP3 encoder process: "lame" encodes WAV to MP3 (Encode true) or decodes MP3 to WAV
// (Encode false). Notifications are posted; the end notification has Percent 2000. The
// overwrite question is skipped for the jobs of Kind 1 and 4.
#include "encode/EncodeProcess.h"
#include "settings/Options.h"

class TMp3EncodeProcess : public TEncodeProcess {
    Q_OBJECT
public:
    explicit TMp3EncodeProcess(QObject* parent = nullptr) : TEncodeProcess(parent) {}

    // lame's arguments: encoding by the MP3 settings, or decoding; then the two paths.
    static QStringList EncodeArguments(const TMp3Options& options, const QString& input, const QString& output);
    static QStringList DecodeArguments(const QString& input, const QString& output);

    QString Program() override;             // "lame" (program folder, then PATH; else the bare name)
    QStringList Arguments() override;       // from OptionsSetting.Mp3Options

protected:
    int EndPercent() const override { return ProgressCode::Mp3EncoderEnd; }
    bool SkipsOverwriteQuestion(int kind) const override { return kind == 1 || kind == 4; }
    bool SendsEndNotification() const override { return false; }
    TEncoderOutputParser::Mode ParserMode() const override;
};

// A path as a program argument: one that begins with "-" would read as an option.
QString PathArgument(const QString& path);
