#include "app/TrayDisplay.h"

#include "format/Format.h"
#include "format/TimeTexts.h"
#include "state/ProgramState.h"

#include <QLocale>

#include <cstring>

namespace TrayDisplay {

QString initialToolTip()
{
    return QStringLiteral("Time Synchronization");
}

const QString &SynchronizedToolTip::forDate(Date lastSynchDate)
{
    // Compared bit for bit: a date that is not a number still formats only once.
    if (!mDate || std::memcmp(&*mDate, &lastSynchDate, sizeof lastSynchDate) != 0) {
        mDate = lastSynchDate;
        mText = synchronizedToolTip(lastSynchDate);
    }
    return mText;
}

std::optional<Tick> trayTick(qint16 trayAlert, qint16 trayAlertShowing, const QString &trayAlertMessage,
                             Date lastSynchDate)
{
    SynchronizedToolTip synchronized;
    return trayTick(trayAlert, trayAlertShowing, trayAlertMessage, lastSynchDate, synchronized);
}

std::optional<Tick> trayTick(qint16 trayAlert, qint16 trayAlertShowing, const QString &trayAlertMessage,
                             Date lastSynchDate, SynchronizedToolTip &synchronized)
{
    const bool showing = trayAlertShowing != 0;
    const qint16 toggled = trayAlertShowing == 0 ? 1 : 0;
    Tick tick;
    switch (trayAlert) {
    case TrayAlert::Paused:
        tick = { showing ? 6 : 4, fixedStateText(trayAlert), toggled };
        break;
    case TrayAlert::Synchronized:
        tick = { 1, synchronized.forDate(lastSynchDate), 0 };
        break;
    case TrayAlert::TooFarOff:
        tick = { showing ? 6 : 2, fixedStateText(trayAlert), toggled };
        break;
    case TrayAlert::Failed:
        tick = { showing ? 6 : 3, trayAlertMessage, toggled };
        break;
    case TrayAlert::Looking:
        tick = { 5, fixedStateText(trayAlert), toggled };
        break;
    default:
        return std::nullopt;
    }
    tick.toolTip = cutToolTip(tick.toolTip);
    return tick;
}

QString fixedStateText(qint16 trayAlert)
{
    switch (trayAlert) {
    case TrayAlert::Paused:
        return QStringLiteral("Time synchronization is paused");
    case TrayAlert::TooFarOff:
        return QStringLiteral("Time is off by more than 30 minutes - adjust manually");
    case TrayAlert::Looking:
        return QStringLiteral("Looking for a time server...");
    default:
        return QString();
    }
}

QString synchronizedToolTip(Date lastSynchDate)
{
    return QStringLiteral("Synchronized on ") + FormatShortDate(DateTime::dayOf(lastSynchDate), QLocale())
           + QStringLiteral(" at ") + FormatMediumTime(DateTime::timeOf(lastSynchDate));
}

QString cutToolTip(const QString &text)
{
    return text.left(ToolTipLength);
}

int iconIndex(int picture, bool osKnown, const QString &os)
{
    int result = picture;
    if (osKnown && os.contains(QLatin1String("XP"), Qt::CaseInsensitive))
        result = picture + 6;
    if (result < 1 || result > 12)
        result = 12;
    return result;
}

} // namespace TrayDisplay
