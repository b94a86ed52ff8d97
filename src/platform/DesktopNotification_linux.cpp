#include "platform/DesktopNotification.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int DefaultTimeout = -1; // the server's own choice
constexpr int BitsPerSample = 8;
constexpr int Channels = 4; // red, green, blue, alpha

// The "image-data" hint: width, height, row stride, alpha, bits per sample, channels, and
// the rows of RGBA bytes.
QDBusArgument imageData(const QImage &icon)
{
    const QImage rgba = icon.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << rgba.width() << rgba.height() << int(rgba.bytesPerLine()) << true << BitsPerSample << Channels
             << QByteArray(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes());
    argument.endStructure();
    return argument;
}

} // namespace

bool sendDesktopNotification(const QString &title, const QString &text, const QImage &icon)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(Service).value())
        return false;
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("brindlecot"));
    if (!icon.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(imageData(icon)));
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    call << QStringLiteral("Brindlecot") << uint(0) << QString() << title << text << QStringList() << hints
         << DefaultTimeout;
    // Nothing waits for the answer: the program goes on whatever the service does with it.
    return bus.send(call);
}
