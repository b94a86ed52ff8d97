#include "app/ClockNotice.h"

#include "platform/ClockAccess.h"

namespace ClockNotice {

bool applies(const ClockAccess &access)
{
    if (access.privileged)
        return false;
    switch (access.grant) {
    case ClockGrant::SystemRight:
        return true;
    case ClockGrant::HelperGroup:
        break;
    }
    return access.helperInstalled && !access.helperRunnable;
}

QString title()
{
    return QStringLiteral("Brindlecot cannot set the clock");
}

QString text(const ClockAccess &access)
{
    switch (access.grant) {
    case ClockGrant::SystemRight: {
        // Short enough for the notification area's balloon, which keeps 255 characters.
        const QString name = access.account.isEmpty() ? QStringLiteral("this account") : access.account;
        return QStringLiteral("This account may not set the clock. An administrator allows it: give %1 the right "
                              "\"Change the system time\" (Local Security Policy) and log on again, or start "
                              "Brindlecot as administrator (the installer's log-on task).")
            .arg(name);
    }
    case ClockGrant::HelperGroup:
        break;
    }
    const QString name = access.account.isEmpty() ? QStringLiteral("USER") : access.account;
    return QStringLiteral("This account may not set the computer's clock. An administrator allows it with "
                          "\"sudo adduser %1 brindlecot\"; then log in again.")
        .arg(name);
}

} // namespace ClockNotice
