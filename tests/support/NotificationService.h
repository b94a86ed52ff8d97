#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QImage>
#include <QStringList>
#include <QVariantMap>

#include <atomic>

// The desktop's notification service (org.freedesktop.Notifications) of a test's own, on a
// private session bus: it shows nothing, keeps every notification it is sent, and reports an
// action chosen when the test chooses one (invokeAction).
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
        QStringList actions; // pairs of key and label
        uint id = 0;         // the id the service gave it
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

    QList<Notification> received; // on the thread that made the service, through its event loop
    // What the service says it can do; a service without "actions" gets none offered.
    QStringList capabilities { QStringLiteral("body"), QStringLiteral("actions") };

    // Reports the user's choice of the action `key` of notification `id`, as a click on it does.
    bool invokeAction(uint id, const QString &key)
    {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(Path), QString::fromLatin1(Service),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << key;
        return mConnection.send(signal);
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == QLatin1String("Notify") && message.arguments().size() == 8) {
            const QList<QVariant> arguments = message.arguments();
            Notification shown;
            shown.application = arguments.at(0).toString();
            shown.summary = arguments.at(3).toString();
            shown.body = arguments.at(4).toString();
            shown.actions = arguments.at(5).toStringList();
            shown.hints = qdbus_cast<QVariantMap>(arguments.at(6));
            shown.image = image(shown.hints.value(QStringLiteral("image-data")));
            shown.id = ++mLastId;
            connection.send(message.createReply(QVariant::fromValue(shown.id)));
            // Qt hands a virtual object its messages on the bus's own thread; the list is the
            // test's, read on the test's thread.
            QMetaObject::invokeMethod(this, [this, shown] { received << shown; }, Qt::QueuedConnection);
            return true;
        }
        if (message.member() == QLatin1String("GetCapabilities")) {
            connection.send(message.createReply(capabilities));
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
    std::atomic<uint> mLastId { 0 };
};
