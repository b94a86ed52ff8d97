#include "app/Presence.h"

#include <QApplication>
#include <QSystemTrayIcon>

Presence decidePresence(bool graphical, const QString &platformName, bool trayAvailable)
{
    // Qt falls back to these when the display cannot be reached; nobody sees what they draw.
    if (!graphical || platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal"))
        return Presence::Headless;
    return trayAvailable ? Presence::Tray : Presence::DisplayWithoutTray;
}

Presence decidePresence()
{
    const bool graphical = qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
    return decidePresence(graphical, graphical ? QGuiApplication::platformName() : QString(),
                          graphical && QSystemTrayIcon::isSystemTrayAvailable());
}
