#pragma once

#include <QtGlobal>

// The synchronization interval, kept as the check marks of the tray menu's "Minute",
// "Hour" and "Day" items. The menu shows these flags; the data file stores them as a
// code (1 = Minute, 2 = Hour, 3 = Day).
struct IntervalChoice {
    bool Minute = false;
    bool Hour = false;
    bool Day = true;

    // 60, 3600 or 86400 seconds; items are tested in that order and a later checked
    // item wins; 60 when none is checked.
    qint32 GetSynchInterval() const;

    // The code the data file stores: the last checked of Minute, Hour, Day; 1 when none.
    qint32 code() const;

    // Checks exactly the item of code 1, 2 or 3; any other code changes nothing.
    void applyCode(qint32 code);
};
