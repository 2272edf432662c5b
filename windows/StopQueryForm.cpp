#include "windows/StopQueryForm.h"
#include "settings/Lang.h"
#include "settings/Options.h"
#include "widgets/TranslateForm.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

TfrmStopQuery::TfrmStopQuery(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QWidget* parent)
    : QDialog(parent)
    , FFirst(firstTrack)
    , FLast(lastTrack)
    , FHandle(handle)
{
    setObjectName("frmStopQuery");
    setWindowTitle(QStringLiteral("Query CDDB..."));
    auto* layout = new QVBoxLayout(this);
    FHint = new QLabel(QStringLiteral("Query CDDB..."), this);
    FHint->setObjectName("lHint");
    layout->addWidget(FHint);
    FPanel = new QFrame(this);
    FPanel->setObjectName("Panel1");
    FPanel->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QVBoxLayout(FPanel);
    FLabel1 = new QLabel(FPanel);
    FLabel1->setObjectName("Label1");
    FLabel1->setWordWrap(true);
    FLabel1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    FLabel1->setText(CddbNoMatchHints().join('\n'));
    panelLayout->addWidget(FLabel1);
    FPanel->hide();
    layout->addWidget(FPanel);
    FStop = new QPushButton(QStringLiteral("Stop"), this);
    FStop->setObjectName("bStop");
    FStop->setDefault(true);
    layout->addWidget(FStop, 0, Qt::AlignHCenter);
    connect(FStop, &QPushButton::clicked, this, &TfrmStopQuery::StopClick);
    setMinimumWidth(300);
}

TfrmStopQuery::~TfrmStopQuery()
{
    // The thread is told to stop and to post nothing; it ends as soon as its request aborts.
    if (FThread)
        FThread->Abandon();
}

void TfrmStopQuery::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (FStarted)
        return;
    FStarted = true;
    TranslateForm(this, "Chinese");
    FThread = std::make_unique<TQueryCDDBThread>(FFirst, FLast, FHandle, this, OptionsSetting.QueryCDDB);
    FThread->SetTimeouts(IdleTimeoutMs, TimeoutMs);
    FRunning = true;
    FThread->start();
}

bool TfrmStopQuery::event(QEvent* event)
{
    if (event->type() != CddbResultEventType)
        return QDialog::event(event);
    FRunning = false;
    const TCddbLookupResult& r = static_cast<TCddbResultEvent*>(event)->Result;
    if (r.Code == CddbResult::Finished) {
        if (OnEntry)
            OnEntry(r.Entry);
        done(Finished);
        return true;
    }
    FHint->hide();
    QStringList lines = CddbNoMatchHints();
    if (!r.Reason.isEmpty())
        lines << QString() << r.Reason;
    FLabel1->setText(lines.join('\n'));
    FPanel->show();
    FStop->setText(LangString("RES_CDDB_Close", QStringLiteral("关闭")));
    FStop->setFocus();
    adjustSize();
    return true;
}

void TfrmStopQuery::StopClick()
{
    if (FRunning && FThread)
        FThread->Abandon();
    FRunning = false;
    reject();
}
