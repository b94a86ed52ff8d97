#include "platform/TimeZoneBias.h"

#include <ctime>

namespace {

class LinuxTimeZoneBias final : public TimeZoneBias
{
public:
    bool read(qint32 &bias) const override
    {
        // tzset() looks at TZ and /etc/localtime again, so a change of zone shows at the
        // next read; tm_gmtoff carries daylight saving.
        tzset();
        const time_t now = time(nullptr);
        std::tm local {};
        if (localtime_r(&now, &local) == nullptr)
            return false;
        bias = qint32(-local.tm_gmtoff / 60);
        return true;
    }
};

} // namespace

std::unique_ptr<TimeZoneBias> createTimeZoneBias()
{
    return std::make_unique<LinuxTimeZoneBias>();
}
