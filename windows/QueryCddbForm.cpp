#include "windows/QueryCddbForm.h"
#include "windows/StopQueryForm.h"
#include "settings/Options.h"
#include "widgets/TranslateForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QStringList CddbServerList()
{
    // Only servers that still answer the protocol.
    return {QString::fromLatin1(DEFAULT_CDDB_SERVER)};
}

TfrmQueryCDDB::TfrmQueryCDDB(uint8_t firstTrack, uint8_t lastTrack, HCDROM handle, QWidget* parent)
    : QDialog(parent)
    , FFirst(firstTrack)
    , FLast(lastTrack)
    , FHandle(handle)
{
    setObjectName("frmQueryCDDB");
    setWindowTitle(QStringLiteral("Query CDDB"));
    auto* layout = new QVBoxLayout(this);

    auto* server = new QGroupBox(QStringLiteral("Server"), this);
    server->setObjectName("GroupBox1");
    auto* serverForm = new QFormLayout(server);
    FServer = new QComboBox(server);
    FServer->setObjectName("cbServer");
    FServer->setEditable(true);
    FServer->addItems(CddbServerList());
    FServer->setAccessibleName(QStringLiteral("Freedb Server"));
    FScript = new QLineEdit(server);
    FScript->setObjectName("eScript");
    auto* serverLabel = new QLabel(QStringLiteral("Freedb Server:"), server);
    serverLabel->setObjectName("Label1");
    serverLabel->setBuddy(FServer);
    auto* scriptLabel = new QLabel(QStringLiteral("Query Script:"), server);
    scriptLabel->setObjectName("Label2");
    scriptLabel->setBuddy(FScript);
    serverForm->addRow(serverLabel, FServer);
    serverForm->addRow(scriptLabel, FScript);
    layout->addWidget(server);

    auto* proxy = new QGroupBox(QStringLiteral("Proxy server"), this);
    proxy->setObjectName("GroupBox2");
    auto* proxyForm = new QFormLayout(proxy);
    FProxy = new QCheckBox(QStringLiteral("Use a proxy server"), proxy);
    FProxy->setObjectName("cbProxy");
    FAddress = new QLineEdit(proxy);
    FAddress->setObjectName("eAddress");
    FPort = new QLineEdit(proxy);
    FPort->setObjectName("ePort");
    auto* addressLabel = new QLabel(QStringLiteral("Address:"), proxy);
    addressLabel->setObjectName("Label3");
    addressLabel->setBuddy(FAddress);
    auto* portLabel = new QLabel(QStringLiteral("Port:"), proxy);
    portLabel->setObjectName("Label4");
    portLabel->setBuddy(FPort);
    proxyForm->addRow(FProxy);
    proxyForm->addRow(addressLabel, FAddress);
    proxyForm->addRow(portLabel, FPort);
    layout->addWidget(proxy);

    auto* buttons = new QHBoxLayout;
    auto* query = new QPushButton(QStringLiteral("Query"), this);
    query->setObjectName("bQuery");
    query->setDefault(true);
    auto* def = new QPushButton(QStringLiteral("Default"), this);
    def->setObjectName("bDefault");
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName("bClose");
    buttons->addStretch();
    buttons->addWidget(query);
    buttons->addWidget(def);
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(FProxy, &QCheckBox::toggled, this, &TfrmQueryCDDB::ProxyClick);
    connect(query, &QPushButton::clicked, this, &TfrmQueryCDDB::QueryClick);
    connect(def, &QPushButton::clicked, this, &TfrmQueryCDDB::DefaultClick);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    setMinimumWidth(380);
}

void TfrmQueryCDDB::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    const TQueryCDDB& q = OptionsSetting.QueryCDDB;
    const int at = FServer->findText(q.Server);
    // A server typed in earlier is kept as typed, never replaced by the list's first.
    if (at >= 0)
        FServer->setCurrentIndex(at);
    else if (!q.Server.isEmpty())
        FServer->setEditText(q.Server);
    else
        FServer->setCurrentIndex(0);
    FScript->setText(q.Script);
    FProxy->setChecked(q.UseProxy);
    FAddress->setText(q.ProxyAddress);
    FPort->setText(q.Port);
    ProxyClick();
    TranslateForm(this, "Chinese");
}

void TfrmQueryCDDB::ProxyClick()
{
    FAddress->setEnabled(FProxy->isChecked());
    FPort->setEnabled(FProxy->isChecked());
}

void TfrmQueryCDDB::DefaultClick()
{
    FServer->setCurrentIndex(0);
    FScript->setText(QString::fromLatin1(DEFAULT_CDDB_SCRIPT));
    FProxy->setChecked(false);
}

void TfrmQueryCDDB::QueryClick()
{
    TQueryCDDB& q = OptionsSetting.QueryCDDB;
    q.Server = FServer->currentText().trimmed();
    q.Script = FScript->text().trimmed();
    q.UseProxy = FProxy->isChecked();
    q.ProxyAddress = FAddress->text().trimmed();
    q.Port = FPort->text().trimmed();
    TfrmStopQuery wait(FFirst, FLast, FHandle, this);
    wait.OnEntry = OnEntry;
    if (wait.exec() == TfrmStopQuery::Finished)
        accept();
}
