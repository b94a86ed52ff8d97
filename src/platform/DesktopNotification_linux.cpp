#include "platform/DesktopNotification.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSet>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString DefaultActionKey = QStringLiteral("default");
const QString ActionsCapability = QStringLiteral("actions");
constexpr int DefaultTimeout = -1; // the server's own choice
constexpr int BitsPerSample = 8;
constexpr int Channels = 4; // red, green, blue, alpha
// A service that takes longer than this to list what it can do gets the notification
// without its action: it is told late rather than never.
constexpr int CapabilitiesTimeoutMs = 2000; // milliseconds

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

QDBusMessage notifyCall(const QString &title, const QString &text, const QImage &icon, const QString &defaultAction)
{
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("brindlecot"));
    if (!icon.isNull())
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(imageData(icon)));
    QStringList actions; // pairs of key and label
    if (!defaultAction.isEmpty())
        actions << DefaultActionKey << defaultAction;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
    call << QStringLiteral("Brindlecot") << uint(0) << QString() << title << text << actions << hints << DefaultTimeout;
    return call;
}

} // namespace

// The service tells every client of every action and every closed notification; only the
// ones of notifications sent here with an action count, and those are forgotten once closed.
class DesktopNotificationListener : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotificationListener(DesktopNotification &owner) : mOwner(owner) { }

    // Listens on the bus from the first notification with an action on.
    void listen(QDBusConnection &bus)
    {
        if (mListening)
            return;
        mListening = bus.connect(Service, Path, Service, QStringLiteral("ActionInvoked"), this,
                                 SLOT(actionInvoked(uint, QString)))
                     && bus.connect(Service, Path, Service, QStringLiteral("NotificationClosed"), this,
                                    SLOT(notificationClosed(uint, uint)));
    }

    QSet<uint> withAction; // ids the service gave to notifications sent with an action

private slots:
    void actionInvoked(uint id, const QString &key)
    {
        if (key == DefaultActionKey && withAction.contains(id))
            emit mOwner.defaultActionInvoked();
    }

    void notificationClosed(uint id, uint /*reason*/) { withAction.remove(id); }

private:
    DesktopNotification &mOwner;
    bool mListening = false;
};

struct DesktopNotification::Private {
    explicit Private(DesktopNotification &owner) : listener(owner) { }
    DesktopNotificationListener listener;
};

DesktopNotification::DesktopNotification(QObject *parent) : QObject(parent), d(std::make_unique<Private>(*this)) { }

DesktopNotification::~DesktopNotification() = default;

bool DesktopNotification::send(const QString &title, const QString &text, const QImage &icon, const QString &defaultAction)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(Service).value())
        return false;
    if (defaultAction.isEmpty())
        return bus.send(notifyCall(title, text, icon, QString()));
    // An action goes only to a service that says it shows actions; the others would show
    // the label as a button that does nothing, or nothing. The answers are awaited in the
    // event loop, never here: the service may be slow, or in this very process.
    d->listener.listen(bus);
    auto *capabilities = new QDBusPendingCallWatcher(
        bus.asyncCall(QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("GetCapabilities")),
                      CapabilitiesTimeoutMs),
        this);
    const auto listed = [this, title, text, icon, defaultAction](QDBusPendingCallWatcher *asked) {
        asked->deleteLater();
        const QDBusPendingReply<QStringList> offered = *asked;
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (offered.isError() || !offered.value().contains(ActionsCapability)) {
            bus.send(notifyCall(title, text, icon, QString()));
            return;
        }
        auto *notified = new QDBusPendingCallWatcher(bus.asyncCall(notifyCall(title, text, icon, defaultAction)), this);
        connect(notified, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *sent) {
            sent->deleteLater();
            const QDBusPendingReply<uint> id = *sent;
            if (!id.isError())
                d->listener.withAction.insert(id.value());
        });
    };
    connect(capabilities, &QDBusPendingCallWatcher::finished, this, listed);
    return true;
}

#include "DesktopNotification_linux.moc"
