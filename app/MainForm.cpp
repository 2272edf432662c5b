#include "app/MainForm.h"
#include "app/MessageBoxPrompter.h"
#include "app/core/DiscWatcher.h"
#include "settings/CDInfo.h"
#include "settings/Global.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "widgets/TranslateForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

namespace {

const QColor ClientColor(214, 223, 247);
const QColor ListColor(239, 239, 255);
const QColor StatusColor(220, 225, 255);
constexpr int ClientWidth = 543;
constexpr int ClientHeight = 449;
constexpr int StatusPanelHeight = 25;
const char* const HomePage = "https://varnelcd.sourceforge.io/";

// Client area of the main window: painted in the window colour; lays out the tool bar, the
// track list and the status line as the window is resized.
class TMainClient : public QWidget {
public:
    explicit TMainClient(QWidget* parent) : QWidget(parent) {}
    std::function<void()> OnLayout;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), ClientColor);
    }
    void resizeEvent(QResizeEvent*) override
    {
        if (OnLayout)
            OnLayout();
    }
};

} // namespace

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
    , FPrompter(std::make_unique<TMessageBoxPrompter>(this))
{
    setObjectName("MainForm");
    FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::SetPrompter(std::unique_ptr<TPrompter> prompter)
{
    FPrompter = std::move(prompter);
}

void TMainForm::FormCreate()
{
    LoadOptions();
    FNoDisc = false;
    FPlaying = false;
    FPaused = false;
    setWindowTitle(ApplicationTitle() + " " + ApplicationVersion());

    CreateActions();
    CreateClientArea();
    CreateMenus();
    CreateToolBar();
    UpdateActions();

    FWatcher = new TDiscWatcher(this);
    connect(FWatcher, &TDiscWatcher::VolumeArrived, this, &TMainForm::VolumeArrived);
    connect(FWatcher, &TDiscWatcher::VolumeRemoved, this, &TMainForm::VolumeRemoved);

    // The client area is 543 by 449 pixels below the menu bar, centred on the screen.
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
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
    NewAction("ActionExtract", "E&xtract", "Extract the selected track", QKeySequence("Ctrl+X"));
    connect(NewAction("ActionSelectAll", "Select &All", "Select all tracks", QKeySequence("Ctrl+A")),
            &QAction::triggered, this, &TMainForm::ActionSelectAllExecute);
    connect(NewAction("ActionNoSelect", "Select &None", "Cancel selected track", QKeySequence("Ctrl+N")),
            &QAction::triggered, this, &TMainForm::ActionNoSelectExecute);
    NewAction("ActionOptionSet", "&Options", "Options", QKeySequence("Ctrl+O"));
    connect(NewAction("ActionExit", "E&xit", "Exit the program"), &QAction::triggered, this,
            &QWidget::close);
    NewAction("ActionRecord", "&Record", "Record to wav or mp3", QKeySequence("Ctrl+R"));
    NewAction("ActionWavToMp3", "&WAV to MP3", "Convert  WAV file to MP3 file", QKeySequence("Ctrl+W"));
    NewAction("aPlay", "&Play", "Play the current track", QKeySequence("Ctrl+P"));
    NewAction("aPause", "P&ause", "Pause the current track");
    NewAction("aStop", "&Stop", "Stop the current track");
    NewAction("aID3Edit", "&ID3 Tag Edit", "MP3 ID3 edit");
    NewAction("aEditTrackName", "Rename &Title", "Rename track title", QKeySequence("F2"));
    NewAction("aQueryCDDB", "&Query Freedb");
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

    QMenu* file = top("N1", QStringLiteral("文件(&F)"));
    entry(file, "miWAVtoWAV", QStringLiteral("WAV 转 WAV..."));
    MenuEntry(file, Action("ActionWavToMp3"), QStringLiteral("WAV 转 MP3..."));
    entry(file, "mnuMp3ToWav", QStringLiteral("MP3 转 WAV..."), {}, "Convert  MP3 file to WAV file");
    entry(file, "miWAVtoOGG", QStringLiteral("WAV 转 OGG..."));
    entry(file, "miWAVtoWMA", QStringLiteral("WAV 转 WMA..."));
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
    entry(run, "miOGGPlayer", QStringLiteral("OGG文件播放(&O)..."));
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
    edit->addSeparator();
    MenuEntry(edit, Action("aEditTrackName"), QStringLiteral("更改标题(&T)"));
    MenuEntry(edit, Action("aID3Edit"), QStringLiteral("ID3标签编辑(&I)"));
    edit->addSeparator();
    MenuEntry(edit, Action("ActionOptionSet"), QStringLiteral("设置(&O)..."));

    QMenu* help = top("N4", QStringLiteral("帮助(&H)"));
    entry(help, "mnuHelp", QStringLiteral("帮助(&H)"), QKeySequence("F1"));
    help->addSeparator();
    connect(entry(help, "miCDRipper", QStringLiteral("主页(&P)"), {},
                  "A free CD ripper software allows you to rip audio CD and convert to MP3 format."),
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
    FToolBar->setIconSize(QSize(24, 24));
    struct Button {
        const char* text;
        const char* action;
        QStyle::StandardPixmap icon;
    };
    const Button buttons[] = {
        {"抓轨", "ActionExtract", QStyle::SP_DriveCDIcon},
        {"编码", "ActionWavToMp3", QStyle::SP_FileDialogDetailedView},
        {"目录", "Openoutputdirectory1", QStyle::SP_DirOpenIcon},
        {"录音", "ActionRecord", QStyle::SP_MediaPlay},
        {"设置", "ActionOptionSet", QStyle::SP_FileDialogContentsView},
        {"主页", "miCDRipper", QStyle::SP_DirHomeIcon},
        {"退出", "ActionExit", QStyle::SP_DialogCloseButton},
    };
    int n = 0;
    for (const Button& b : buttons) {
        if (n > 0)
            FToolBar->addSeparator();
        QAction* bound = Action(b.action);
        auto* button = new QToolButton(FToolBar);
        button->setObjectName(QString("ToolButton%1").arg(++n));
        button->setText(QString::fromUtf8(b.text));
        button->setIcon(style()->standardIcon(b.icon));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        button->setToolTip(bound->statusTip());
        button->setEnabled(bound->isEnabled());
        connect(bound, &QAction::changed, button, [button, bound] { button->setEnabled(bound->isEnabled()); });
        connect(button, &QToolButton::clicked, bound, [bound] { bound->trigger(); });
        FToolBar->addWidget(button);
    }
}

void TMainForm::CreateClientArea()
{
    auto* client = new TMainClient(this);
    client->setObjectName("ClientArea");
    FClient = client;
    setCentralWidget(client);

    FListView = new QTreeWidget(client);
    FListView->setObjectName("ListView1");
    FListView->setColumnCount(4);
    FListView->setHeaderLabels({QStringLiteral("序号"), QStringLiteral("标题"), QStringLiteral("长度(分)"),
                                QStringLiteral("大小(MB)")});
    FListView->setRootIsDecorated(false);
    FListView->setUniformRowHeights(true);
    FListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FListView->setAllColumnsShowFocus(true);
    const int widths[] = {90, 230, 100, 90};
    for (int i = 0; i < 4; ++i)
        FListView->setColumnWidth(i, widths[i]);
    FListView->headerItem()->setTextAlignment(2, Qt::AlignCenter);
    FListView->headerItem()->setTextAlignment(3, Qt::AlignCenter);
    QPalette pal = FListView->palette();
    pal.setColor(QPalette::Base, ListColor);
    FListView->setPalette(pal);
    FListView->viewport()->installEventFilter(this);

    FStatusPanel = new QLabel(client);
    FStatusPanel->setObjectName("StatusPanel1");
    FStatusPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FStatusPanel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FStatusPanel->setIndent(4);
    FStatusPanel->setAutoFillBackground(true);
    pal = FStatusPanel->palette();
    pal.setColor(QPalette::Window, StatusColor);
    FStatusPanel->setPalette(pal);
    FStatusPanel->setFixedHeight(StatusPanelHeight);

    FLabel1 = new QLabel(FStatusPanel);
    FLabel1->setObjectName("Label1");

    client->OnLayout = [this] { LayoutClient(); };
}

// Lays the client area out: the list below the tool bar, the status line at the bottom.
void TMainForm::LayoutClient()
{
    if (!FClient || !FToolBar)
        return;
    const int w = FClient->width();
    const int h = FClient->height();
    const int toolBarHeight = FToolBar->sizeHint().height();
    FToolBar->setGeometry(0, 0, w, toolBarHeight);
    FListView->setGeometry(8, toolBarHeight, w - 16, h - toolBarHeight - StatusPanelHeight - 12);
    FStatusPanel->setGeometry(8, h - StatusPanelHeight - 8, w - 16, StatusPanelHeight);
    FLabel1->adjustSize();
    FLabel1->move(FStatusPanel->width() - FLabel1->width() - 8,
                  (StatusPanelHeight - FLabel1->height()) / 2);
}

// Commands whose windows are not part of the program yet are shown but cannot be chosen.
void TMainForm::UpdateActions()
{
    static const char* const notYet[] = {
        "ActionExtract", "ActionOptionSet", "ActionRecord", "ActionWavToMp3", "aPlay", "aPause",
        "aStop", "aID3Edit", "aEditTrackName", "aQueryCDDB", "miWAVtoWAV", "mnuMp3ToWav",
        "miWAVtoOGG", "miWAVtoWMA", "miOGGPlayer", "VolumeControlMenu", "miRealOnePlayer",
        "miWindowsMediaPlayer", "mnuHelp"};
    for (const char* name : notYet)
        if (QAction* a = Action(name))
            a->setEnabled(false);
}

QString TMainForm::StatusText() const
{
    return FStatusPanel->text();
}

void TMainForm::SetStatusText(const QString& text)
{
    FStatusPanel->setText(text);
}

HCDROM TMainForm::SelectDrive(int index)
{
    const HCDROM handle = FSession.SelectDrive(index);
    SetStatusText(FSession.StatusText());
    return handle;
}

bool TMainForm::AudioDiscPresent() const
{
    return FSession.AudioDiscPresent();
}

QString TMainForm::DiscId() const
{
    return FSession.DiscId();
}

void TMainForm::ClearList()
{
    FListView->clear();
    FListedDiscId.clear();
}

void TMainForm::ReadDiscList()
{
    if (FSession.CDHandle() == 0)
        return;
    QVector<TTrackRow> rows;
    ClearList();
    const bool ok = FSession.ReadDiscList(rows);
    SetStatusText(FSession.StatusText());
    if (!ok)
        return;
    for (const TTrackRow& r : rows) {
        auto* item = new QTreeWidgetItem(FListView);
        item->setText(0, QString::number(r.Number));
        item->setText(1, r.Title);
        item->setText(2, r.Length);
        item->setText(3, r.Size);
        item->setTextAlignment(2, Qt::AlignCenter);
        item->setTextAlignment(3, Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Checked);
    }
    FListedDiscId = FSession.ListedDiscId();
    // A disc is listed: the earlier "no disc" state no longer holds.
    FNoDisc = false;
}

void TMainForm::Refresh()
{
    if (FSession.CDHandle() == 0) {
        // Without a handle, look for a drive again: one may have appeared since the start.
        if (SelectDrive(OptionsSetting.CDOptions.Index) == 0)
            return;
    }
    if (AudioDiscPresent()) {
        ReadDiscList();
    } else {
        ClearList();
        SetStatusText(TDiscSession::CheckCDRomText());
    }
}

void TMainForm::VolumeArrived()
{
    Refresh();
}

void TMainForm::VolumeRemoved()
{
    ClearList();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void TMainForm::FormShow()
{
    try {
        TranslateForm(this, "Chinese");
        if (SelectDrive(OptionsSetting.CDOptions.Index) != 0) {
            if (AudioDiscPresent())
                ReadDiscList();
            else
                FNoDisc = true;
            FSavedStatus = StatusText();
        }
    } catch (...) {
        // Start-up goes on whatever a drive does.
    }
    FormActivate();
    FWatcher->Start();
}

void TMainForm::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && FShown)
        FormActivate();
}

void TMainForm::FormActivate()
{
    if (FNoDisc)
        SetStatusText(TDiscSession::CheckCDRomText());
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    FWatcher->Stop();
    try {
        // The titles of the listed disc go to the disc cache.
        if (!FListedDiscId.isEmpty()) {
            TCDInfo& info = OptionsSetting.CDInfo;
            const int rows = qMin(FListView->topLevelItemCount(), MAX_TITLES);
            info.TrackNumber = rows;
            for (int i = 1; i <= rows; ++i)
                info.Titles[i] = FListView->topLevelItem(i - 1)->text(1);
            SaveCDInfo(FListedDiscId);
        }
    } catch (...) {
    }
    try {
        if (!FSession.CloseHandle())
            FPrompter->ShowError(LangString("RES_Close_CD_Error", QStringLiteral("关闭CD句柄错误!")));
    } catch (...) {
    }
    try {
        SaveOptions();
    } catch (...) {
    }
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // Ctrl+click on the track list toggles the selected row's check box; a plain click
    // leaves it alone (the check box itself still toggles when clicked).
    if (watched == FListView->viewport() && event->type() == QEvent::MouseButtonRelease) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->modifiers() & Qt::ControlModifier) {
            if (QTreeWidgetItem* item = FListView->itemAt(me->position().toPoint())) {
                FListView->setCurrentItem(item);
                item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ActionSelectAllExecute()
{
    for (int i = 0; i < FListView->topLevelItemCount(); ++i)
        FListView->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void TMainForm::ActionNoSelectExecute()
{
    for (int i = 0; i < FListView->topLevelItemCount(); ++i)
        FListView->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void TMainForm::OpenOutputDirectory()
{
    const QString folder = OptionsSetting.CommonOptions.OutputFolder;
    if (!folder.isEmpty() && QDir(folder).exists()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    } else {
        FPrompter->ShowError(folder + "," +
                             LangString("RES_Directory_Not_Exist", "The output directory does not exist."));
    }
}

void TMainForm::OpenHomePage()
{
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(HomePage)));
}

void TMainForm::ShowAbout()
{
    QMessageBox box(this);
    box.setObjectName("frmAbout");
    box.setWindowTitle(ApplicationTitle());
    box.setIconPixmap(style()->standardIcon(QStyle::SP_DriveCDIcon).pixmap(48, 48));
    box.setText(QStringLiteral("<b>%1 %2</b>").arg(ApplicationTitle(), ApplicationVersion()));
    box.setInformativeText(QStringLiteral("Audio CD ripper and converter: WAV, MP3, Ogg Vorbis, WMA."));
    box.exec();
}

void TMainForm::EjectMenuClick()
{
    if (EjectDrive(FSession.DriveIndex()))
        FWatcher->Poll();
}

void TMainForm::CloseCdRomMenuClick()
{
    if (CloseDriveTray(FSession.DriveIndex()))
        FWatcher->Poll();
}
