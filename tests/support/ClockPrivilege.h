#pragma once

#include <QFile>
#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>

// Takes the privilege to set the clock (SeSystemtimePrivilege) out of this process's token
// for good: a removed privilege cannot be enabled again, and every process started from
// here gets a copy of this token. True when the token no longer holds it.
inline bool dropClockPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES removal {};
    removal.PrivilegeCount = 1;
    removal.Privileges[0].Attributes = SE_PRIVILEGE_REMOVED;
    bool gone = LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &removal.Privileges[0].Luid);
    if (gone) {
        AdjustTokenPrivileges(token, FALSE, &removal, 0, nullptr, nullptr);
        // Enabling it now must fail: ERROR_NOT_ALL_ASSIGNED says the token lacks it.
        TOKEN_PRIVILEGES enable = removal;
        enable.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        gone = AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr)
               && GetLastError() == ERROR_NOT_ALL_ASSIGNED;
    }
    CloseHandle(token);
    return gone;
}
#else
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

// Takes the privilege to set the clock (CAP_SYS_TIME) away from this process for good:
// from the bounding set, so that nothing it starts can gain it again (root included), and
// from its own sets. True when neither this process nor what it starts can set the clock.
inline bool dropClockPrivilege()
{
    ::prctl(PR_CAPBSET_DROP, CAP_SYS_TIME, 0, 0, 0); // needs CAP_SETPCAP; checked below
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_LOWER, CAP_SYS_TIME, 0, 0);
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) == 0) {
        const quint32 mask = ~(quint32(1) << CAP_SYS_TIME); // CAP_SYS_TIME is below 32
        data[0].effective &= mask;
        data[0].permitted &= mask;
        data[0].inheritable &= mask;
        ::syscall(SYS_capset, &header, data);
    }

    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const quint64 bit = quint64(1) << CAP_SYS_TIME;
    bool effective = true, permitted = true, bounding = true;
    for (const QByteArray &line : status.readAll().split('\n')) {
        const QList<QByteArray> field = line.split(':');
        if (field.size() != 2)
            continue;
        const bool held = (field[1].trimmed().toULongLong(nullptr, 16) & bit) != 0;
        if (field[0] == "CapEff")
            effective = held;
        else if (field[0] == "CapPrm")
            permitted = held;
        else if (field[0] == "CapBnd")
            bounding = held;
    }
    // Without root a program started from here gains the privilege only from file
    // capabilities, which the build never gives.
    return !effective && !permitted && (!bounding || ::geteuid() != 0);
}
#endif
