#include "windows/NoDeviceHintForm.h"
#include "settings/Lang.h"
#include "widgets/MessageBoxPrompter.h"
#include "app/core/NoDeviceHint.h"
#include "widgets/TranslateForm.h"

#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A blue label with a hand cursor that opens its page when clicked.
QLabel* NewLink(QWidget* parent, const char* name, const QString& url)
{
    auto* link = NewLabel(parent, name, url);
    link->setTextFormat(Qt::PlainText);
    link->setCursor(Qt::PointingHandCursor);
    link->setFocusPolicy(Qt::StrongFocus);
    link->setStyleSheet(QStringLiteral("color: blue; text-decoration: underline;"));
    link->setAccessibleDescription(url);
    return link;
}

class TLinkFilter : public QObject {
public:
    TLinkFilter(QObject* parent, std::function<void(QObject*)> open) : QObject(parent), FOpen(std::move(open)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool click = event->type() == QEvent::MouseButtonRelease;
        const bool key = event->type() == QEvent::KeyPress &&
                         (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                          static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space);
        if (click || key) {
            FOpen(watched);
            return true;
        }
        return false;
    }

private:
    std::function<void(QObject*)> FOpen;
};

} // namespace

TfrmNoDeviceHint::TfrmNoDeviceHint(QWidget* parent) : QDialog(parent)
{
    setObjectName("frmNoDeviceHint");
    setWindowTitle(ProgramTitle());
    setModal(true);

    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* lines = new QVBoxLayout(panel);
    lines->addWidget(NewLabel(panel, "Label1", NoDeviceHint::Heading()));
    lines->addWidget(NewLabel(panel, "Label2", QStringLiteral("1.CD设备被其他应用程序锁定。例如CD播放器或多媒体播")));
    lines->addWidget(NewLabel(panel, "Label3", QStringLiteral("放器或其他CD刻录软件。")));
    lines->addWidget(NewLabel(panel, "Label4", NoDeviceHint::Cause2()));
    lines->addWidget(NewLabel(panel, "Label5", NoDeviceHint::Cause3()));

    auto* groups = new QHBoxLayout;
    groups->addWidget(NewLabel(panel, "Label6", QStringLiteral("cdrom 组的说明：")));
    FGroupsLink = NewLink(panel, "lForceASPI", NoDeviceHint::GroupsPage());
    groups->addWidget(FGroupsLink);
    groups->addStretch();
    lines->addLayout(groups);
    auto* drives = new QHBoxLayout;
    drives->addWidget(NewLabel(panel, "Label7", QStringLiteral("光驱的设置：")));
    FDriveLink = NewLink(panel, "lAdaptec", NoDeviceHint::DrivePage());
    drives->addWidget(FDriveLink);
    drives->addStretch();
    lines->addLayout(drives);

    // What was found, filled in now; not a caption the language file replaces.
    FDevices = new QLabel(NoDeviceHint::DeviceLines().join('\n'), panel);
    FDevices->setObjectName("lDevicesFound");
    FDevices->setTextFormat(Qt::PlainText);
    FDevices->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FDevices->setAccessibleDescription(QStringLiteral("CD device nodes found"));
    lines->addWidget(FDevices);

    FClose = new QPushButton(QStringLiteral("关闭(&C)"), this);
    FClose->setObjectName("bClose");
    FClose->setDefault(true);
    connect(FClose, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(FClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);

    auto* filter = new TLinkFilter(this, [this](QObject* link) {
        OpenLink(link == FGroupsLink ? NoDeviceHint::GroupsPage() : NoDeviceHint::DrivePage());
    });
    FGroupsLink->installEventFilter(filter);
    FDriveLink->installEventFilter(filter);
    setTabOrder(FGroupsLink, FDriveLink);
    setTabOrder(FDriveLink, FClose);

    TranslateForm(this, "Chinese");
    // The caption stays the application title whatever the language file says.
    setWindowTitle(ProgramTitle());
}

void TfrmNoDeviceHint::OpenLink(const QString& url)
{
    if (!QDesktopServices::openUrl(QUrl(url)))
        TMessageBoxPrompter(this).ShowError(QStringLiteral("无法打开网页 %1").arg(url));
}
