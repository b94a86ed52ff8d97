#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QImage>
#include <QStringList>
#include <QVariantMap>

// The desktop's notification service (org.freedesktop.Notifications) of a test's own, on a
// private session bus: it shows nothing, and keeps every notification it is sent.
class NotificationService : public QDBusVirtualObject
{
public:
    static constexpr const char *Service = "org.freedesktop.Notifications";
    static constexpr const char *Path = "/org/freedesktop/Notifications";

    struct Notification {
        QString application;
        QString summary;
        QString body;
        QImage image; // from the "image-data" hint; null without one
        QVariantMap hints;
    };

    explicit NotificationService(const QString &busAddress)
        : mConnection(QDBusConnection::connectToBus(busAddress, QStringLiteral("notifications-%1").arg(quintptr(this))))
    {
    }
    ~NotificationService() override
    {
        mConnection.unregisterObject(QString::fromLatin1(Path));
        mConnection.unregisterService(QString::fromLatin1(Service));
        QDBusConnection::disconnectFromBus(mConnection.name());
    }
    NotificationService(const NotificationService &) = delete;
    NotificationService &operator=(const NotificationService &) = delete;

    // False, with the reason in *error, when the service cannot be put on the bus.
    bool start(QString *error)
    {
        if (!mConnection.isConnected() || !mConnection.registerVirtualObject(QString::fromLatin1(Path), this)
            || !mConnection.registerService(QString::fromLatin1(Service))) {
            *error = QStringLiteral("cannot offer the notification service: ") + mConnection.lastError().message();
            return false;
        }
        return true;
    }

    QList<Notification> received;

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == QLatin1String("Notify") && message.arguments().size() == 8) {
            const QList<QVariant> arguments = message.arguments();
            Notification shown;
            shown.application = arguments.at(0).toString();
            shown.summary = arguments.at(3).toString();
            shown.body = arguments.at(4).toString();
            shown.hints = qdbus_cast<QVariantMap>(arguments.at(6));
            shown.image = image(shown.hints.value(QStringLiteral("image-data")));
            received << shown;
            connection.send(message.createReply(QVariant::fromValue(uint(received.size()))));
            return true;
        }
        if (message.member() == QLatin1String("GetCapabilities")) {
            connection.send(message.createReply(QStringList { QStringLiteral("body") }));
            return true;
        }
        return false;
    }

private:
    // The (iiibiiay) structure of the "image-data" hint.
    static QImage image(const QVariant &value)
    {
        if (!value.canConvert<QDBusArgument>())
            return QImage();
        const QDBusArgument argument = value.value<QDBusArgument>();
        int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
        bool alpha = false;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> stride >> alpha >> bits >> channels >> pixels;
        argument.endStructure();
        if (width <= 0 || height <= 0 || bits != 8 || channels != 4 || !alpha || pixels.size() < qsizetype(stride) * height)
            return QImage();
        return QImage(reinterpret_cast<const uchar *>(pixels.constData()), width, height, stride, QImage::Format_RGBA8888)
            .copy();
    }

    QDBusConnection mConnection;
};
