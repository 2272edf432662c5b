#include "app/core/NoDeviceHint.h"
#include "settings/Lang.h"
#include "platform/CDRipLib.h"

#include <cstring>

namespace NoDeviceHint {

QString Heading()
{
    return LangString(QStringLiteral("RES_NoDevice_Heading"), QStringLiteral("软件找不到CD设备。请检查以下问题："));
}

QString Cause1()
{
    return LangString(QStringLiteral("RES_NoDevice_Cause1"), QStringLiteral("1.CD设备被其他应用程序锁定。例如CD播放器或多媒体播放器或其他CD刻录软件。"));
}

QString Cause2()
{
    return LangString(QStringLiteral("RES_NoDevice_Cause2"), QStringLiteral("2.读取 /dev/sr* 需要属于 cdrom 组：sudo usermod -aG cdrom 用户名，然后重新登录。"));
}

QString Cause3()
{
    return LangString(QStringLiteral("RES_NoDevice_Cause3"), QStringLiteral("3.系统没有识别光驱（USB 光驱未连接或 sr_mod 未加载）。"));
}

QString GroupsPage()
{
    return QStringLiteral("https://wiki.debian.org/SystemGroups");
}

QString DrivePage()
{
    return QStringLiteral("https://wiki.archlinux.org/title/Optical_disc_drive");
}

QStringList DeviceLines()
{
    QStringList lines;
    for (const TCRDeviceProblem& p : CR_DeviceProblems())
        lines << QStringLiteral("%1：%2").arg(p.Device, QString::fromLocal8Bit(std::strerror(p.Error)));
    if (CR_DeviceNodeCount() == 0)
        lines << LangString(QStringLiteral("RES_NoDevice_NoNodes"), QStringLiteral("没有找到光驱设备节点（/dev/sr*）。"));
    return lines;
}

QStringList AllLines()
{
    return QStringList{Heading(), Cause1(), Cause2(), Cause3()} + DeviceLines();
}

} // namespace NoDeviceHint
