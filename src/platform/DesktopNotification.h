#pragma once

#include <QImage>
#include <QString>

// One notification from the program to the desktop's notification service, for a desktop
// where the program has no icon to show a message from. False when no service is there to
// take it; the notification is then the caller's to tell another way.
bool sendDesktopNotification(const QString &title, const QString &text, const QImage &icon);
