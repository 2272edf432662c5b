#include "app/core/ClearHistory.h"
#include "settings/Lang.h"

namespace {

constexpr int RealPlayerClips = 8;       // MostRecentClips1..8
constexpr int MediaPlayerFiles = 9;      // File0..8

// A running player would write its list back: ask before going on. True to go on.
bool ConfirmWhileRunning(TRegistryStore& store, TPrompter& prompter, const QString& windowClass)
{
    if (!store.WindowClassExists(windowClass))
        return true;
    const QString text = LangString("RES_RealOne_Window_Exist", "请先关闭RealOne Player。是否继续？");
    return prompter.AskYesNo(text, TPrompter::Answer::No) == TPrompter::Answer::Yes;
}

void TellCount(TPrompter& prompter, int n)
{
    prompter.ShowInformation(QString::number(n) + LangString("RES_Clear_History", " 条播放记录已被删除！"));
}

} // namespace

QString RealPlayerClipKey(int k)
{
    return QStringLiteral("\\Software\\RealNetworks\\RealPlayer\\6.0\\Preferences\\MostRecentClips") + QString::number(k);
}

QString MediaPlayerRecentKey()
{
    return QStringLiteral("\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\");
}

int ClearRealPlayerHistory(TRegistryStore& store, TPrompter& prompter)
{
    if (!ConfirmWhileRunning(store, prompter, QStringLiteral("GeminiWindowClass")))
        return -1;
    int n = 0;
    while (n < RealPlayerClips && store.DeleteKey(RealPlayerClipKey(n + 1)))
        ++n;
    TellCount(prompter, n);
    return n;
}

int ClearMediaPlayerHistory(TRegistryStore& store, TPrompter& prompter)
{
    if (!ConfirmWhileRunning(store, prompter, QStringLiteral("WMPlayerApp")))
        return -1;
    int n = 0;
    if (store.OpenKey(MediaPlayerRecentKey())) {
        while (n < MediaPlayerFiles && store.DeleteValue(MediaPlayerRecentKey(), QStringLiteral("File") + QString::number(n)))
            ++n;
    }
    TellCount(prompter, n);
    return n;
}
