#include "windows/OggPlayerForm.h"
#include "ui_OggPlayerForm.h"

#include "widgets/MessageBoxPrompter.h"
#include "players/OggPlayer.h"
#include "settings/Lang.h"
#include "widgets/TranslateForm.h"

#include <QCloseEvent>
#include <QIcon>
#include <QStyle>

namespace {

// The desktop theme's media icon, else the style's own.
QIcon MediaIcon(const QWidget* w, const char* themeName, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(themeName), w->style()->standardIcon(fallback));
}

} // namespace

TfrmOggPlayer::TfrmOggPlayer(QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::frmOggPlayer>()),
      FPrompter(std::make_unique<TMessageBoxPrompter>(this)),
      FPlayer(std::make_unique<TOggPlayer>(FPrompter.get()))
{
    ui->setupUi(this);
    // Tips in the interface's language.
    ui->Panel1->setToolTip(LangString(QStringLiteral("RES_Ogg_PanelTip"), QStringLiteral("按“播放”按钮打开并播放OGG文件。")));
    ui->BitBtn1->setToolTip(LangString(QStringLiteral("RES_Ogg_PlayTip"), QStringLiteral("打开并播放OGG文件。")));
    const QString balance = LangString(QStringLiteral("RES_Ogg_Balance"), QStringLiteral("立体声平衡"));
    ui->TrackBar1->setToolTip(balance);
    ui->TrackBar1->setAccessibleName(balance);
    // A dialog border: a title and a close button, no minimize or maximize.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    ui->BitBtn1->setIcon(MediaIcon(this, "media-playback-start", QStyle::SP_MediaPlay));
    ui->BitBtn2->setIcon(MediaIcon(this, "media-playback-pause", QStyle::SP_MediaPause));
    ui->bStop->setIcon(MediaIcon(this, "media-playback-stop", QStyle::SP_MediaStop));

    TOggPlayer* p = FPlayer.get();
    connect(ui->BitBtn1, &QPushButton::clicked, p, &TOggPlayer::OpenAndPlay);
    connect(ui->BitBtn2, &QPushButton::clicked, p, &TOggPlayer::PauseResume);
    connect(ui->bStop, &QPushButton::clicked, p, &TOggPlayer::Stop);
    connect(ui->bClose, &QPushButton::clicked, this, &TfrmOggPlayer::bCloseClick);
    // Only the user's scroll actions seek; the position set from progress events does not.
    connect(ui->ScrollBar1, &QScrollBar::actionTriggered, this, &TfrmOggPlayer::ScrollBar1Action);
    connect(ui->TrackBar1, &QSlider::valueChanged, p, &TOggPlayer::SetBalancePosition);
    connect(p, &TOggPlayer::Changed, this, &TfrmOggPlayer::Refresh);
    connect(p, &TOggPlayer::ProgressChanged, this, &TfrmOggPlayer::PlayerProgress);
    connect(p, &TOggPlayer::CloseReady, this, [this] {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
    p->SetBalancePosition(ui->TrackBar1->value());
    Refresh();
}

TfrmOggPlayer::~TfrmOggPlayer() = default;

void TfrmOggPlayer::SetPrompter(std::unique_ptr<TPrompter> prompter)
{
    FPlayer->SetPrompter(prompter.get());
    FPrompter = std::move(prompter);
}

void TfrmOggPlayer::showEvent(QShowEvent* event)
{
    TranslateForm(this, QStringLiteral("Chinese"));
    QDialog::showEvent(event);
}

void TfrmOggPlayer::Refresh()
{
    const TOggPlayer& p = *FPlayer;
    ui->lFileName->setText(p.FileNameText());
    ui->lSampleRate->setText(p.SampleRateText());
    ui->lCurrentTime->setText(p.CurrentTimeText());
    ui->lTotalTime->setText(p.TotalTimeText());
    ui->BitBtn1->setEnabled(p.OpenEnabled());
    ui->ScrollBar1->setEnabled(p.ScrollEnabled());
    const QString comments = p.Comments().join(QLatin1Char('\n'));
    if (ui->Memo1->toPlainText() != comments)
        ui->Memo1->setPlainText(comments);
}

void TfrmOggPlayer::PlayerProgress(int position)
{
    // Not under the user's hand while dragging.
    if (!ui->ScrollBar1->isSliderDown())
        ui->ScrollBar1->setValue(position);
}

void TfrmOggPlayer::ScrollBar1Action(int action)
{
    if (action != QAbstractSlider::SliderNoAction)
        FPlayer->Scroll(ui->ScrollBar1->sliderPosition());
}

void TfrmOggPlayer::bCloseClick()
{
    FPlayer->Close();
}

// Closing by the title bar or Escape runs the Close button first, so the window goes
// only after the sound has stopped.
void TfrmOggPlayer::closeEvent(QCloseEvent* event)
{
    if (!FPlayer->Closing()) {
        event->ignore();
        bCloseClick();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmOggPlayer::reject()
{
    if (!FPlayer->Closing()) {
        bCloseClick();
        return;
    }
    QDialog::reject();
}
