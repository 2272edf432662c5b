#include "windows/OffsetFindButton.h"

#include "platform/Prompter.h"
#include "platform/akrip32.h"
#include "settings/Lang.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

namespace {

// The command and its arguments: every disc image of this program's drive list passed in
// its order, so that the drive positions are the same in the child.
QStringList FindArguments(int drive)
{
    QStringList args = {QStringLiteral("offset"), QStringLiteral("find"), QStringLiteral("--no-save"), QStringLiteral("--drive"),
                        QString::number(drive)};
    TDriveList list{};
    list.Capacity = MAX_CD_DRIVES;
    const int count = GetCDList(list);
    for (int i = 0; i < count; ++i)
        if (DriveIsImage(i)) args << QStringLiteral("--disc-image") << DriveIdentifier(i);
    return args;
}

void RunFind(QWidget* page, QSpinBox* offset, int drive)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VARNELCD_DISC_IMAGES"), QString());   // the images come as arguments
    process.setProcessEnvironment(env);
    // The command line program beside this one, else the one installed.
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/varnelcd-cli");
    process.setProgram(QFileInfo::exists(beside) ? beside : QStringLiteral("varnelcd-cli"));
    process.setArguments(FindArguments(drive));
    QProgressDialog wait(LangString(QStringLiteral("RES_FindingOffset"), QStringLiteral("正在读取光盘并查找读取偏移…")),
                         LangString(QStringLiteral("RES_FindOffsetCancel"), QStringLiteral("取消")), 0, 0, page);
    wait.setWindowTitle(ProgramTitle());
    wait.setWindowModality(Qt::WindowModal);
    QObject::connect(&process, &QProcess::finished, &wait, &QProgressDialog::reset);
    QObject::connect(&wait, &QProgressDialog::canceled, &process, &QProcess::kill);
    process.start();
    if (process.waitForStarted(5000) && process.state() == QProcess::Running) wait.exec();
    process.waitForFinished(-1);
    if (wait.wasCanceled()) return;
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^offset\\t([-+]?\\d+)$"), QRegularExpression::MultilineOption).match(out);
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0 && m.hasMatch()) {
        offset->setValue(m.captured(1).toInt());
        return;
    }
    const QString why = QString::fromUtf8(process.readAllStandardError()).trimmed();
    QMessageBox::warning(page, ProgramTitle(),
                         LangString(QStringLiteral("RES_OffsetNotFound"), QStringLiteral("找不到读取偏移（需要AccurateRip数据库中的光盘）。"))
                             + (why.isEmpty() ? out.trimmed().prepend(QLatin1Char('\n')) : QLatin1Char('\n') + why));
}

} // namespace

void AddOffsetFindButton(QWidget* page, QBoxLayout* row, QSpinBox* offset, std::function<int()> driveIndex)
{
    auto* find = new QPushButton(LangString(QStringLiteral("RES_FindOffset"), QStringLiteral("查找")), page);
    find->setObjectName(QStringLiteral("bFindOffset"));
    find->setToolTip(LangString(QStringLiteral("RES_FindOffsetHint"),
                                QStringLiteral("读取AccurateRip数据库中已有的光盘，找出此驱动器的读取偏移")));
    row->insertWidget(row->indexOf(offset) + 1, find);
    QObject::connect(find, &QPushButton::clicked, page, [page, offset, driveIndex] {
        const int drive = driveIndex();
        if (drive >= 0) RunFind(page, offset, drive);
    });
}
