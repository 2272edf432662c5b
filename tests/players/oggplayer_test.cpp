// The OGG player's controller and its command line, end to end on SDL's disk driver, which
// writes what the card was given to a file at real-time pace. The Ogg files are a fraction
// of a second to two seconds long, made by oggenc; oggdec is the judge of the samples.
// Silent frames are left out of every comparison: the driver writes silence while the
// device is paused, and a jump plays the cleared read-ahead as silence.
#include "fixtures/AuTestComponents.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/TestUtil.h"
#include "players/OggPlayer.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstring>

namespace {

struct TToolResult {
    int code = -1;
    QByteArray out;
};

// Runs a program with fork and exec (ThreadSanitizer cannot follow QProcess's way of
// starting children); standard output is collected, standard error goes to ErrFile.
TToolResult RunTool(const QString& Program, const QStringList& Args, const QString& ErrFile = "/dev/null")
{
    std::vector<QByteArray> words{QFile::encodeName(Program)};
    for (const QString& a : Args)
        words.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const QByteArray err = QFile::encodeName(ErrFile);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int e = ::open(err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (e >= 0)
            ::dup2(e, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    TToolResult r;
    char chunk[4096];
    for (ssize_t n; pid > 0 && ((n = ::read(fds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR));)
        if (n > 0)
            r.out.append(chunk, n);
    ::close(fds[0]);
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.code = pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// Frames without their silent ones (16-bit samples).
QByteArray Audible(const QByteArray& Data, int Channels)
{
    const int frame = 2 * Channels;
    QByteArray out;
    for (qsizetype i = 0; i + frame <= Data.size(); i += frame) {
        const char* f = Data.constData() + i;
        if (std::any_of(f, f + frame, [](char c) { return c != 0; }))
            out.append(f, frame);
    }
    return out;
}

class OggPlayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        card = Path("card.raw");
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(card));
    }
    void TearDown() override { qputenv("SDL_AUDIODRIVER", "dummy"); }

    QString Path(const QString& Name) const { return dir.filePath(Name); }

    // An Ogg file of noise (different on every channel) made by oggenc; empty on failure.
    QString MakeOgg(const QString& Name, int Channels, int Rate, int Ms)
    {
        QByteArray raw;
        uint32_t x = 12345u + uint32_t(Channels);
        const int64_t samples = int64_t(Rate) * Ms / 1000 * Channels;
        for (int64_t i = 0; i < samples; ++i) {
            x = x * 1664525u + 1013904223u;
            const auto s = int16_t(int32_t(x >> 16) % 12000 - 6000);
            raw.append(char(s & 0xff)).append(char((s >> 8) & 0xff));
        }
        const QString rawPath = Path(Name + ".raw");
        const QString ogg = Path(Name);
        if (!WriteAll(rawPath, raw)
            || RunTool("oggenc", {"-Q", "-r", "-B", "16", "-C", QString::number(Channels), "-R",
                                  QString::number(Rate), "-q", "2", "-o", ogg, rawPath}).code != 0)
            return {};
        return ogg;
    }

    // What oggdec decodes from an Ogg file (16-bit little-endian PCM).
    QByteArray Decoded(const QString& Ogg)
    {
        const QString raw = Ogg + ".dec";
        EXPECT_EQ(RunTool("oggdec", {"-Q", "-R", "-o", raw, Ogg}).code, 0);
        return ReadAll(raw);
    }

    // Plays to the done event (a watchdog only), While running after the start.
    void PlayToEnd(TOggPlayer& Player, const QString& Ogg, const std::function<void()>& While = {})
    {
        bool finished = false;
        QObject::connect(&Player, &TOggPlayer::Finished, [&] { finished = true; });
        ASSERT_TRUE(Player.Play(Ogg));
        EXPECT_EQ(Player.State(), TOggPlayerState::Playing);
        EXPECT_FALSE(Player.OpenEnabled());
        EXPECT_TRUE(Player.ScrollEnabled());
        if (While)
            While();
        ASSERT_TRUE(PumpUntil([&] { return finished; }));
        EXPECT_EQ(Player.State(), TOggPlayerState::Idle);
        EXPECT_TRUE(Player.OpenEnabled());
        EXPECT_FALSE(Player.ScrollEnabled());
        EXPECT_FALSE(Player.TimerActive());
    }

    QTemporaryDir dir;
    QString card;
    TCannedPrompter prompter;
};

} // namespace

TEST_F(OggPlayer, CardGetsOggdecsSamplesWithTheBalanceApplied)
{
    struct Case {
        const char* name;
        int channels, balance;
        int silenced;       // the channel balanced away, -1: none
    };
    for (const Case& c : {Case{"stereo at the centre", 2, 5, -1}, Case{"stereo, left only", 2, 0, 1},
                          Case{"stereo, right only", 2, 10, 0}, Case{"mono on both sides", 1, 5, -1},
                          Case{"six channels pass", 6, 0, -1}}) {
        SCOPED_TRACE(c.name);
        const QString ogg = MakeOgg(QString("c%1b%2.ogg").arg(c.channels).arg(c.balance), c.channels, 22050, 400);
        ASSERT_FALSE(ogg.isEmpty());
        QByteArray expect = Decoded(ogg);
        ASSERT_GT(expect.size(), 8000);
        int cardChannels = c.channels;
        if (c.channels == 1) {
            QByteArray both;
            for (qsizetype i = 0; i + 2 <= expect.size(); i += 2)
                both.append(expect.mid(i, 2)).append(expect.mid(i, 2));
            expect = both;
            cardChannels = 2;
        }
        for (qsizetype i = c.silenced * 2; c.silenced >= 0 && i + 2 <= expect.size(); i += 4)
            expect[i] = expect[i + 1] = 0;

        TOggPlayer player(&prompter);
        player.SetBalancePosition(c.balance);
        PlayToEnd(player, ogg);
        EXPECT_EQ(player.LastError(), "");
        EXPECT_EQ(player.SampleRateText(), "22050 bps");
        const QByteArray got = Audible(ReadAll(card), cardChannels);
        EXPECT_EQ(got.size(), Audible(expect, cardChannels).size());
        EXPECT_TRUE(got == Audible(expect, cardChannels));
    }
    EXPECT_TRUE(prompter.Log.isEmpty());
}

// A scroll to 50 while paused: the output stays paused, the play time is half the length,
// and after the resume the card goes on with oggdec's frames from the jump's target (the
// reader's position plus (50 - progress) * 10 thousandths of the length) to the last one.
TEST_F(OggPlayer, ScrollWhilePausedJumpsFromTheProgressAndStaysPaused)
{
    const QString ogg = MakeOgg("seek.ogg", 2, 22050, 2000);
    ASSERT_FALSE(ogg.isEmpty());
    const QByteArray all = Decoded(ogg);
    TOggPlayer player(&prompter);
    int64_t target = -1;
    PlayToEnd(player, ogg, [&] {
        ASSERT_TRUE(PumpUntil([&] { return player.Output().Progress() >= 20; }));
        player.PauseResume();
        ASSERT_EQ(player.State(), TOggPlayerState::Paused);
        EXPECT_FALSE(player.TimerActive());
        const int progress = player.Output().Progress();
        TVorbisIn& in = player.Reader();
        const double ratio = double(in.Position()) / double(in.Size()) + (50 - progress) / 100.0;
        target = int64_t(std::nearbyint(double(in.TotalSamples()) * ratio));
        player.Scroll(50);
        EXPECT_EQ(player.Output().Status(), tosPaused);
        EXPECT_EQ(player.State(), TOggPlayerState::Paused);
        EXPECT_EQ(player.PlayTimeMs(), player.Reader().TotalTime() * 500);
        EXPECT_EQ(player.CurrentTimeText(), MinutesSeconds(player.Reader().TotalTime() / 2));
        player.PauseResume();
        EXPECT_EQ(player.State(), TOggPlayerState::Playing);
        EXPECT_TRUE(player.TimerActive());
    });
    ASSERT_GT(target, 0);
    const QByteArray got = Audible(ReadAll(card), 2);
    const QByteArray whole = Audible(all, 2);
    qsizetype head = 0;
    while (head < got.size() && head < whole.size() && got[head] == whole[head])
        ++head;
    head -= head % 4;
    EXPECT_GT(head, 0);
    const QByteArray rest = Audible(all.mid(target * 4), 2);
    EXPECT_EQ(got.size() - head, rest.size());
    EXPECT_TRUE(got.mid(head) == rest);
}

TEST_F(OggPlayer, LabelsAndThePlayTime)
{
    for (const auto& [seconds, text] : std::initializer_list<std::pair<int, const char*>>{
             {59, "0:59"}, {125, "2:05"}, {600, "10:00"}})
        EXPECT_EQ(MinutesSeconds(seconds), text) << seconds;

    const QString ogg = MakeOgg("Night Song.OGG", 1, 8000, 1000);
    ASSERT_FALSE(ogg.isEmpty());
    TOggPlayer player(&prompter);
    EXPECT_EQ(player.FileNameText(), "OGG");
    EXPECT_EQ(player.TotalTimeText(), "0:00");
    PlayToEnd(player, ogg, [&] {
        EXPECT_EQ(player.FileNameText(), "Night Song");
        EXPECT_EQ(player.SampleRateText(), "8000 bps");
        EXPECT_EQ(player.TotalTimeText(), "0:01");
        EXPECT_TRUE(player.Comments().isEmpty());
        EXPECT_TRUE(player.TimerActive());
        // The counter is not tied to the audio: it stops at the file's length.
        for (int i = 0; i < 4; ++i)
            player.TimerTick();
        EXPECT_EQ(player.PlayTimeMs(), 1000);
        EXPECT_EQ(player.CurrentTimeText(), "0:01");
    });
    // Labels stay on show; Pause when idle switches the timer on but plays nothing.
    EXPECT_EQ(player.FileNameText(), "Night Song");
    player.PauseResume();
    EXPECT_TRUE(player.TimerActive());
    EXPECT_EQ(player.State(), TOggPlayerState::Idle);
    EXPECT_EQ(player.Output().Status(), tosIdle);
}

TEST_F(OggPlayer, OpenAsksForAFileAndRefusesOtherNames)
{
    const QString good = MakeOgg("good.ogg", 2, 8000, 300);
    ASSERT_FALSE(good.isEmpty());
    ASSERT_TRUE(QFile::copy(good, Path("song.ogg.bak")));
    ASSERT_TRUE(WriteAll(Path("empty.ogg"), {}));
    const QByteArray bytes = ReadAll(good);
    ASSERT_TRUE(WriteAll(Path("cut.ogg"), bytes.left(bytes.size() * 2 / 3)));
    // The headers whole, then noise from the middle of the first audio page on.
    qsizetype audio = 0;
    for (qsizetype at = bytes.indexOf("OggS"); at >= 0 && audio == 0; at = bytes.indexOf("OggS", at + 4)) {
        int64_t granule = 0;
        std::memcpy(&granule, bytes.constData() + at + 6, 8);
        if (granule > 0)
            audio = at;
    }
    ASSERT_GT(audio, 0);
    QByteArray garbage = bytes.left(audio + 100);
    for (int i = 0; i < 20000; ++i)
        garbage.append(char((i * 7919) >> 3));
    ASSERT_TRUE(WriteAll(Path("garbage.ogg"), garbage));

    struct Case {
        const char* name;
        QString file;
        QStringList shown;      // errors shown
        bool plays;
    };
    for (const Case& c : {Case{"cancelled", "", {}, false},
                          Case{"a .bak of a valid file", Path("song.ogg.bak"), {"Ogg file is not valid."}, false},
                          Case{"0 bytes", Path("empty.ogg"), {"Ogg file is not valid."}, false},
                          Case{"no such file", Path("none.ogg"), {"Ogg file is not valid."}, false},
                          Case{"truncated", Path("cut.ogg"), {}, true},
                          Case{"garbage after the headers", Path("garbage.ogg"), {}, true}}) {
        SCOPED_TRACE(c.name);
        TCannedPrompter canned;
        canned.FileAnswers.push_back(c.file.isEmpty() ? QStringList() : QStringList{c.file});
        TOggPlayer player(&canned);
        bool finished = false;
        QObject::connect(&player, &TOggPlayer::Finished, [&] { finished = true; });
        player.OpenAndPlay();
        EXPECT_EQ(canned.Texts("open").size(), 1);
        EXPECT_EQ(player.State(), c.plays ? TOggPlayerState::Playing : TOggPlayerState::Idle);
        if (c.plays) {
            EXPECT_TRUE(PumpUntil([&] { return finished; }));
        }
        EXPECT_EQ(canned.Texts("error"), c.shown);
        EXPECT_TRUE(player.OpenEnabled());
        EXPECT_EQ(player.State(), TOggPlayerState::Idle);
    }
}

TEST_F(OggPlayer, OutputErrorsAreShownOnce)
{
    const QString ogg = MakeOgg("quiet.OGG", 2, 8000, 300);
    ASSERT_FALSE(ogg.isEmpty());
    struct Case {
        const char* name;
        QByteArray driver;
        int device;
        QString shown;
    };
    for (const Case& c : {Case{"no sound device", "nosuch", 0, "没有找到声音输出设备！"},
                          Case{"a device past the list", "disk", 5, "Invalid device number"}}) {
        SCOPED_TRACE(c.name);
        qputenv("SDL_AUDIODRIVER", c.driver);
        TCannedPrompter canned;
        TOggPlayer player(&canned);
        player.Output().SetDeviceNumber(c.device);
        PlayToEnd(player, ogg);
        EXPECT_EQ(canned.Texts("error"), QStringList{c.shown});
        EXPECT_EQ(player.LastError(), c.shown);
    }
}

TEST_F(OggPlayer, CommandLinePrintsLabelsAndCommentsAndPlays)
{
    const QString ogg = MakeOgg("tagged.ogg", 2, 8000, 300);
    ASSERT_FALSE(ogg.isEmpty());
    ASSERT_TRUE(QFile::copy(ogg, Path("artist.ogg")));
    ASSERT_EQ(RunTool("vorbiscomment", {"-w", "-t", "ARTIST=Zoë = Band", "-t", "TITLE=夜曲", "-t", "ALBUM=A=B",
                                        "-t", "DATE=2001", "-t", "GENRE=Jazz", "-t", "TRACKNUMBER=7",
                                        "-t", "COMMENT=not shown", ogg}).code, 0);
    ASSERT_EQ(RunTool("vorbiscomment", {"-w", "-t", "Artist=Solo", Path("artist.ogg")}).code, 0);
    const QString err = Path("err.txt");
    struct Case {
        const char* name;
        QStringList args;
        QByteArray driver;
        int code;
        QString out;
        QString err;        // the last line of standard error
    };
    for (const Case& c : {
             Case{"every comment, in order", {ogg, "--balance", "3"}, "disk", 0,
                  "tagged\n8000 bps\n0:00\nArtist: Zoë = Band\nAlbum: A=B\nTitle: 夜曲\nDate: 2001\n"
                  "Genre: Jazz\nTrack: 7\n", ""},
             Case{"an artist only, seeking", {Path("artist.ogg"), "--seek", "50"}, "disk", 0,
                  "artist\n8000 bps\n0:00\nArtist: Solo\n", ""},
             Case{"not an ogg name", {ogg + ".bak"}, "disk", 1, "", "Ogg file is not valid."},
             Case{"no sound device", {ogg}, "nosuch", 1, "tagged\n8000 bps\n0:00\nArtist: Zoë = Band\n"
                  "Album: A=B\nTitle: 夜曲\nDate: 2001\nGenre: Jazz\nTrack: 7\n", "没有找到声音输出设备！"},
             Case{"balance out of range", {ogg, "--balance", "11"}, "disk", 2, "", "varnelcd-cli oggplay: --balance takes 0 to 10"},
             Case{"seek not a number", {ogg, "--seek", "x"}, "disk", 2, "", "varnelcd-cli: --seek takes a number"},
         }) {
        SCOPED_TRACE(c.name);
        qputenv("SDL_AUDIODRIVER", c.driver);
        const TToolResult r = RunTool(VARNELCD_CLI, QStringList{"oggplay"} + c.args, err);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(QString::fromUtf8(r.out), c.out);
        const QStringList lines = QString::fromUtf8(ReadAll(err)).split('\n', Qt::SkipEmptyParts);
        if (!c.err.isEmpty()) {
            EXPECT_EQ(lines.value(lines.size() - 1), c.err);
        }
    }
}
