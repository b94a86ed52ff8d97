#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDateTime>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// A notification area of the D-Bus kind (StatusNotifierItem, as Plasma, Xfce and GNOME's
// AppIndicator extension show icons): the watcher that items register with
// (org.kde.StatusNotifierWatcher), which also says that a host is there, and the host's
// side that reads an item's tool tip and menu (com.canonical.dbusmenu) and presses it.
//
// Every call to an item waits a bounded time; the watcher answers only while the test's
// event loop runs (QTest::qWait, QTRY_*), so a test waits that way for the item to come.
class SniHost : public QDBusVirtualObject
{
public:
    static constexpr int CallTimeoutMs = 5000; // milliseconds
    static constexpr const char *WatcherService = "org.kde.StatusNotifierWatcher";
    static constexpr const char *WatcherPath = "/StatusNotifierWatcher";
    static constexpr const char *ItemInterface = "org.kde.StatusNotifierItem";
    static constexpr const char *MenuInterface = "com.canonical.dbusmenu";

    // Where an item lives: the bus name that registered it and its object path.
    struct Item {
        QString service;
        QString path;
    };

    // One entry of a menu as dbusmenu gives it. checked: -1 for an entry that cannot be
    // checked, else 0 or 1.
    struct MenuEntry {
        int id = 0;
        QString label;
        bool separator = false;
        bool enabled = true;
        bool visible = true;
        int checked = -1;
        QList<MenuEntry> children;
    };

    explicit SniHost(const QString &busAddress)
        : mConnection(QDBusConnection::connectToBus(busAddress, QStringLiteral("sni-host-%1").arg(quintptr(this))))
    {
    }
    ~SniHost() override
    {
        mConnection.unregisterObject(QString::fromLatin1(WatcherPath));
        mConnection.unregisterService(QString::fromLatin1(WatcherService));
        QDBusConnection::disconnectFromBus(mConnection.name());
    }
    SniHost(const SniHost &) = delete;
    SniHost &operator=(const SniHost &) = delete;

    // Puts the watcher on the bus; false, with the reason in *error, when it cannot.
    bool start(QString *error)
    {
        if (!mConnection.isConnected()) {
            *error = QStringLiteral("cannot connect to the bus: ") + mConnection.lastError().message();
            return false;
        }
        if (!mConnection.registerVirtualObject(QString::fromLatin1(WatcherPath), this)) {
            *error = QStringLiteral("cannot register the watcher object");
            return false;
        }
        if (!mConnection.registerService(QString::fromLatin1(WatcherService))) {
            *error = QStringLiteral("cannot own the watcher's name: ") + mConnection.lastError().message();
            return false;
        }
        return true;
    }

    QDBusConnection &connection() { return mConnection; }

    // The items registered so far, in their order.
    const QList<Item> &items() const { return mItems; }

    // The tool tip's title, where the text of an item's tool tip goes; empty when the item
    // does not answer.
    std::optional<QString> toolTipTitle(const Item &item)
    {
        const auto value = property(item, QStringLiteral("ToolTip"));
        if (!value || !value->canConvert<QDBusArgument>())
            return std::nullopt;
        // (sa(iiay)ss): icon name, icon pictures, title, description.
        const QDBusArgument argument = value->value<QDBusArgument>();
        QString iconName, title, description;
        argument.beginStructure();
        argument >> iconName;
        argument.beginArray();
        while (!argument.atEnd()) {
            int width = 0, height = 0;
            QByteArray pixels;
            argument.beginStructure();
            argument >> width >> height >> pixels;
            argument.endStructure();
        }
        argument.endArray();
        argument >> title >> description;
        argument.endStructure();
        return title;
    }

    // The pictures of an item's icon (IconPixmap), each as its width, height and ARGB bytes
    // in network order; empty when it has none or does not answer.
    struct Picture {
        int width = 0;
        int height = 0;
        QByteArray pixels;
        bool operator==(const Picture &) const = default;
    };
    QList<Picture> iconPictures(const Item &item)
    {
        QList<Picture> pictures;
        const auto value = property(item, QStringLiteral("IconPixmap"));
        if (!value || !value->canConvert<QDBusArgument>())
            return pictures;
        const QDBusArgument argument = value->value<QDBusArgument>();
        argument.beginArray();
        while (!argument.atEnd()) {
            Picture picture;
            argument.beginStructure();
            argument >> picture.width >> picture.height >> picture.pixels;
            argument.endStructure();
            pictures << picture;
        }
        argument.endArray();
        return pictures;
    }

    // The object path of an item's menu; empty when it has none or does not answer.
    QString menuPath(const Item &item)
    {
        const auto value = property(item, QStringLiteral("Menu"));
        if (!value)
            return {};
        return value->value<QDBusObjectPath>().path();
    }

    // An item's whole menu, after telling it that the menu is about to open (as a host does,
    // so that the item may bring its entries up to date); empty when it does not answer.
    std::optional<MenuEntry> menu(const Item &item)
    {
        const QString path = menuPath(item);
        if (path.isEmpty())
            return std::nullopt;
        call(item.service, path, MenuInterface, QStringLiteral("AboutToShow"), { 0 });
        const auto reply = call(item.service, path, MenuInterface, QStringLiteral("GetLayout"),
                                { 0, -1, QStringList() });
        if (!reply || reply->arguments().size() != 2)
            return std::nullopt;
        return readEntry(reply->arguments().at(1).value<QDBusArgument>());
    }

    // The menu entry with the label, searched through the submenus; null when none.
    static const MenuEntry *find(const MenuEntry &menu, const QString &label)
    {
        for (const MenuEntry &entry : menu.children) {
            if (entry.label == label)
                return &entry;
            if (const MenuEntry *inner = find(entry, label))
                return inner;
        }
        return nullptr;
    }

    // A press on a menu entry, as a host sends it when the user chooses it.
    bool click(const Item &item, int entryId)
    {
        const QString path = menuPath(item);
        return !path.isEmpty()
               && call(item.service, path, MenuInterface, QStringLiteral("Event"),
                       { entryId, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)),
                         uint(QDateTime::currentSecsSinceEpoch()) })
                      .has_value();
    }

    // The left press on the icon, at a point of the screen.
    bool activate(const Item &item, int x, int y)
    {
        return call(item.service, item.path, ItemInterface, QStringLiteral("Activate"), { x, y }).has_value();
    }

    // QDBusVirtualObject: the watcher's side.
    QString introspect(const QString &path) const override
    {
        if (path != QLatin1String(WatcherPath))
            return {};
        return QStringLiteral(
            "<interface name=\"org.kde.StatusNotifierWatcher\">"
            "<method name=\"RegisterStatusNotifierItem\"><arg name=\"service\" type=\"s\" direction=\"in\"/></method>"
            "<method name=\"RegisterStatusNotifierHost\"><arg name=\"service\" type=\"s\" direction=\"in\"/></method>"
            "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
            "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
            "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
            "<signal name=\"StatusNotifierItemRegistered\"><arg type=\"s\"/></signal>"
            "<signal name=\"StatusNotifierItemUnregistered\"><arg type=\"s\"/></signal>"
            "<signal name=\"StatusNotifierHostRegistered\"/>"
            "</interface>");
    }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage || message.path() != QLatin1String(WatcherPath))
            return false;
        const QString member = message.member();
        const QVariantList arguments = message.arguments();
        QDBusConnection bus(connection);
        // A virtual object answers its introspection itself.
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Introspectable")) {
            bus.send(message.createReply(
                QStringLiteral("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                               " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>")
                + introspect(QString::fromLatin1(WatcherPath))
                + QStringLiteral("<interface name=\"org.freedesktop.DBus.Properties\">"
                                 "<method name=\"Get\"><arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
                                 "<arg type=\"v\" direction=\"out\"/></method>"
                                 "<method name=\"GetAll\"><arg type=\"s\" direction=\"in\"/>"
                                 "<arg type=\"a{sv}\" direction=\"out\"/></method></interface>"
                                 "<interface name=\"org.freedesktop.DBus.Introspectable\">"
                                 "<method name=\"Introspect\"><arg type=\"s\" direction=\"out\"/></method>"
                                 "</interface></node>")));
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties")) {
            if (member == QLatin1String("Get") && arguments.size() == 2) {
                const auto value = watcherProperty(arguments.at(1).toString());
                if (!value) {
                    bus.send(message.createErrorReply(QDBusError::UnknownProperty, arguments.at(1).toString()));
                    return true;
                }
                bus.send(message.createReply(QVariant::fromValue(QDBusVariant(*value))));
                return true;
            }
            if (member == QLatin1String("GetAll")) {
                QVariantMap all;
                for (const char *name : { "RegisteredStatusNotifierItems", "IsStatusNotifierHostRegistered",
                                          "ProtocolVersion" })
                    all.insert(QString::fromLatin1(name), *watcherProperty(QString::fromLatin1(name)));
                bus.send(message.createReply(QVariant::fromValue(all)));
                return true;
            }
            bus.send(message.createErrorReply(QDBusError::NotSupported, member));
            return true;
        }
        if (member == QLatin1String("RegisterStatusNotifierItem") && arguments.size() == 1) {
            // The argument is the item's bus name (its object then lies at the usual path),
            // or an object path on the caller's connection.
            const QString name = arguments.at(0).toString();
            Item item;
            if (name.startsWith(QLatin1Char('/'))) {
                item = { message.service(), name };
            } else {
                item = { name, QStringLiteral("/StatusNotifierItem") };
            }
            mItems << item;
            bus.send(message.createReply());
            bus.send(QDBusMessage::createSignal(QString::fromLatin1(WatcherPath), QString::fromLatin1(WatcherService),
                                                QStringLiteral("StatusNotifierItemRegistered"))
                     << item.service + item.path);
            return true;
        }
        if (member == QLatin1String("RegisterStatusNotifierHost") && arguments.size() == 1) {
            bus.send(message.createReply());
            return true;
        }
        bus.send(message.createErrorReply(QDBusError::UnknownMethod, member));
        return true;
    }

private:
    std::optional<QVariant> watcherProperty(const QString &name) const
    {
        if (name == QLatin1String("RegisteredStatusNotifierItems")) {
            QStringList names;
            for (const Item &item : mItems)
                names << item.service + item.path;
            return QVariant(names);
        }
        if (name == QLatin1String("IsStatusNotifierHostRegistered"))
            return QVariant(true);
        if (name == QLatin1String("ProtocolVersion"))
            return QVariant(0);
        return std::nullopt;
    }

    std::optional<QDBusMessage> call(const QString &service, const QString &path, const char *interface,
                                     const QString &method, const QVariantList &arguments)
    {
        QDBusMessage request = QDBusMessage::createMethodCall(service, path, QString::fromLatin1(interface), method);
        request.setArguments(arguments);
        const QDBusMessage reply = mConnection.call(request, QDBus::Block, CallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        return reply;
    }

    std::optional<QVariant> property(const Item &item, const QString &name)
    {
        const auto reply = call(item.service, item.path, "org.freedesktop.DBus.Properties", QStringLiteral("Get"),
                                { QString::fromLatin1(ItemInterface), name });
        if (!reply || reply->arguments().isEmpty())
            return std::nullopt;
        return reply->arguments().first().value<QDBusVariant>().variant();
    }

    // (ia{sv}av): the id, the properties, the children each in a variant.
    static MenuEntry readEntry(const QDBusArgument &argument)
    {
        MenuEntry entry;
        QVariantMap properties;
        argument.beginStructure();
        argument >> entry.id >> properties;
        argument.beginArray();
        while (!argument.atEnd()) {
            QDBusVariant child;
            argument >> child;
            entry.children << readEntry(child.variant().value<QDBusArgument>());
        }
        argument.endArray();
        argument.endStructure();
        entry.label = properties.value(QStringLiteral("label")).toString();
        entry.separator = properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
        entry.enabled = properties.value(QStringLiteral("enabled"), true).toBool();
        entry.visible = properties.value(QStringLiteral("visible"), true).toBool();
        if (properties.contains(QStringLiteral("toggle-type"))
            && !properties.value(QStringLiteral("toggle-type")).toString().isEmpty())
            entry.checked = properties.value(QStringLiteral("toggle-state"), 0).toInt() == 1 ? 1 : 0;
        return entry;
    }

    QDBusConnection mConnection;
    QList<Item> mItems;
};
