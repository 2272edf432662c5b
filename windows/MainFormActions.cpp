// The main window's commands: actions, menu bar, tool bar and the track list's pop-up
// menu. The window's behaviour lives in MainForm.cpp; this file only builds and binds.
#include "windows/MainForm.h"
#include "settings/Lang.h"

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

// Every tool bar button shows its icon at this size, whatever size the theme offers.
const QSize ToolBarIconSize(24, 24);

} // namespace

// The shipped icons live in the GUI library, a static library: its resources are
// registered by hand.
static void RegisterShippedIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    (void)registered;
}

QIcon ToolBarIcon(const QString& themeName)
{
    RegisterShippedIcons();
    // The desktop's icon theme first; the icon shipped with the program where the theme
    // has none of that name.
    return QIcon::fromTheme(themeName, QIcon(QStringLiteral(":/icons/") + themeName + QStringLiteral(".png")));
}

QAction* TMainForm::NewAction(const QString& name, const QString& caption, const QString& hint,
                              const QKeySequence& shortcut)
{
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    if (!hint.isEmpty()) {
        a->setStatusTip(hint);
        a->setToolTip(hint);
    }
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        // The menu entry bound to the action carries the active shortcut.
        a->setShortcutContext(Qt::WidgetShortcut);
    }
    FActions.insert(name, a);
    return a;
}

// A menu entry bound to an action: its own caption, the action's hint, shortcut and enabled
// state, and choosing it runs the action.
QAction* TMainForm::MenuEntry(QMenu* menu, QAction* bound, const QString& caption)
{
    auto* item = new QAction(caption, this);
    item->setObjectName("mi" + bound->objectName());
    item->setStatusTip(bound->statusTip());
    item->setShortcut(bound->shortcut());
    item->setEnabled(bound->isEnabled());
    connect(bound, &QAction::changed, item, [item, bound] { item->setEnabled(bound->isEnabled()); });
    connect(item, &QAction::triggered, bound, [bound] { bound->trigger(); });
    menu->addAction(item);
    FActions.insert(item->objectName(), item);
    return item;
}

QAction* TMainForm::Action(const QString& name) const
{
    return FActions.value(name, nullptr);
}

void TMainForm::CreateActions()
{
    // Captions and hints in the interface's language; the menus' entries have captions of
    // their own (from the window's texts), the pop-up menu shows these.
    const auto t = [](const char* key, const char* builtIn) { return LangString(QLatin1String(key), QString::fromUtf8(builtIn)); };
    connect(NewAction("ActionExtract", t("RES_Action_Extract", "抓轨(&X)"), t("RES_Hint_Extract", "抓取选中的音轨"), QKeySequence("Ctrl+X")),
            &QAction::triggered, this, &TMainForm::ActionExtractExecute);
    connect(NewAction("ActionSelectAll", t("RES_Action_SelectAll", "全部选中(&A)"), t("RES_Hint_SelectAll", "选中全部音轨"), QKeySequence("Ctrl+A")),
            &QAction::triggered, this, &TMainForm::ActionSelectAllExecute);
    connect(NewAction("ActionNoSelect", t("RES_Action_NoSelect", "全部不选(&N)"), t("RES_Hint_NoSelect", "取消选中的音轨"), QKeySequence("Ctrl+N")),
            &QAction::triggered, this, &TMainForm::ActionNoSelectExecute);
    connect(NewAction("ActionOptionSet", t("RES_Action_OptionSet", "设置(&O)"), t("RES_Hint_OptionSet", "设置"), QKeySequence("Ctrl+O")),
            &QAction::triggered, this, &TMainForm::ActionOptionSetExecute);
    connect(NewAction("ActionExit", t("RES_Action_Exit", "退出(&X)"), t("RES_Hint_Exit", "退出程序")), &QAction::triggered, this,
            &QWidget::close);
    NewAction("ActionRecord", t("RES_Action_Record", "录音(&R)"), t("RES_Hint_Record", "录制为WAV或MP3"), QKeySequence("Ctrl+R"));
    NewAction("ActionWavToMp3", t("RES_Action_WavToMp3", "WAV 转 MP3(&W)"), t("RES_Hint_WavToMp3", "把WAV文件转换为MP3文件"), QKeySequence("Ctrl+W"));
    NewAction("aPlay", t("RES_Action_Play", "播放(&P)"), t("RES_Hint_Play", "播放当前音轨"), QKeySequence("Ctrl+P"));
    NewAction("aPause", t("RES_Action_Pause", "暂停(&A)"), t("RES_Hint_Pause", "暂停当前音轨"));
    NewAction("aStop", t("RES_Action_Stop", "停止(&S)"), t("RES_Hint_Stop", "停止播放当前音轨"));
    connect(NewAction("aID3Edit", t("RES_Action_ID3Edit", "ID3标签编辑(&I)"), t("RES_Hint_ID3Edit", "编辑MP3文件的ID3标签")), &QAction::triggered, this,
            &TMainForm::ActionID3EditExecute);
    connect(NewAction("aEditTrackName", t("RES_Action_EditTrackName", "更改标题(&T)"), t("RES_Hint_EditTrackName", "更改音轨标题"), QKeySequence("F2")),
            &QAction::triggered, this, &TMainForm::ActionEditTrackNameExecute);
    connect(NewAction("aQueryCDDB", t("RES_Action_QueryCDDB", "查询Freedb(&Q)")), &QAction::triggered, this, &TMainForm::QueryCDDBExecute);
    connect(NewAction("aQueryMusicBrainz", t("RES_Action_QueryMusicBrainz", "查询MusicBrainz(&M)")), &QAction::triggered, this,
            &TMainForm::QueryMusicBrainzExecute);
}

void TMainForm::CreateMenus()
{
    auto entry = [this](QMenu* menu, const QString& name, const QString& caption,
                        const QKeySequence& shortcut = {}, const QString& hint = {}) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        if (!shortcut.isEmpty())
            a->setShortcut(shortcut);
        if (!hint.isEmpty())
            a->setStatusTip(hint);
        FActions.insert(name, a);
        return a;
    };
    auto top = [this](const QString& name, const QString& caption) {
        QMenu* m = menuBar()->addMenu(caption);
        m->setObjectName(name);
        return m;
    };

    const auto t = [](const char* key, const char* builtIn) { return LangString(QLatin1String(key), QString::fromUtf8(builtIn)); };
    QMenu* file = top("N1", QStringLiteral("文件(&F)"));
    connect(entry(file, "miWAVtoWAV", QStringLiteral("WAV 转 WAV...")), &QAction::triggered, this, &TMainForm::miWAVtoWAVClick);
    MenuEntry(file, Action("ActionWavToMp3"), QStringLiteral("WAV 转 MP3..."));
    entry(file, "mnuMp3ToWav", QStringLiteral("MP3 转 WAV..."), {}, t("RES_Hint_Mp3ToWav", "把MP3文件转换为WAV文件"));
    entry(file, "miWAVtoOGG", QStringLiteral("WAV 转 OGG..."));
    entry(file, "miWAVtoWMA", QStringLiteral("WAV 转 WMA..."));
    entry(file, "miToFLAC", QStringLiteral("转 FLAC..."), {}, t("RES_Hint_ToFlac", "把WAV、MP3、OGG或FLAC文件转换为FLAC文件"));
    entry(file, "miToOpus", QStringLiteral("转 Opus..."), {}, t("RES_Hint_ToOpus", "把声音文件转换为Opus文件"));
    entry(file, "miToAAC", QStringLiteral("转 AAC (M4A)..."), {}, t("RES_Hint_ToAac", "把声音文件转换为AAC文件"));
    entry(file, "miToALAC", QStringLiteral("转 Apple Lossless (M4A)..."), {}, t("RES_Hint_ToAlac", "把声音文件转换为Apple Lossless文件"));
    connect(entry(file, "miConvertFolder", QStringLiteral("转换文件夹..."), {}, t("RES_Hint_ConvertFolder", "转换一个文件夹下的全部声音文件")),
            &QAction::triggered, this, &TMainForm::ConvertFolderClick);
    file->addSeparator();
    connect(entry(file, "Openoutputdirectory1", QStringLiteral("打开输出文件夹...")), &QAction::triggered,
            this, &TMainForm::OpenOutputDirectory);
    file->addSeparator();
    connect(entry(file, "bRefresh", QStringLiteral("刷新(&R)")), &QAction::triggered, this,
            &TMainForm::Refresh);
    file->addSeparator();
    connect(entry(file, "EjectMenu", QStringLiteral("打开光驱(&E)"), QKeySequence("Ctrl+E")),
            &QAction::triggered, this, &TMainForm::EjectMenuClick);
    connect(entry(file, "CloseCdRomMenu", QStringLiteral("关闭光驱(&C)"), QKeySequence("Ctrl+L")),
            &QAction::triggered, this, &TMainForm::CloseCdRomMenuClick);
    file->addSeparator();
    MenuEntry(file, Action("ActionExit"), QStringLiteral("退出(&X)"));

    QMenu* run = top("N2", QStringLiteral("执行(&A)"));
    MenuEntry(run, Action("ActionExtract"), QStringLiteral("抓轨(&X)"));
    run->addSeparator();
    MenuEntry(run, Action("ActionRecord"), QStringLiteral("录音(&R)..."));
    run->addSeparator();
    connect(entry(run, "miOGGPlayer", QStringLiteral("OGG文件播放(&O)...")), &QAction::triggered, this, &TMainForm::miOGGPlayerClick);
    run->addSeparator();
    MenuEntry(run, Action("aPlay"), QStringLiteral("播放(&P)"));
    MenuEntry(run, Action("aPause"), QStringLiteral("暂停(&A)"));
    MenuEntry(run, Action("aStop"), QStringLiteral("停止(&S)"));
    run->addSeparator();
    entry(run, "VolumeControlMenu", QStringLiteral("音量控制(&V)..."), QKeySequence("Ctrl+V"));
    run->addSeparator();
    QMenu* history = run->addMenu(QStringLiteral("清除历史(&C)"));
    history->setObjectName("N5");
    entry(history, "miRealOnePlayer", "&RealPlayer");
    entry(history, "miWindowsMediaPlayer", "&Windows Media Player");

    QMenu* edit = top("N3", QStringLiteral("编辑(&E)"));
    MenuEntry(edit, Action("ActionSelectAll"), QStringLiteral("全部选中(&A)"));
    MenuEntry(edit, Action("ActionNoSelect"), QStringLiteral("全部不选(&N)"));
    edit->addSeparator();
    MenuEntry(edit, Action("aQueryCDDB"), QStringLiteral("查询Freedb(&Q)"));
    MenuEntry(edit, Action("aQueryMusicBrainz"), QStringLiteral("查询MusicBrainz(&M)"));
    edit->addSeparator();
    MenuEntry(edit, Action("aEditTrackName"), QStringLiteral("更改标题(&T)"));
    MenuEntry(edit, Action("aID3Edit"), QStringLiteral("ID3标签编辑(&I)"));
    edit->addSeparator();
    MenuEntry(edit, Action("ActionOptionSet"), QStringLiteral("设置(&O)..."));

    QMenu* help = top("N4", QStringLiteral("帮助(&H)"));
    entry(help, "mnuHelp", QStringLiteral("帮助(&H)"), QKeySequence("F1"));
    help->addSeparator();
    connect(entry(help, "miCDRipper", QStringLiteral("主页(&P)"), {},
                  t("RES_Hint_HomePage", "免费的CD抓轨软件：抓取音乐CD并转换为MP3等格式。")),
            &QAction::triggered, this, &TMainForm::OpenHomePage);
    help->addSeparator();
    connect(entry(help, "mnuAbout", QStringLiteral("关于(&A)...")), &QAction::triggered, this,
            &TMainForm::ShowAbout);

    // Pop-up menu of the track list.
    FPopupMenu = new QMenu(this);
    FPopupMenu->setObjectName("PopupMenu1");
    FPopupMenu->addAction(Action("ActionExtract"));
    FPopupMenu->addSeparator();
    FPopupMenu->addAction(Action("ActionSelectAll"));
    FPopupMenu->addAction(Action("ActionNoSelect"));
    FPopupMenu->addSeparator();
    FPopupMenu->addAction(Action("aPlay"));
    FPopupMenu->addAction(Action("aPause"));
    FPopupMenu->addAction(Action("aStop"));
    FPopupMenu->addSeparator();
    FPopupMenu->addAction(Action("aEditTrackName"));
    FListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { FPopupMenu->popup(FListView->viewport()->mapToGlobal(pos)); });
}

void TMainForm::CreateToolBar()
{
    FToolBar = new QToolBar(FClient);
    FToolBar->setObjectName("ToolBar1");
    FToolBar->setMovable(false);
    FToolBar->setFloatable(false);
    FToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    FToolBar->setIconSize(ToolBarIconSize);
    struct Button {
        const char* text;
        const char* action;
        const char* icon;   // icon theme name; the program ships an icon of that name too
    };
    const Button buttons[] = {
        {"抓轨", "ActionExtract", "media-optical-audio"},
        {"编码", "ActionWavToMp3", "audio-x-generic"},
        {"目录", "Openoutputdirectory1", "folder-open"},
        {"录音", "ActionRecord", "media-record"},
        {"设置", "ActionOptionSet", "preferences-system"},
        {"主页", "miCDRipper", "go-home"},
        {"退出", "ActionExit", "application-exit"},
    };
    int n = 0;
    for (const Button& b : buttons) {
        if (n > 0)
            FToolBar->addSeparator();
        QAction* bound = Action(b.action);
        auto* button = new QToolButton(FToolBar);
        button->setObjectName(QString("ToolButton%1").arg(++n));
        button->setText(QString::fromUtf8(b.text));
        button->setIcon(ToolBarIcon(QString::fromLatin1(b.icon)));
        button->setIconSize(ToolBarIconSize);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setToolTip(bound->statusTip());
        button->setEnabled(bound->isEnabled());
        connect(bound, &QAction::changed, button, [button, bound] { button->setEnabled(bound->isEnabled()); });
        connect(button, &QToolButton::clicked, bound, [bound] { bound->trigger(); });
        FToolBar->addWidget(button);
    }
}

