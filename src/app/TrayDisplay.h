#pragma once

#include "common/Date.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// What the tray icon shows, decided once a second from the tray state alone. Nothing here
// touches the desktop, so the same decision serves the icon and a run without one.
namespace TrayDisplay {

// The longest tool tip the icon carries; a longer text is cut to this.
constexpr qsizetype ToolTipLength = 63; // characters

// The tool tip while the icon is first added, before the first tick.
QString initialToolTip();
// Picture number shown while the icon is first added: looking for a server.
constexpr int InitialPicture = 5;

struct Tick {
    int picture = 0;            // 1..6
    QString toolTip;            // already cut to ToolTipLength
    qint16 trayAlertShowing = 0; // the blink phase after this tick
};

// The synchronized state's tool tip, formatted again only when the date it names changes:
// the tray tick asks for it every second, and the date changes once a synchronization.
class SynchronizedToolTip
{
public:
    const QString &forDate(Date lastSynchDate);

private:
    std::optional<Date> mDate; // the date mText names; none before the first use
    QString mText;
};

// One tray tick: TrayAlert and the blink phase TrayAlertShowing give the picture number,
// the tool tip and the next blink phase. Empty for a TrayAlert that has no row (the
// tick then changes nothing). The synchronized state's text comes from synchronized.
std::optional<Tick> trayTick(qint16 trayAlert, qint16 trayAlertShowing, const QString &trayAlertMessage,
                             Date lastSynchDate, SynchronizedToolTip &synchronized);
// The same, formatting the synchronized state's text afresh.
std::optional<Tick> trayTick(qint16 trayAlert, qint16 trayAlertShowing, const QString &trayAlertMessage,
                             Date lastSynchDate);

// The words of the states whose text is always the same: paused, too far off, looking.
// Empty for the others (synchronized names a date; an error has its own message).
QString fixedStateText(qint16 trayAlert);

// "Synchronized on " + the date in the user's short form + " at " + the time as hours and
// minutes on the 12-hour clock with AM/PM.
QString synchronizedToolTip(Date lastSynchDate);

// The text cut to ToolTipLength characters.
QString cutToolTip(const QString &text);

// The image index 1..12 of picture number 1..6: the second set (7..12) when the operating
// system's product name is known and contains "XP" in any letter case; 12 for anything
// that falls outside 1..12.
int iconIndex(int picture, bool osKnown, const QString &os);

} // namespace TrayDisplay
