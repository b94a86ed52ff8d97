#include "platform/TimeZoneBias.h"

#include <QDateTime>

namespace {

// Qt asks the system for the zone's rules at each call, so a change of zone or of
// daylight saving shows at the next read (the registry's active bias, underneath).
class SystemTimeZoneBias final : public TimeZoneBias
{
public:
    bool read(qint32 &bias) const override
    {
        const QDateTime local = QDateTime::currentDateTime();
        if (!local.isValid())
            return false;
        bias = -local.offsetFromUtc() / 60;
        return true;
    }
};

} // namespace

std::unique_ptr<TimeZoneBias> createTimeZoneBias()
{
    return std::make_unique<SystemTimeZoneBias>();
}
