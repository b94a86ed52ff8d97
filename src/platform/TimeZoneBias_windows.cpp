#include "platform/TimeZoneBias.h"

#include "platform/Registry.h"

namespace {

// The bias the system keeps for the zone in force now, daylight saving included: the
// registry's ActiveTimeBias, which the system rewrites at each change of zone or of daylight
// saving. Where the registry has no such value (Wine writes none), the same figure from the
// zone's rules as the system gives them now. Qt's own local time is not used: it follows the
// C run-time, which a TZ variable in the environment turns away from the system's zone,
// and the clock is set in the system's.
class RegistryTimeZoneBias final : public TimeZoneBias
{
public:
    bool read(qint32 &bias) const override
    {
        QString text;
        if (ReadRegistryValue(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation"),
                              QStringLiteral("ActiveTimeBias"), text)) {
            bool converted = false;
            const qint32 value = text.toInt(&converted);
            if (!converted)
                return false;
            bias = value;
            return true;
        }
        return readFromRules(bias);
    }

private:
    static bool readFromRules(qint32 &bias)
    {
        TIME_ZONE_INFORMATION zone {};
        switch (GetTimeZoneInformation(&zone)) {
        case TIME_ZONE_ID_UNKNOWN: // a zone without daylight saving
            bias = qint32(zone.Bias);
            return true;
        case TIME_ZONE_ID_STANDARD:
            bias = qint32(zone.Bias + zone.StandardBias);
            return true;
        case TIME_ZONE_ID_DAYLIGHT:
            bias = qint32(zone.Bias + zone.DaylightBias);
            return true;
        default:
            return false;
        }
    }
};

} // namespace

std::unique_ptr<TimeZoneBias> createTimeZoneBias()
{
    return std::make_unique<RegistryTimeZoneBias>();
}
