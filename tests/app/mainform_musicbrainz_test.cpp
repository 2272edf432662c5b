// The main window's Query MusicBrainz on a disc image against the fake server: a cancelled
// choice changes nothing; a chosen release fills the list and the disc information and
// keeps its cover.
#include "AppTestHome.h"
#include "windows/MainForm.h"
#include "fixtures/CannedPrompter.h"
#include "fixtures/FakeCddbServer.h"
#include "fixtures/TestDisc.h"
#include "metadata/MusicBrainz.h"
#include "settings/Options.h"

#include <QAction>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

QByteArray TwoReleases()
{
    QByteArray releases;
    for (const char* r : {"{\"id\":\"11111111-1111-4111-8111-111111111111\",\"title\":\"First\",",
                          "{\"id\":\"22222222-2222-4222-8222-222222222222\",\"title\":\"Second\","})
        releases += QByteArray(releases.isEmpty() ? "" : ",") + r +
                    "\"date\":\"2001\",\"artist-credit\":[{\"name\":\"Band\"}],\"media\":[{\"format\":\"CD\","
                    "\"tracks\":[{\"position\":1,\"title\":\"One\"},{\"position\":2,\"title\":\"Two\"}]}]}";
    return "{\"releases\":[" + releases + "]}";
}

class MainFormMusicBrainzTest : public AppTestHome {};

} // namespace

TEST_F(MainFormMusicBrainzTest, CancelKeepsTheListAChoiceFillsItAndKeepsTheCover)
{
    SetDiscImages({MakeTestDisc(Home.path(), {"--track", "audio:900", "--track", "audio:600"})});
    TFakeCddbServer server;
    auto form = std::make_unique<TMainForm>();
    auto owned = std::make_unique<TCannedPrompter>();
    TCannedPrompter& prompter = *owned;
    form->SetPrompter(std::move(owned));
    form->show();
    OptionsSetting.MusicBrainz.Server = OptionsSetting.MusicBrainz.CoverArt = "http://" + server.HostPort();
    QTreeWidget* list = form->ListView1();
    ASSERT_EQ(list->topLevelItemCount(), 2);
    const QString before = list->topLevelItem(0)->text(1);
    QAction* query = form->findChild<QAction*>("aQueryMusicBrainz");
    ASSERT_NE(query, nullptr);

    server.Push(TFakeReply::Http(200, TwoReleases()));
    query->trigger();
    EXPECT_EQ(prompter.Texts("choice").size(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(1), before);
    EXPECT_TRUE(OptionsSetting.CDInfo.MBRelease.isEmpty());

    prompter.Choices = {1};
    server.Push(TFakeReply::Http(200, TwoReleases()));
    server.Push(TFakeReply::Http(200, QByteArray::fromHex("ffd8ffd9")));
    query->trigger();
    EXPECT_EQ(list->topLevelItem(1)->text(1), "Two");
    EXPECT_EQ(OptionsSetting.CDInfo.Album, "Second");
    EXPECT_EQ(CurrentDiscCoverPath(), CoverFolder() + "22222222-2222-4222-8222-222222222222.jpg");
    EXPECT_TRUE(prompter.Texts("error").isEmpty() && prompter.Texts("warning").isEmpty());
}
