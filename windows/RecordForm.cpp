#include "windows/RecordForm.h"
#include "ui_RecordForm.h"

#include "widgets/MessageBoxPrompter.h"
#include "windows/RipForm.h"
#include "windows/NewRecordFileForm.h"
#include "settings/Lang.h"
#include "widgets/TranslateForm.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QLayout>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace {

struct TButtonInfo {
    TRecordController::TButton Button;
    const char* Name;
    const char* Key;           // the accessible name and tip: language key, built-in text
    const char* Text;
    QStyle::StandardPixmap Icon;
    bool Visible;
};

// The media player's buttons in its order; Pause and Eject are hidden.
const TButtonInfo Buttons[] = {
    {TRecordController::btPlay, "btPlay", "RES_Rec_Play", "播放", QStyle::SP_MediaPlay, true},
    {TRecordController::btPause, "btPause", "RES_Rec_Pause", "暂停", QStyle::SP_MediaPause, false},
    {TRecordController::btStop, "btStop", "RES_Rec_Stop", "停止", QStyle::SP_MediaStop, true},
    {TRecordController::btNext, "btNext", "RES_Rec_Next", "下一个", QStyle::SP_MediaSkipForward, true},
    {TRecordController::btPrev, "btPrev", "RES_Rec_Prev", "上一个", QStyle::SP_MediaSkipBackward, true},
    {TRecordController::btStep, "btStep", "RES_Rec_Step", "快进", QStyle::SP_MediaSeekForward, true},
    {TRecordController::btBack, "btBack", "RES_Rec_Back", "快退", QStyle::SP_MediaSeekBackward, true},
    {TRecordController::btRecord, "btRecord", "RES_Rec_Record", "录音", QStyle::SP_DialogYesButton, true},
    {TRecordController::btEject, "btEject", "RES_Rec_Eject", "弹出", QStyle::SP_ArrowUp, false},
};

} // namespace

TfrmRecord::TfrmRecord(QWidget* parent, TPrompter* prompter)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmRecord>())
{
    ui->setupUi(this);
    // Tips in the interface's language.
    ui->MediaPlayer1->setToolTip(LangString(QStringLiteral("RES_Rec_ButtonsTip"),
                                            QStringLiteral("按钮依次为：播放、停止、下一个、上一个、快进、快退、录音和弹出。")));
    const QString recordTime = LangString(QStringLiteral("RES_Rec_TimeTip"), QStringLiteral("当前录音的时长"));
    ui->panRecordTime->setToolTip(recordTime);
    ui->panRecordTime->setAccessibleDescription(recordTime);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (!prompter) {
        FOwnPrompter = std::make_unique<TMessageBoxPrompter>(this);
        prompter = FOwnPrompter.get();
    }
    FPrompter = prompter;
    FController = new TRecordController(prompter, this);
    FController->AskNewFormat = [this](TRecordController::TNewFormat& format) {
        TfrmNewRecordFile form(this);
        if (form.exec() != QDialog::Accepted)
            return false;
        format = form.Format();
        return true;
    };
    // The conversion job window in its mode 4, modal over the recorder.
    FController->RunMp3 = [this](const QString& file) {
        TRipForm job(this, TConversionJob::RecordToMp3, {file}, FPrompter);
        job.exec();
        return !job.Job().Results().isEmpty() && job.Job().Results().first().Produced;
    };
    CreateButtons();
    CreateMenu();
    ui->lWeb->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(QString::fromLatin1(WebAddress)));
    connect(ui->lWeb, &QLabel::linkActivated, this, &TfrmRecord::OpenWeb);
    connect(ui->TrackBar1, &QSlider::valueChanged, FController, [this](int v) {
        if (v != FController->View().TrackBar)
            FController->SetTrackBar(v);
    });
    connect(FController, &TRecordController::ViewChanged, this, &TfrmRecord::ShowView);
    connect(FController, &TRecordController::CloseRequested, this, &QDialog::close, Qt::QueuedConnection);
    ShowView();
}

TfrmRecord::~TfrmRecord() = default;

void TfrmRecord::CreateButtons()
{
    for (const TButtonInfo& b : Buttons) {
        auto* button = new QToolButton(ui->MediaPlayer1);
        button->setObjectName(QString::fromLatin1(b.Name));
        button->setIcon(style()->standardIcon(b.Icon));
        const QString text = LangString(QLatin1String(b.Key), QString::fromUtf8(b.Text));
        button->setAccessibleName(text);
        button->setToolTip(text);
        button->setVisible(b.Visible);
        button->setFocusPolicy(Qt::StrongFocus);
        ui->MediaPlayer1->layout()->addWidget(button);
        FButtons[b.Button] = button;
        const TRecordController::TButton which = b.Button;
        connect(button, &QToolButton::clicked, FController, [this, which] { FController->Click(which); });
    }
    // Recording shows as a red dot.
    QPixmap dot(16, 16);
    dot.fill(Qt::transparent);
    {
        QPainter p(&dot);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(200, 0, 0));
        p.setPen(Qt::NoPen);
        p.drawEllipse(3, 3, 10, 10);
    }
    FButtons[TRecordController::btRecord]->setIcon(QIcon(dot));
}

void TfrmRecord::CreateMenu()
{
    FMenu = new QMenu(this);
    FMenu->setObjectName(QStringLiteral("PopupMenu1"));
    const auto add = [this](const char* name, const QString& text, auto slot) {
        QAction* a = FMenu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, FController, slot);
        return a;
    };
    add("miNew", QStringLiteral("&New..."), [this] { FController->New(); });
    add("miOpen", QStringLiteral("&Open..."), [this] { FController->Open(); });
    add("miSave", QStringLiteral("&Save"), [this] { FController->Save(); });
    add("miSaveAs", QStringLiteral("Save &As..."), [this] { FController->SaveAs(); });
    add("miUndo", QStringLiteral("&Undo"), [this] { FController->Undo(); });
    FMenu->addSeparator();
    add("miRecordOptionSet", QStringLiteral("&Recording Control..."), [this] { FController->RecordingControl(); });
    QAction* mp3 = add("miSaveMp3", QStringLiteral("&MP3 format"), [this](bool on) { FController->SaveMp3 = on; });
    mp3->setCheckable(true);
    mp3->setChecked(FController->SaveMp3);
    FMenu->addSeparator();
    add("pmExit", QStringLiteral("&Exit"), [this] { close(); });
    ui->btStart->setMenu(FMenu);
}

QAction* TfrmRecord::MenuAction(const QString& name) const
{
    return FMenu->findChild<QAction*>(name);
}

void TfrmRecord::ShowView()
{
    const TRecordController::TView& v = FController->View();
    if (!v.Caption.isEmpty())
        setWindowTitle(v.Caption);
    ui->lbState->setText(v.State);
    ui->lbPosition->setText(v.Position);
    ui->lbLength->setText(v.Length);
    ui->panRecordTime->setText(v.RecordTime);
    if (ui->TrackBar1->value() != v.TrackBar) {
        const QSignalBlocker block(ui->TrackBar1);
        ui->TrackBar1->setValue(v.TrackBar);
    }
    for (int b = 0; b < TRecordController::ButtonCount; ++b)
        FButtons[b]->setEnabled(FController->ButtonEnabled(TRecordController::TButton(b)));
    MenuAction("miSave")->setEnabled(FController->CanSave());
    MenuAction("miSaveAs")->setEnabled(FController->CanSave());
    MenuAction("miUndo")->setEnabled(FController->CanUndo());
}

void TfrmRecord::OpenWeb()
{
    if (!QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebAddress))))
        FPrompter->ShowError(LangString("RES_Cannot_Open", "无法打开 %1").arg(QString::fromLatin1(WebAddress)));
}

void TfrmRecord::showEvent(QShowEvent* event)
{
    if (!FTranslated) {
        FTranslated = true;
        TranslateForm(this, QStringLiteral("Chinese"));
        ShowView();    // the caption follows the document
    }
    QDialog::showEvent(event);
}

void TfrmRecord::closeEvent(QCloseEvent* event)
{
    // The controller's close may keep the window open (the save question cancelled).
    if (!FClosing && !FController->Close()) {
        event->ignore();
        return;
    }
    FClosing = true;
    QDialog::closeEvent(event);
}

void TfrmRecord::reject()
{
    // Escape closes as the window's close button does.
    if (!FClosing && !FController->Close())
        return;
    FClosing = true;
    QDialog::reject();
}
