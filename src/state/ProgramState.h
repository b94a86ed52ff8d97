#pragma once

#include "common/Date.h"
#include "common/IntervalChoice.h"
#include "servers/DataFile.h"
#include "servers/clsHosts.h"

#include <QString>

class SystemClock;
class TimeZoneBias;

// The codes of ProgramState::TrayAlert, the tray state. The values are fixed: the tray's
// table of pictures and tool tips is written in them.
namespace TrayAlert {
constexpr qint16 Paused = -1;
constexpr qint16 Synchronized = 0;
constexpr qint16 TooFarOff = 1; // the clock is off by 30 minutes or more
constexpr qint16 Failed = 2;    // an error; TrayAlertMessage says which
constexpr qint16 Looking = 3;   // looking for a time server
} // namespace TrayAlert

// The codes of HostsShowing and AboutShowing: whether that window is open.
namespace WindowShowing {
constexpr qint16 Closed = 0;
constexpr qint16 Open = 1;
} // namespace WindowShowing

// The codes of a server's HostStatus live beside its record, in servers/clsHost.h.

// The program-wide state: owned by main() and handed to whoever needs it, so that a test
// can build as many independent programs as it likes. Every value is in place before any
// timer, socket or tray event runs.
struct ProgramState {
    ProgramState(SystemClock &clock, TimeZoneBias &zone) : Clock(clock), Zone(zone) { }

    // The two seams to the operating system's time.
    SystemClock &Clock;
    TimeZoneBias &Zone;

    clsHosts Hosts;
    QString DataFolder; // with a trailing separator

    qint16 HostsShowing = WindowShowing::Closed; // Open while the Time Servers window is open
    qint16 AboutShowing = WindowShowing::Closed; // Open while the About window is open
    Date LastSynchDate = DateTime::Never;

    // Tray menu check marks that the logic reads.
    IntervalChoice Interval;
    bool PauseChecked = false;

    // Tray state: one of the TrayAlert codes above.
    qint16 TrayAlert = TrayAlert::Looking;
    QString TrayAlertMessage;
    qint16 TrayAlertShowing = 0; // blink phase, 0 or 1

    // Countdown: an attempt starts when pollTicks exceeds pollLimit.
    qint32 pollTicks = 0;  // seconds
    qint32 pollLimit = 10; // seconds
};

// The data file of this program's state: its folder, interval and server list.
inline QString dataFilePath(const ProgramState &state) { return dataFilePath(state.DataFolder); }
inline void CreateDataFolder(const ProgramState &state) { CreateDataFolder(state.DataFolder); }
inline bool LoadDataFile(ProgramState &state) { return LoadDataFile(state.DataFolder, state.Interval, state.Hosts); }
inline bool LoadDataFile(ProgramState &state, QIODevice &file) { return LoadDataFile(file, state.Interval, state.Hosts); }
inline bool SaveDataFile(const ProgramState &state) { return SaveDataFile(state.DataFolder, state.Interval, state.Hosts); }
inline bool SaveDataFile(const ProgramState &state, QIODevice &file)
{
    return SaveDataFile(file, state.Interval, state.Hosts);
}
