#include "windows/MainForm.h"
#include "widgets/MessageBoxPrompter.h"
#include "windows/NoDeviceHintForm.h"
#include "app/core/CDPlayer.h"
#include "cd/CDInput.h"
#include "app/core/DiscWatcher.h"
#include "app/core/TrackRowText.h"
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

QString MainFormCaption()
{
    return ProgramTitle() + " " + ApplicationVersion();
}

void SetUpApplicationNames()
{
    QApplication::setApplicationName(ApplicationTitle());
    QApplication::setApplicationVersion(ApplicationVersion());
    // No display name is set: the platform would append it to every window title (the main
    // window's and every dialog's) that does not already end with it. Unset, the titles are
    // exactly the captions.
}

TMainForm::TMainForm(QWidget* parent)
    : QMainWindow(parent)
    , FPrompter(std::make_unique<TMessageBoxPrompter>(this))
{
    setObjectName("MainForm");
    FormCreate();
}

TMainForm::~TMainForm()
{
    // The track list outlives this window's members (children go in the base class's
    // destructor) and signals as it empties: nothing of it may reach this window then.
    // The player stops its sound output while the window still exists.
    delete FPlayer;
    FListView->viewport()->removeEventFilter(this);
    FListView->model()->disconnect(this);
    FListView->selectionModel()->disconnect(this);
    FListView->disconnect(this);
}

void TMainForm::SetPrompter(std::unique_ptr<TPrompter> prompter)
{
    FPrompter = std::move(prompter);
}

static std::function<void()>& DefaultNoDeviceHint()
{
    static std::function<void()> show;
    return show;
}

void TMainForm::SetDefaultNoDeviceHint(std::function<void()> show)
{
    DefaultNoDeviceHint() = std::move(show);
}

void TMainForm::FormCreate()
{
    LoadOptions();
    // The CD input component, with every ripping setting at its default.
    FCDIn1 = new TCDIn(this);
    FCDIn1->setObjectName("CDIn1");
    if (DefaultNoDeviceHint())
        FShowNoDeviceHint = DefaultNoDeviceHint();
    else
        FShowNoDeviceHint = [this] {
            TfrmNoDeviceHint hint(this);
            hint.exec();
        };
    FNoDisc = false;
    FPlaying = false;
    FPaused = false;
    setWindowTitle(MainFormCaption());

    CreateActions();
    CreateClientArea();
    CreateMenus();
    CreateToolBar();
    CreatePlayback();
    CreateCommands();
    connect(Action("ActionRecord"), &QAction::triggered, this, &TMainForm::ActionRecordExecute);
    UpdateActions();
    ConnectEditors();
    WatchExtractState();

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

void TMainForm::CreateClientArea()
{
    auto* client = new TMainClient(this);
    client->setObjectName("ClientArea");
    FClient = client;
    setCentralWidget(client);

    FListView = new QTreeWidget(client);
    FListView->setObjectName("ListView1");
    FListView->setColumnCount(5);
    FListView->setHeaderLabels({QStringLiteral("序号"), QStringLiteral("标题"), QStringLiteral("长度(分)"),
                                QStringLiteral("大小(MB)"),
                                LangString("RES_Column_TrackType", QStringLiteral("类型"))});
    FListView->setRootIsDecorated(false);
    FListView->setUniformRowHeights(true);
    FListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    FListView->setSelectionMode(QAbstractItemView::SingleSelection);
    FListView->setAllColumnsShowFocus(true);
    const int widths[] = {90, 230, 100, 90, 80};
    for (int i = 0; i < 5; ++i)
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

// The enabled state of the commands that depend on playback.
void TMainForm::UpdateActions()
{
    UpdatePlaybackActions();
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
    // Whatever comes next (another disc, the same one again, none), the titles and tag
    // fields of the disc listed so far go to the disc cache first.
    SaveListedDisc();
    FListView->clear();
    FSession.ForgetListedDisc();
}

// The titles of the listed disc, as the list shows them, and the disc's tag fields go to
// the disc cache under that disc's identifier.
void TMainForm::SaveListedDisc()
{
    QVector<TTrackRow> rows;
    for (int i = 0; i < FListView->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = FListView->topLevelItem(i);
        TTrackRow row;
        row.Number = item->text(0).toInt();
        row.Title = item->text(1);
        rows.append(row);
    }
    FSession.SaveListedTitles(rows);
}

void TMainForm::FillList(const QVector<TTrackRow>& rows)
{
    for (const TTrackRow& r : rows) {
        auto* item = new QTreeWidgetItem(FListView);
        item->setText(0, QString::number(r.Number));
        item->setText(1, r.Title);
        item->setText(2, r.Length);
        item->setText(3, r.Size);
        item->setTextAlignment(2, Qt::AlignCenter);
        item->setTextAlignment(3, Qt::AlignCenter);
        item->setText(4, TrackTypeText(r));
        item->setData(0, Qt::UserRole, r.Position);   // the rip entry's number
        item->setToolTip(1, TrackToolTip(r));
        if (r.Data) {
            // A data track holds no audio: listed, never ticked.
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Checked);
        }
    }
    // A disc is listed: the earlier "no disc" state no longer holds.
    FNoDisc = false;
}

void TMainForm::ReadDiscList()
{
    if (FSession.CDHandle() == 0)
        return;
    QVector<TTrackRow> rows;
    ClearList();
    const bool ok = FSession.ReadDiscList(rows);
    SetStatusText(FSession.StatusText());
    if (ok)
        FillList(rows);
}

void TMainForm::ListDiscTracks()
{
    if (!FSession.UsingCDIn())
        return;
    QVector<TTrackRow> rows;
    ClearList();
    const bool ok = FSession.ReadDiscList(rows);
    SetStatusText(FSession.StatusText());
    if (ok)
        FillList(rows);
    FSavedStatus = StatusText();
}

// The component's drive for the session: the chosen one, or its first when the choice
// is out of its range.
void TMainForm::SelectCDInDrive()
{
    FSession.UseCDIn(*FCDIn1, OptionsSetting.CDOptions.Index);
}

void TMainForm::Refresh()
{
    if (FSession.CDHandle() == 0) {
        // Without a handle, look for a drive again: one may have appeared since the start;
        // else go on through the CD input component.
        if (SelectDrive(OptionsSetting.CDOptions.Index) == 0) {
            SelectCDInDrive();
            if (AudioDiscPresent()) {
                ListDiscTracks();
            } else {
                ClearList();
                SetStatusText(FSession.NoDiscText());
            }
            return;
        }
    }
    if (AudioDiscPresent()) {
        ReadDiscList();
    } else {
        ClearList();
        SetStatusText(FSession.NoDiscText());
    }
}

void TMainForm::VolumeArrived()
{
    Refresh();
    RipOnArrival();
}

void TMainForm::VolumeRemoved()
{
    // The list is gone, and the status line no longer names the drive's disc.
    ClearList();
    FNoDisc = true;
    SetStatusText(FSession.CDHandle() != 0 || FSession.UsingCDIn() ? FSession.NoDiscText()
                                                                   : TDiscSession::NotFoundText());
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
    // The fall-back steps run at the first activation only: later ones would bring the
    // hint back after every window and replace unsaved titles with the cached ones.
    if (FSession.CDHandle() == 0 && !FFallBackDone) {
        FFallBackDone = true;
        FallBackActivate();
    }
    if (FNoDisc)
        SetStatusText(FSession.NoDiscText());
}

void TMainForm::FallBackActivate()
{
    try {
        if (FCDIn1->DrivesCount() <= 0) {
            if (FShowNoDeviceHint)
                FShowNoDeviceHint();
            return;
        }
        SelectCDInDrive();
        if (AudioDiscPresent())
            ListDiscTracks();
        else
            FNoDisc = true;
    } catch (...) {
        // Start-up goes on whatever a drive does.
    }
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
        SaveListedDisc();
    } catch (...) {
    }
    try {
        if (!FSession.CloseHandle())
            FPrompter->ShowError(LangString("RES_Close_CD_Error", QStringLiteral("关闭CD句柄错误!")));
    } catch (...) {
    }
    try {
        StopPlayback();
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
                if (item->flags() & Qt::ItemIsUserCheckable)
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
        if (FListView->topLevelItem(i)->flags() & Qt::ItemIsUserCheckable)
            FListView->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void TMainForm::ActionNoSelectExecute()
{
    for (int i = 0; i < FListView->topLevelItemCount(); ++i)
        if (FListView->topLevelItem(i)->flags() & Qt::ItemIsUserCheckable)
            FListView->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void TMainForm::OpenOutputDirectory()
{
    const QString folder = OptionsSetting.CommonOptions.OutputFolder;
    if (!folder.isEmpty() && QDir(folder).exists()) {
        OpenUrlOrReport(QUrl::fromLocalFile(folder), folder);
    } else {
        FPrompter->ShowError(folder + "," +
                             LangString("RES_Directory_Not_Exist", "输出目录不存在。"));
    }
}

void TMainForm::OpenHomePage()
{
    OpenUrlOrReport(QUrl(QString::fromLatin1(HomePage)), QString::fromLatin1(HomePage));
}

void TMainForm::ShowAbout()
{
    QMessageBox box(this);
    box.setObjectName("frmAbout");
    box.setWindowTitle(ProgramTitle());
    box.setIconPixmap(style()->standardIcon(QStyle::SP_DriveCDIcon).pixmap(48, 48));
    box.setText(QStringLiteral("<b>%1 %2</b>").arg(ProgramTitle(), ApplicationVersion()));
    box.setInformativeText(LangString("RES_About_Text", QStringLiteral("音乐CD抓轨与转换：WAV、MP3、Ogg Vorbis、WMA。")) + QStringLiteral("\n\n")
                           + ApplicationLicence());
    box.exec();
}

void TMainForm::EjectMenuClick()
{
    StopPlayback();
    if (EjectDrive(FSession.DriveIndex()))
        FWatcher->Poll();
}

void TMainForm::CloseCdRomMenuClick()
{
    if (CloseDriveTray(FSession.DriveIndex()))
        FWatcher->Poll();
}
