#include "platform/ClockAccess.h"

#include "BuildInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <linux/capability.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

QString installedClockHelper()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/')
           + QString::fromUtf8(BuildInfo::ClockHelperFromProgram);
}

ClockAccess readClockAccess(const QString &helper)
{
    ClockAccess access;
    // clock_settime checks the effective set, for root as for anyone.
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) == 0)
        access.privileged = (data[CAP_SYS_TIME / 32].effective & (1u << (CAP_SYS_TIME % 32))) != 0;
    access.helperInstalled = QFileInfo(helper).isFile();
    access.helperRunnable = access.helperInstalled && ::access(QFile::encodeName(helper).constData(), X_OK) == 0;
    if (const passwd *entry = ::getpwuid(::geteuid()))
        access.account = QString::fromLocal8Bit(entry->pw_name);
    return access;
}
