#pragma once
// The WMA encoder process: "wm8eutil" encodes WAV to WMA with the profile chosen by
// WMAOptions.BitRate. Progress is posted; end notifications (Percent 5000) are sent, after
// the progress already posted. The overwrite question is skipped for Kind 1 only. A
// missing encoder is told with a message and ErrorCode 0.
#include "encode/EncodeProcess.h"
#include "settings/Options.h"

#include <array>

// Expected WAV input bytes per WMA output byte, times 1000, by profile index.
extern const std::array<int, WMA_PROFILE_COUNT> WMAProfileSizeRatios;

// WMAOptions.BitRate made valid: a value outside the table becomes the default profile,
// which is written back into the setting. Returns the index.
int RepairWMAProfileIndex(TWMAOptions& options);
// The same without the write-back (a job's copy of the settings).
int WMAProfileIndex(const TWMAOptions& options);
// The size ratio of the profile in use (after the repair).
int WMASizeRatio();
// The same for a job's copy of the settings (nothing written back).
int WMASizeRatio(const TOptionsSetting& settings);

class TWMAEncodeProcess : public TEncodeProcess {
    Q_OBJECT
public:
    explicit TWMAEncodeProcess(QObject* parent = nullptr) : TEncodeProcess(parent) {}

    // wm8eutil's arguments; author and description (each only when not empty) only with
    // ID3Use. Repairs settings.WMAOptions.BitRate.
    // The settings' profile repaired in place first (see RepairWMAProfileIndex).
    static QStringList EncodeArguments(TOptionsSetting& settings, const QString& input, const QString& output);
    static QStringList EncodeArguments(const TOptionsSetting& settings, const QString& input, const QString& output);

    QString Program() override;             // "wm8eutil" (program folder, then PATH)
    QStringList Arguments() override;       // from OptionsSetting

    // The message shown when the encoder is missing.
    static QString NoEncoderText();

protected:
    int EndPercent() const override { return ProgressCode::WmaEncoderEnd; }
    bool SkipsOverwriteQuestion(int kind) const override { return kind == 1; }
    bool SendsEndNotification() const override { return true; }
    TEncoderOutputParser::Mode ParserMode() const override { return TEncoderOutputParser::Mode::Wma; }
    bool RefuseMissingProgram() override;
};
