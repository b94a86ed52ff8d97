#pragma once

#include "PrivateSessionBus.h"
#include "SniHost.h"
#include "TrayDesktop.h"

#include <QTest>

#include <memory>

// A desktop whose notification area is of the D-Bus kind: an X server, a session bus of the
// test's own, and on it the watcher and host of SniHost. A program started on this display
// with the bus's environment shows its icon through the bus, since the watcher is there
// before it starts. Everything ends with the object, the host first.
struct SniDesktop {
    // The tools that such a test uses on the display: xdotool finds windows, import takes
    // screenshots. No X tray: the bus is the notification area.
    static QStringList tools() { return { QStringLiteral("xdotool"), QStringLiteral("import") }; }

    // Starts the three for a test function: skips it when there is no X server or no bus to
    // be had here, fails it when a tool is missing or the watcher cannot be put on the bus.
    // False when the function was skipped or failed: it returns.
    bool startForTest()
    {
        if (!display.startForTest(tools()) || !bus.startForTest())
            return false;
        host = std::make_unique<SniHost>(bus.address());
        QString why;
        if (!host->start(&why)) {
            QTest::qFail(qPrintable(why), __FILE__, __LINE__);
            return false;
        }
        return true;
    }

    TrayDesktop display;
    PrivateSessionBus bus;
    std::unique_ptr<SniHost> host;
};
