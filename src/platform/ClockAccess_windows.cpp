#include "platform/ClockAccess.h"

#include <cstdint>
#include <vector>

#include <qt_windows.h>
#include <lmcons.h>

namespace {

// Whether the process's token holds the right to set the clock, enabled or not: a right
// that is held but disabled is switched on for the moment of the setting (SystemClock).
// An administrator's token under User Account Control holds it only when elevated.
bool tokenHoldsClockRight()
{
    LUID clockRight {};
    if (!LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &clockRight))
        return false;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t)); // aligned
    bool held = false;
    if (size >= sizeof(TOKEN_PRIVILEGES) && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto *rights = reinterpret_cast<const TOKEN_PRIVILEGES *>(buffer.data());
        for (DWORD i = 0; i < rights->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES &right = rights->Privileges[i];
            if (right.Luid.LowPart == clockRight.LowPart && right.Luid.HighPart == clockRight.HighPart)
                held = (right.Attributes & SE_PRIVILEGE_REMOVED) == 0;
        }
    }
    CloseHandle(token);
    return held;
}

QString accountName()
{
    wchar_t name[UNLEN + 1] = {};
    DWORD length = UNLEN + 1;
    if (!GetUserNameW(name, &length) || length == 0)
        return QString();
    return QString::fromWCharArray(name, int(length) - 1); // the count includes the zero
}

} // namespace

// Windows grants the right to set the clock by account; there is no helper.
QString installedClockHelper()
{
    return QString();
}

ClockAccess readClockAccess(const QString & /*helper*/)
{
    ClockAccess access;
    access.privileged = tokenHoldsClockRight();
    access.account = accountName();
    access.grant = ClockGrant::SystemRight;
    return access;
}
