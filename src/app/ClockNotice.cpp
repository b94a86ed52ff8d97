#include "app/ClockNotice.h"

#include "platform/ClockAccess.h"

namespace ClockNotice {

bool applies(const ClockAccess &access)
{
    return !access.privileged && access.helperInstalled && !access.helperRunnable;
}

QString title()
{
    return QStringLiteral("Brindlecot cannot set the clock");
}

QString text(const QString &account)
{
    const QString name = account.isEmpty() ? QStringLiteral("USER") : account;
    return QStringLiteral("This account may not set the computer's clock. An administrator allows it with "
                          "\"sudo adduser %1 brindlecot\"; then log in again.")
        .arg(name);
}

} // namespace ClockNotice
