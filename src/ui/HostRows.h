#pragma once

#include "common/Date.h"

#include <QString>
#include <QtGlobal>

class clsHost;

// What a row of the Time Servers window shows for a server's record: its status image and
// the words for it, its check box and the texts of its cells. Decided from the record and
// the clock's reading alone; nothing here touches a widget, so the window only shows the
// answers.
namespace HostRows {

// What an entry's status image shows. Its bold type adds that the server's last answer
// was 30 minutes or more away from this computer's clock and was not believed.
enum class RowState {
    NotTried = 1, // since it was added or edited
    Succeeded,
    Failed,       // the last attempt by hand
    Asking,       // an attempt by hand is under way
};

// The state a record's HostStatus shows; a value without a name shows as not tried.
RowState stateOfStatus(qint16 hostStatus);
// The list's status image of a state: 1 not tried or asking, 2 succeeded, 3 failed.
int imageOf(RowState state);
// The status image in words, for screen readers and the tool tip; bold adds that the last
// answer was not believed.
QString describeState(RowState state, bool bold);

// Whether the record's check box is ticked: only HostActive 1 takes part in automatic
// synchronization.
bool isChecked(const clsHost &record);

// A cell's shown text and the name screen readers get for it: the list shows its texts
// after a blank, a screen reader says the words alone.
struct Cell {
    QString shown;
    QString spoken;
};

// The "Time Server" cell of an address.
Cell serverCell(const QString &hostPath);
// "Last Synchronization": the day relative to now, " at " and the time of HostPollDate;
// blank when never.
Cell lastSynchronizationCell(const clsHost &record, Date now);
// "Correction": the duration of HostSynchError; "None" after a synchronization that
// corrected nothing; blank when never synchronized.
Cell correctionCell(const clsHost &record);

// The list's order: by the server's text, letter case aside, then exactly, so that the
// order is the one a reader expects and never depends on where an entry was.
bool listsBefore(const QString &mine, const QString &theirs);

} // namespace HostRows
