// lame as the MP3 encoder and decoder.
#include "encode/Mp3EncodeProcess.h"

#include "settings/HelperPaths.h"

QString PathArgument(const QString& path)
{
    return path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
}

QStringList TMp3EncodeProcess::EncodeArguments(const TMp3Options& options, const QString& input,
                                               const QString& output)
{
    QStringList args{QStringLiteral("-b"), QString::number(options.BitRate)};
    static const char* const stereoModes[] = {"s", "j", "f", "d", "m"};
    if (options.StereoMode >= 0 && options.StereoMode < int(std::size(stereoModes)))
        args << QStringLiteral("-m") << QString::fromLatin1(stereoModes[options.StereoMode]);
    if (options.MpegQuality == 1) args << QStringLiteral("-f");
    if (options.MpegQuality == 2) args << QStringLiteral("-h");
    if (options.IsSelectVBR) {
        args << QStringLiteral("-V") << QString::number(options.VBRQuality)
             << QStringLiteral("-B") << QString::number(options.MaxBitRate);
        if (options.IsVBRHead) args << QStringLiteral("-t");
    }
    args << PathArgument(input) << PathArgument(output);
    return args;
}

QStringList TMp3EncodeProcess::DecodeArguments(const QString& input, const QString& output)
{
    return {QStringLiteral("--decode"), PathArgument(input), PathArgument(output)};
}

QString TMp3EncodeProcess::Program()
{
    // Not found: the bare name, whose start then fails as a process-creation error.
    const QString found = FindHelperProgram(QStringLiteral("lame"));
    return found.isEmpty() ? QStringLiteral("lame") : found;
}

QStringList TMp3EncodeProcess::Arguments()
{
    return Encode ? EncodeArguments((Settings ? *Settings : OptionsSetting).Mp3Options, InputFile, WrittenFile())
                  : DecodeArguments(InputFile, WrittenFile());
}

TEncoderOutputParser::Mode TMp3EncodeProcess::ParserMode() const
{
    return Encode ? TEncoderOutputParser::Mode::Mp3Encode : TEncoderOutputParser::Mode::Mp3Decode;
}
