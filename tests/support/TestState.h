#pragma once

#include "FakeSystemClock.h"
#include "FakeTimeZoneBias.h"

#include "servers/DataFile.h"
#include "state/ProgramState.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>

// A server record of the given address, its part in automatic synchronization and the
// outcome of its last attempt. Its name is left blank: the program only stores the name.
inline std::shared_ptr<clsHost> hostRecord(const QString &path, qint16 active = 1, qint16 status = HostStatus::Untried,
                                           Date polled = DateTime::Never, qint32 error = 0)
{
    auto host = std::make_shared<clsHost>();
    host->setHostPath(path);
    host->setHostActive(active);
    host->setHostStatus(status);
    host->setHostPollDate(polled);
    host->setHostSynchError(error);
    return host;
}

// One program's state on fakes: a data folder of its own (empty at first, removed with the
// rig), a clock and a zone that the test moves by hand, and the ProgramState wired to the
// three. The fake clock's local time is in the fake zone, so that what it reads back as
// universal time agrees with the bias the program reads.
struct TestState {
    explicit TestState(qint32 bias = 0, Date now = FakeSystemClock::Start)
        : clock(now), zone(bias), state(wired(clock, zone, folder))
    {
        clock.zoneBias = bias;
    }

    // The state wired to other seams (the machine's own clock or zone, say) instead of the
    // fakes, with the rig's folder all the same.
    TestState(SystemClock &otherClock, TimeZoneBias &otherZone) : state(wired(otherClock, otherZone, folder)) { }

    TestState(const TestState &) = delete;
    TestState &operator=(const TestState &) = delete;

    // Appends a record, as hostRecord() makes it, to the state's list; the record itself, so
    // that the test can watch it.
    std::shared_ptr<clsHost> addHost(const QString &path, qint16 active = 1, qint16 status = HostStatus::Untried,
                                     Date polled = DateTime::Never, qint32 error = 0)
    {
        auto host = hostRecord(path, active, status, polled, error);
        state.Hosts.Add(host);
        return host;
    }

    // A second program's state on the same folder and seams, nothing loaded yet: the next
    // start of the program, or a reader of what this one saved.
    ProgramState another() const { return wired(state.Clock, state.Zone, folder); }

    QString dataFile() const { return dataFilePath(state); }
    bool removeDataFile() const { return QFile::remove(dataFile()); }

    QTemporaryDir folder;
    FakeSystemClock clock;
    FakeTimeZoneBias zone;
    ProgramState state;

private:
    static ProgramState wired(SystemClock &clock, TimeZoneBias &zone, const QTemporaryDir &folder)
    {
        ProgramState state(clock, zone);
        state.DataFolder = folder.path() + QLatin1Char('/');
        return state;
    }
};
