#include "platform/DesktopNotification.h"

// Windows has a notification area wherever it has a desktop: the icon's own messages serve,
// and nothing is sent here.
struct DesktopNotification::Private {
};

DesktopNotification::DesktopNotification(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) { }

DesktopNotification::~DesktopNotification() = default;

bool DesktopNotification::send(const QString &, const QString &, const QImage &, const QString &)
{
    return false;
}
