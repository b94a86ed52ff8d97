#include "platform/TimeZoneBias.h"

#include "platform/Registry.h"

namespace {

// The bias the system keeps for the zone in force now, daylight saving included; the
// system rewrites it at each change of zone or of daylight saving. Qt's own local time
// follows the C run-time, which a TZ variable in the environment can turn away from the
// system's zone: the clock is set in the system's.
class RegistryTimeZoneBias final : public TimeZoneBias
{
public:
    bool read(qint32 &bias) const override
    {
        QString text;
        if (!ReadRegistryValue(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation"),
                               QStringLiteral("ActiveTimeBias"), text))
            return false;
        bool converted = false;
        const qint32 value = text.toInt(&converted);
        if (!converted)
            return false;
        bias = value;
        return true;
    }
};

} // namespace

std::unique_ptr<TimeZoneBias> createTimeZoneBias()
{
    return std::make_unique<RegistryTimeZoneBias>();
}
