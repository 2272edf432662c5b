// One language at a time: with the default settings no English word shows outside names,
// with the English interface (Interface=English, --lang en) no Chinese character does; on
// the command line (tracks, rip) and in the main and options windows.
#include "AppTestHome.h"
#include "fixtures/TestDisc.h"
#include "settings/CDInfo.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "windows/EditTrackNameForm.h"
#include "windows/ID3EditForm.h"
#include "windows/MainForm.h"
#include "windows/NewRecordFileForm.h"
#include "windows/NewResampleWavForm.h"
#include "windows/NoDeviceHintForm.h"
#include "windows/OggPlayerForm.h"
#include "windows/QueryCddbForm.h"
#include "windows/RecordForm.h"
#include "windows/OptionSetForm.h"
#include "fixtures/CannedPrompter.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// Words that are names in either language: the program, formats, tools, services, units.
const char* const Names[] = {
    "VarnelCD", "varnelcd-cli", "Disc image" /* the image drive's model */, "Apple Lossless", "Apple", "Windows Media Player", "RealPlayer", "RealOne", "MusicBrainz",
    "AccurateRip", "ReplayGain", "Freedb", "CDDB", "ALAC", "FLAC", "Opus", "OPUS", "AAC", "M4A", "MP3", "WAV",
    "OGG", "WMA", "ID3", "CUE", "VBR", "INDEX", "MCN", "DB", "CD", "MB", "kbit/s", "kHz", "Hz", "bps", "toc",
    "RAW PCM", "DVI IMA ADPCM", "sudo usermod -aG cdrom", "cdrom", "sr_mod", "USB",
};

// The texts of the other language: Han characters and CJK punctuation under the English
// interface; under the Chinese one, any Latin word of two letters or more left after the
// names ("(&F)" accelerators are single letters).
QStringList Foreign(QString text, bool english)
{
    static const QRegularExpression han(QStringLiteral("[\\x{3000}-\\x{303F}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]+"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    if (!english) {
        // The program's command and option names are names too.
        // So are addresses, host names and paths.
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>|https?://\\S+|\\b[a-z0-9-]+(\\.[a-z0-9-]+){2,}\\b|/dev/\\S+")));
        text.remove(QRegularExpression(QStringLiteral("varnelcd-cli( [a-z]+)?:|--[a-z][a-z-]*|\\.[a-z0-9]{3,4}\\b")));
        for (const char* name : Names) text.replace(QLatin1String(name), QStringLiteral(" "));
    }
    QStringList found;
    for (auto it = (english ? han : word).globalMatch(text); it.hasNext();)
        found << it.next().captured();
    return found;
}

// The texts that hold a word of the other language, each once.
QStringList Offending(const QStringList& texts, bool english)
{
    QStringList found;
    for (const QString& text : texts)
        if (!Foreign(text, english).isEmpty() && !found.contains(text)) found << text;
    return found;
}

struct TRun {
    int Code = -1;
    QString Text;   // stdout and stderr
};

class LanguageTest : public AppTestHome {
protected:
    TRun Cli(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", Home.path());
        env.insert("XDG_CONFIG_HOME", Home.path() + "/config");
        env.insert("VARNELCD_DISC_IMAGES", "");
        p.setProcessEnvironment(env);
        p.start(VARNELCD_CLI, args);
        EXPECT_TRUE(p.waitForFinished(120000));
        // The files made, one path a line, are names; so are the progress lines' tags
        // ("[rip]", "[w1]").
        QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
        lines.removeIf([](const QString& line) { return line.startsWith(QLatin1Char('/')); });
        QString text = lines.join(QLatin1Char('\n')) + QString::fromUtf8(p.readAllStandardError());
        text.remove(QRegularExpression(QStringLiteral("\\[(rip|w\\d+)\\]")));
        return {p.exitCode(), text};
    }
};

TEST_F(LanguageTest, CommandLineSpeaksOneLanguage)
{
    const QString cue = MakeTestDisc(Home.path(), {"--track", "audio:600", "--track", "audio:450"}, "disc");
    ASSERT_FALSE(cue.isEmpty());
    for (const char* lang : {"", "en", "zh"}) {
        SCOPED_TRACE(lang);
        const bool english = QLatin1String(lang) == QLatin1String("en");
        const QStringList choice = *lang ? QStringList{"--lang", lang} : QStringList{};
        const QString out = Home.path() + "/out-" + lang;
        for (const QStringList& args :
             {QStringList{"tracks", "--disc-image", cue},
              QStringList{"rip", "--disc-image", cue, "--format", "wav", "--out", out, "--no-ctdb", "--no-accuraterip", "--yes"},
              QStringList{"rip", "--disc-image", cue, "--tracks", "9", "--out", out}}) {
            const TRun run = Cli(args + choice);
            EXPECT_FALSE(run.Text.isEmpty());
            EXPECT_EQ(Foreign(run.Text, english), QStringList{}) << run.Text.toStdString();
        }
    }
    const TRun bad = Cli({"tracks", "--lang", "fr"});
    EXPECT_EQ(bad.Code, 2);
}

// Every text a user can read in a window: captions, items, headers, menus and tips.
void Collect(const QObject* o, QStringList& texts)
{
    if (o->objectName() == QLatin1String("ID3genre")) return;   // genre names
    if (const auto* w = qobject_cast<const QWidget*>(o)) {
        if (w->isWindow()) texts << w->windowTitle();
        texts << w->toolTip() << w->statusTip();
    }
    if (const auto* l = qobject_cast<const QLabel*>(o)) texts << l->text();
    if (const auto* b = qobject_cast<const QAbstractButton*>(o)) texts << b->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(o)) texts << g->title();
    if (const auto* c = qobject_cast<const QComboBox*>(o))
        for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
    if (const auto* t = qobject_cast<const QTabWidget*>(o))
        for (int i = 0; i < t->count(); ++i) texts << t->tabText(i);
    if (const auto* tree = qobject_cast<const QTreeWidget*>(o))
        for (int c = 0; c < tree->columnCount(); ++c) {
            texts << tree->headerItem()->text(c);
            for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(c);
        }
    if (const auto* m = qobject_cast<const QMenu*>(o)) texts << m->title();
    if (const auto* a = qobject_cast<const QAction*>(o); a && !a->associatedObjects().isEmpty())   // in a menu or bar
        texts << a->text() << a->toolTip() << a->statusTip();
    for (const QObject* child : o->children())
        if (!qobject_cast<const QDialog*>(child)) Collect(child, texts);   // a dialog is a window of its own
}

TEST_F(LanguageTest, WindowsSpeakOneLanguage)
{
    qputenv("VARNELCD_LANG_DIR", VARNELCD_SOURCE_DIR "/resources/lang");
    SetDiscImages({MakeTestDisc(Home.path(), {"--track", "audio:600", "--track", "audio:450"}, "disc")});
    for (const char* language : {"Chinese", "English"}) {
        SCOPED_TRACE(language);
        const bool english = QLatin1String(language) == QLatin1String("English");
        // The main window reads the settings file when it starts.
        QDir().mkpath(QFileInfo(OptionsFileName()).path());
        ASSERT_TRUE(WriteAll(OptionsFileName(), QByteArray("[Options]\nInterface=") + language + "\n"));
        QFile::remove(CDInfoFileName());   // the titles the other language stored
        TMainForm main;
        main.SetPrompter(std::make_unique<TCannedPrompter>());
        main.show();
        TCannedPrompter prompter;
        TOptionSetForm options(prompter, TOptionSetHost{}, &main);
        options.show();
        for (QWidget* window : {static_cast<QWidget*>(&main), static_cast<QWidget*>(&options)}) {
            QStringList texts;
            Collect(window, texts);
            EXPECT_EQ(Offending(texts, english), QStringList{}) << window->objectName().toStdString();
            // Where the screenshots of the two languages are wanted (scripts, reports).
            if (const QString shots = qEnvironmentVariable("VARNELCD_SHOTS_DIR"); !shots.isEmpty())
                window->grab().save(shots + "/" + window->objectName() + "-" + language + ".png");
        }
        // The box shows the interface; choosing the other one re-captions the main window.
        auto* box = options.findChild<QCheckBox*>("ckbEnglishInterface");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->isChecked(), english);
        box->setChecked(!english);
        options.accept();
        EXPECT_EQ(OptionsSetting.Interface, english ? "Chinese" : "English");
        EXPECT_EQ(main.windowTitle(), english ? QStringLiteral("VarnelCD音频转换 2.0") : QStringLiteral("VarnelCD Audio Converter 2.0"));
        OptionsSetting.Interface = QString::fromLatin1(language);
        // The other windows, as they first show.
        TfrmEditTrackName rename;
        TfrmID3Edit id3(nullptr, &prompter);
        TfrmNewRecordFile newFile;
        TfrmResample resample;
        TfrmNoDeviceHint hint;
        TfrmOggPlayer player;
        TfrmQueryCDDB query(1, 2, 0);
        TfrmRecord record(nullptr, &prompter);
        for (QWidget* window : std::initializer_list<QWidget*>{&rename, &id3, &newFile, &resample, &hint, &player, &query, &record}) {
            window->show();
            QStringList texts;
            Collect(window, texts);
            EXPECT_EQ(Offending(texts, english), QStringList{}) << window->objectName().toStdString();
            window->close();
        }
        main.close();
    }
    qunsetenv("VARNELCD_LANG_DIR");
}

} // namespace
