#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

// Keeps this process's TZ as it was when the guard was made and puts it back when the guard
// goes (unset again if it was unset), so that a test that moves the zone leaves the zone it
// found. The C library reads the restored value at once; a test that sets TZ itself decides
// whether to call tzset(), since whether a seam reads the zone anew is what it may check.
class TimeZoneGuard
{
public:
    TimeZoneGuard() : mSaved(qgetenv("TZ")) { }
    ~TimeZoneGuard()
    {
        if (mSaved.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", mSaved);
        tzset();
    }

    TimeZoneGuard(const TimeZoneGuard &) = delete;
    TimeZoneGuard &operator=(const TimeZoneGuard &) = delete;

    // TZ as it was, null when unset.
    QByteArray saved() const { return mSaved; }

private:
    QByteArray mSaved;
};
