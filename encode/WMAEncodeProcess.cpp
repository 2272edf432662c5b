// wm8eutil as the WMA encoder.
#include "encode/WMAEncodeProcess.h"

#include "settings/HelperPaths.h"
#include "encode/Mp3EncodeProcess.h"
#include "settings/Lang.h"

const std::array<int, WMA_PROFILE_COUNT> WMAProfileSizeRatios = {
    7315,  8770,   10949,  7316,   8772,   10954, 14581, 17471, 21790, 28963, 43174,
    28963, 43134,  28999,  34720,  43214,  68873, 43134, 62208, 68264, 68264, 84458,
    67963, 84150,  84150,  110460, 131113, 133765, 165296, 113717, 167692, 220395, 261485};

int RepairWMAProfileIndex(TWMAOptions& options)
{
    if (options.BitRate < 0 || options.BitRate >= WMA_PROFILE_COUNT)
        options.BitRate = DEFAULT_WMA_PROFILE;
    return options.BitRate;
}

int WMAProfileIndex(const TWMAOptions& options)
{
    return options.BitRate < 0 || options.BitRate >= WMA_PROFILE_COUNT ? DEFAULT_WMA_PROFILE : options.BitRate;
}

int WMASizeRatio()
{
    RepairWMAProfileIndex(OptionsSetting.WMAOptions);
    return WMASizeRatio(OptionsSetting);
}

int WMASizeRatio(const TOptionsSetting& settings)
{
    return WMAProfileSizeRatios[size_t(WMAProfileIndex(settings.WMAOptions))];
}

QStringList TWMAEncodeProcess::EncodeArguments(TOptionsSetting& settings, const QString& input, const QString& output)
{
    RepairWMAProfileIndex(settings.WMAOptions);
    return EncodeArguments(std::as_const(settings), input, output);
}

QStringList TWMAEncodeProcess::EncodeArguments(const TOptionsSetting& settings, const QString& input,
                                               const QString& output)
{
    const int profile = WMAProfileIndex(settings.WMAOptions);
    QStringList args{QStringLiteral("-input"), PathArgument(input),
                     QStringLiteral("-output"), PathArgument(output),
                     QStringLiteral("-a_setting"), QString::fromLatin1(WMAProfiles[size_t(profile)])};
    if (settings.ID3Use) {
        if (!settings.CDInfo.Artist.isEmpty()) args << QStringLiteral("-author") << settings.CDInfo.Artist;
        if (!settings.CDInfo.Comment.isEmpty()) args << QStringLiteral("-description") << settings.CDInfo.Comment;
    }
    return args;
}

QString TWMAEncodeProcess::Program()
{
    return FindHelperProgram(QStringLiteral("wm8eutil"));
}

QStringList TWMAEncodeProcess::Arguments()
{
    if (!Settings) return EncodeArguments(OptionsSetting, InputFile, WrittenFile());
    return EncodeArguments(*Settings, InputFile, WrittenFile());
}

QString TWMAEncodeProcess::NoEncoderText()
{
    return LangString(QStringLiteral("RES_NoWmaEncoder"),
                      QStringLiteral("找不到WMA编码器，请与软件作者联系！"));
}

bool TWMAEncodeProcess::RefuseMissingProgram()
{
    if (Prompter) Prompter->ShowInformation(NoEncoderText());
    NotifyEnd(0);
    return true;
}
