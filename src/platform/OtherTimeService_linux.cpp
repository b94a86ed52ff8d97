#include "platform/OtherTimeService.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>

namespace {

// The time services that Debian packages, by their systemd units, and the program each
// runs. chronyd.service is chrony's unit elsewhere and an alias of chrony.service here.
struct Unit {
    const char *unit;
    const char *program;
};
constexpr Unit Units[] = {
    { "systemd-timesyncd.service", "systemd-timesyncd" },
    { "chrony.service", "chronyd" },
    { "chronyd.service", "chronyd" },
    { "ntpsec.service", "ntpd" },
    { "ntp.service", "ntpd" },
    { "openntpd.service", "openntpd" },
};

// The units' states in one call to systemd's manager on the system bus, which every
// account may ask: no unit is started, and timedated (whose NTP property says only that
// some such unit runs, not which) is not woken for it.
class SystemdTimeService final : public OtherTimeService
{
public:
    QString running() override
    {
        // Where there is no system bus (a container, say) Qt's connection stays unconnected.
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return {};
        QStringList names;
        for (const Unit &unit : Units)
            names << QString::fromLatin1(unit.unit);
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.systemd1"), QStringLiteral("/org/freedesktop/systemd1"),
            QStringLiteral("org.freedesktop.systemd1.Manager"), QStringLiteral("ListUnitsByNames"));
        call << names;
        const QDBusMessage reply = bus.call(call, QDBus::Block, OtherTimeServiceTimeoutMs);
        // Name, description, load, active and sub state, followed unit, path, job id, type, path.
        if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a(ssssssouso)"))
            return {};
        const QDBusArgument list = reply.arguments().constFirst().value<QDBusArgument>();
        QString found;
        list.beginArray();
        while (!list.atEnd()) {
            QString name, description, load, active, sub, following, jobType;
            QDBusObjectPath path, jobPath;
            uint job = 0;
            list.beginStructure();
            list >> name >> description >> load >> active >> sub >> following >> path >> job >> jobType >> jobPath;
            list.endStructure();
            if (!found.isEmpty() || (active != QLatin1String("active") && active != QLatin1String("reloading")))
                continue;
            for (const Unit &unit : Units) {
                if (name == QLatin1String(unit.unit))
                    found = QString::fromLatin1(unit.program);
            }
        }
        list.endArray();
        return found;
    }
};

} // namespace

std::unique_ptr<OtherTimeService> createOtherTimeService()
{
    return std::make_unique<SystemdTimeService>();
}
