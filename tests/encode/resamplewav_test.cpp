// The WAV format converter's controller: input and output choices, the Convert rules, the
// end of a run (success, error, abort, close), and the command line that drives it; on
// files made by sox and ffmpeg.
#include "audio/WaveTestUtil.h"
#include "jobs/ResampleWav.h"
#include "fixtures/CannedPrompter.h"
#include "settings/Lang.h"
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace WaveTest;

namespace {

class ResampleWavTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return Dir.filePath(name); }
    // A sine tone made by sox; Format holds sox's output options.
    QString Sox(const QString& name, const QStringList& format, const QString& seconds = "0.5")
    {
        const QString file = Path(name);
        EXPECT_TRUE(Tool("sox", QStringList{"-n", "-r", "44100", "-c", "2"} + format
                                    + QStringList{file, "synth", seconds, "sine", "440", "sine", "1000"}));
        return file;
    }
    // Chooses the input and the output as the two buttons do.
    void Choose(const QString& in, const QString& out)
    {
        Prompter.FileAnswers = {{in}, {out}};
        Conv.Button1Click();
        Conv.Button2Click();
    }
    // Converts and waits for the done event; the status text at the end.
    QString Run(const TResampleSettings& s = {})
    {
        Conv.Button3Click(s);
        EXPECT_TRUE(PumpUntil([&] { return !Conv.Converting(); }));
        return Conv.StatusText();
    }

    QTemporaryDir Dir;
    TCannedPrompter Prompter;
    TResampleWav Conv{&Prompter};
};

TEST_F(ResampleWavTest, OutputNamesEndingInWavOnly)
{
    const QString in = Sox("in.wav", {"-b", "16"});
    // ".wma" (which the dialog offers) and names without the extension are ignored.
    Choose(in, Path("out.wma"));
    EXPECT_EQ(Conv.OutputName(), "");
    Prompter.FileAnswers = {{Path("outwav")}};
    Conv.Button2Click();
    EXPECT_EQ(Conv.OutputName(), "");
    Conv.Button3Click({});
    EXPECT_EQ(Prompter.Texts("error"), QStringList{"The output file name is not set!"});
    EXPECT_FALSE(Conv.Converting());

    Prompter.FileAnswers = {{Path("OUT.WAV")}};
    Conv.Button2Click();
    EXPECT_EQ(Conv.OutputName(), "OUT.WAV");
    EXPECT_EQ(Run(), TResampleWav::SuccessText());
    EXPECT_TRUE(QFile::exists(Path("OUT.WAV")));
    // A later ".wma" leaves the chosen output as it is.
    Prompter.FileAnswers = {{Path("x.wma")}};
    Conv.Button2Click();
    EXPECT_EQ(Conv.OutputName(), "OUT.WAV");
}

TEST_F(ResampleWavTest, InputLabelsOfFilesMadeByPeers)
{
    struct Case {
        const char* tool;
        QStringList format;
        QString channels, bits, coding;
    };
    const Case cases[] = {
        {"sox", {"-e", "unsigned", "-b", "8"}, "2", "8", "Raw PCM"},
        {"sox", {"-b", "16"}, "2", "16", "Raw PCM"},
        {"sox", {"-b", "24"}, "2", "24", "WaveFormatExt (PCM)"},
        {"sox", {"-e", "float", "-b", "32"}, "2", "32", "IEEE Float"},
        {"sox", {"-e", "ima-adpcm"}, "2", "16", "DVI IMA ADPCM"},
        {"sox", {"-e", "ms-adpcm"}, "2", "16", "Microsoft ADPCM"},
        {"ffmpeg", {"-c:a", "pcm_u8"}, "2", "8", "Raw PCM"},
        {"ffmpeg", {"-c:a", "pcm_s24le"}, "2", "24", "WaveFormatExt (PCM)"},
        {"ffmpeg", {"-c:a", "pcm_f32le"}, "2", "32", "WaveFormatExt (IEEE Float)"},
        {"ffmpeg", {"-c:a", "adpcm_ima_wav"}, "2", "16", "DVI IMA ADPCM"},
        {"ffmpeg", {"-c:a", "adpcm_ms"}, "2", "16", "Microsoft ADPCM"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const QString name = QStringLiteral("in%1.wav").arg(++n);
        if (QString(c.tool) == "sox")
            Sox(name, c.format);
        else
            ASSERT_TRUE(Tool("ffmpeg", QStringList{"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=0.5:r=44100", "-ac", "2"}
                                           + c.format + QStringList{Path(name)}));
        Conv.SetInputFile(Path(name));
        SCOPED_TRACE(name.toStdString() + " " + c.format.join(' ').toStdString());
        EXPECT_EQ(Conv.InputName(), name);
        EXPECT_EQ(Conv.InputChannels(), c.channels);
        EXPECT_EQ(Conv.InputSampleRate(), "44100");
        EXPECT_EQ(Conv.InputBitsPerSample(), c.bits);
        EXPECT_EQ(Conv.InputCoding(), c.coding);
    }
    // A file that cannot be read clears the labels and says so.
    ASSERT_TRUE(WriteAll(Path("text.wav"), "not a wave file"));
    QSignalSpy status(&Conv, &TResampleWav::StatusTextChanged);
    Conv.SetInputFile(Path("text.wav"));
    EXPECT_EQ(Conv.InputName() + Conv.InputChannels() + Conv.InputSampleRate() + Conv.InputBitsPerSample() + Conv.InputCoding(), "");
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(Conv.StatusText(), "text.wav: " + LangString("RES_Resample_Invalid_Input", "不是可以转换的WAV文件。"));
    // Convert then does nothing.
    Prompter.FileAnswers = {{Path("out.wav")}};
    Conv.Button2Click();
    Conv.Button3Click({});
    EXPECT_FALSE(Conv.Converting());
    EXPECT_FALSE(QFile::exists(Path("out.wav")));
}

TEST_F(ResampleWavTest, InitialSettingsGiveMono8Bit22050)
{
    Choose(Sox("in.wav", {"-b", "16"}), Path("out.wav"));
    QSignalSpy finished(&Conv, &TResampleWav::Finished);
    EXPECT_EQ(Run(), "Success!");
    EXPECT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.value(0).value(0).toBool(), true);
    EXPECT_EQ(Conv.Progress(), 100);
    EXPECT_EQ(Conv.AudioConverter1()->OutBitsPerSample(), 8);
    EXPECT_EQ(Conv.AudioConverter1()->OutChannels(), 1);
    TWaveIn out;
    out.SetFileName(Path("out.wav"));
    EXPECT_EQ(out.WavType(), wtPCM);
    EXPECT_EQ(out.Channels(), 1);
    EXPECT_EQ(out.SampleRate(), 22050);
    EXPECT_EQ(out.BitsPerSample(), 8);
    EXPECT_EQ(out.TotalSamples(), 11025);
}

TEST_F(ResampleWavTest, SameChannelsBitsAndRatePassTheAudioUnchanged)
{
    const QString in = Sox("in.wav", {"-b", "16"});
    Choose(in, Path("out.wav"));
    TResampleSettings s;
    s.Channels = 2;
    s.BitsPerSample = 16;
    s.SampleRate = " 44100";
    EXPECT_EQ(Run(s), "Success!");
    EXPECT_EQ(Conv.AudioConverter1()->OutBitsPerSample(), 0);
    EXPECT_EQ(Conv.AudioConverter1()->OutChannels(), 0);
    EXPECT_EQ(Conv.FastResampler1()->OutSampleRate(), 44100u);
    EXPECT_EQ(ReadAll(Path("out.wav")).mid(44), ReadAll(in).mid(44));
}

TEST_F(ResampleWavTest, ImaAdpcmNeeds16Bits)
{
    Choose(Sox("in.wav", {"-b", "16"}), Path("ima.wav"));
    TResampleSettings s;
    s.Coding = 1;
    s.BitsPerSample = 16;
    EXPECT_EQ(Run(s), "Success!");
    QByteArray info;
    ASSERT_TRUE(Tool("soxi", {Path("ima.wav")}, &info));
    EXPECT_TRUE(info.contains("IMA ADPCM")) << info.toStdString();
    EXPECT_TRUE(info.contains("22050")) << info.toStdString();
    const QByteArray ima = ReadAll(Path("ima.wav"));
    EXPECT_EQ(Wav::Get16(reinterpret_cast<const uint8_t*>(ima.constData()) + 20), Wav::TagDVIADPCM);
    EXPECT_EQ(Wav::Get32(reinterpret_cast<const uint8_t*>(ima.constData()) + 48), 11025u);   // fact: frames
    EXPECT_EQ(ima.size() - 60, 11 * 512);                                                      // 1017 frames a block
    ASSERT_TRUE(Tool("sox", {Path("ima.wav"), "-t", "raw", Path("ima.raw")}));

    // With 8 bits the writer refuses before it creates the file; an existing file stays.
    s.BitsPerSample = 8;
    Prompter.FileAnswers = {{Path("ima8.wav")}};
    Conv.Button2Click();
    EXPECT_EQ(Run(s), "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_FALSE(QFile::exists(Path("ima8.wav")));
    Prompter.FileAnswers = {{Path("ima.wav")}};
    Conv.Button2Click();
    EXPECT_EQ(Run(s), "Cannot encode 8 bit sound into ADPCM.");
    EXPECT_EQ(ReadAll(Path("ima.wav")), ima);
}

TEST_F(ResampleWavTest, RatesThatAreNoNumberOrOutOfRangeStopBeforeTheRun)
{
    Choose(Sox("in.wav", {"-b", "16"}), Path("out.wav"));
    const QString range = LangString("RES_Resample_Rate_Range", "采样频率必须在1000到192000 Hz之间。");
    const struct {
        const char* text;
        QString error;
    } cases[] = {
        {"abc", "'abc' is not a valid integer value"},
        {"", "'' is not a valid integer value"},
        {"22050.5", "'22050.5' is not a valid integer value"},
        {"-5", range + " (-5)"},
        {"0", range + " (0)"},
        {"999", range + " (999)"},
        {"192001", range + " (192001)"},
    };
    for (const auto& c : cases) {
        Prompter.Log.clear();
        TResampleSettings s;
        s.SampleRate = c.text;
        Conv.Button3Click(s);
        EXPECT_EQ(Prompter.Texts("error"), QStringList{c.error}) << c.text;
        EXPECT_FALSE(Conv.Converting());
        EXPECT_FALSE(QFile::exists(Path("out.wav"))) << c.text;
    }
    TResampleSettings s;
    s.SampleRate = "1000";
    EXPECT_EQ(Run(s), "Success!");
}

TEST_F(ResampleWavTest, TheInputIsNeverTheOutput)
{
    const QString in = Sox("in.wav", {"-b", "16"});
    const QByteArray before = ReadAll(in);
    ASSERT_TRUE(QFile::link(in, Path("soft.wav")));
    ASSERT_EQ(::link(QFile::encodeName(in).constData(), QFile::encodeName(Path("hard.wav")).constData()), 0);
    for (const QString& out : {in, Path("soft.wav"), Path("hard.wav")}) {
        Choose(in, out);
        Conv.Button3Click({});
        EXPECT_FALSE(Conv.Converting());
        EXPECT_EQ(Conv.StatusText(), LangString("RES_Resample_Same_File", "输出文件不能是输入文件。"));
        PumpUntil([&] { return !Conv.Converting(); });
        EXPECT_EQ(ReadAll(in), before);
    }
}

TEST_F(ResampleWavTest, AbortKeepsATruthfulShortFile)
{
    const QString in = Sox("in.wav", {"-b", "16"}, "30");
    Choose(in, Path("out.wav"));
    TResampleSettings s;
    s.SampleRate = "48000";
    Conv.Button3Click(s);
    ASSERT_TRUE(Conv.Converting());
    // Held paused at once, so that the abort surely comes before the end however fast the
    // conversion runs.
    Conv.WaveOut1()->Pause();
    EXPECT_EQ(Conv.StatusText(), "Converting...");
    // The input and output stay as they are while the worker reads them.
    Conv.SetInputFile(Sox("other.wav", {"-b", "8"}));
    Prompter.FileAnswers = {{Path("other-out.wav")}};
    Conv.Button2Click();
    EXPECT_EQ(Conv.InputBitsPerSample(), "16");
    EXPECT_EQ(Conv.OutputName(), "out.wav");
    Conv.Abort();
    ASSERT_TRUE(PumpUntil([&] { return !Conv.Converting(); }));
    EXPECT_EQ(Conv.StatusText(), "Aborted");
    const QByteArray out = ReadAll(Path("out.wav"));
    const auto* h = reinterpret_cast<const uint8_t*>(out.constData());
    ASSERT_GE(out.size(), 44);
    EXPECT_LT(out.size(), 44 + 30 * 48000);
    EXPECT_EQ(Wav::Get32(h + 4), uint32_t(out.size() - 8));
    EXPECT_EQ(Wav::Get32(h + 40), uint32_t(out.size() - 44));
    // Convert works again.
    EXPECT_EQ(Run(), "Success!");
}

TEST_F(ResampleWavTest, AFailedRunRemovesTheFileItWrote)
{
    const QString in = Sox("in.wav", {"-b", "16"}, "2");
    Choose(in, Path("out.wav"));
    TResampleSettings s;
    s.Channels = 2;
    s.BitsPerSample = 16;
    s.SampleRate = "44100";
    // Writes past 64 KiB fail (the size limit signal ignored, so write reports it).
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 65536;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString status = Run(s);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(status, "Error writing wave file");
    EXPECT_FALSE(QFile::exists(Path("out.wav")));

    // Over an existing file, a failed run or a closed window leaves it as it was, and no
    // file of the run stays beside it.
    ASSERT_TRUE(WriteAll(Path("out.wav"), "keep me"));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(Run(s), "Error writing wave file");
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    Conv.Button3Click(s);
    Conv.Close();
    EXPECT_EQ(ReadAll(Path("out.wav")), "keep me");
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    EXPECT_EQ(Run(s), "Success!");
    EXPECT_GT(ReadAll(Path("out.wav")).size(), 44);
}

TEST_F(ResampleWavTest, CloseDuringARunStopsWithoutLaterEvents)
{
    const QString in = Sox("in.wav", {"-b", "16"}, "30");
    for (int round = 0; round < 2; ++round) {
        auto conv = std::make_unique<TResampleWav>(&Prompter);
        QSignalSpy finished(conv.get(), &TResampleWav::Finished);
        QSignalSpy progress(conv.get(), &TResampleWav::ProgressChanged);
        Prompter.FileAnswers = {{in}, {Path("out.wav")}};
        conv->Button1Click();
        conv->Button2Click();
        conv->Button3Click({});
        ASSERT_TRUE(conv->Converting());
        PumpUntil([&] { return progress.count() > 0; });
        if (round == 0) {
            conv->Close();
            EXPECT_FALSE(conv->Converting());
            EXPECT_FALSE(conv->WaveOut1()->Busy());
            const int seen = progress.count();
            EXPECT_TRUE(DrainEvents());
            EXPECT_EQ(finished.count(), 0);
            EXPECT_EQ(progress.count(), seen);
        }
        conv.reset();   // the second round: destroyed while running
        EXPECT_TRUE(DrainEvents());
    }
}

TEST_F(ResampleWavTest, CommandLinePrintsLabelsAndStatusTexts)
{
    const QString in = Sox("in.wav", {"-b", "16"});
    QByteArray out, err;
    EXPECT_EQ(RunProgram(VARNELCD_CLI, {"wav2wav", in, Path("o.wav"), "--rate", "22050", "--adpcm"}, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(QString::fromUtf8(out), "input\tin.wav\t2\t44100\t16\tRaw PCM\nstatus\tConverting...\nstatus\tSuccess!\n");
    TWaveIn o;
    o.SetFileName(Path("o.wav"));
    EXPECT_EQ(o.WavType(), wtDVIADPCM);
    EXPECT_EQ(o.Channels(), 2);
    o.SetFileName(QString());

    EXPECT_EQ(RunProgram(VARNELCD_CLI, {"wav2wav", in, Path("o.wav"), "--adpcm", "--bits", "8"}, &out, &err), 1);
    EXPECT_TRUE(QString::fromUtf8(out).endsWith("status\tCannot encode 8 bit sound into ADPCM.\n")) << out.toStdString();
    EXPECT_EQ(RunProgram(VARNELCD_CLI, {"wav2wav", in, Path("o.wma")}, &out, &err), 1);
    EXPECT_EQ(QString::fromUtf8(err), "varnelcd-cli: The output file name is not set!\n");
}

} // namespace
