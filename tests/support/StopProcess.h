#pragma once

#include <QProcess>

// Ends a helper process the tests started: asks it to end (SIGTERM), and kills it when it
// has not ended within graceMs milliseconds. Returns at once when it is not running.
inline void stopProcess(QProcess &process, int graceMs = 3000)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(3000);
    }
}
