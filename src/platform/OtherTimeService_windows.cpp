#include "platform/OtherTimeService.h"

#include <qt_windows.h>

namespace {

// The Windows Time service (W32Time), which sets the clock of most Windows computers on its
// own schedule. The service manager tells any account whether it runs; it answers at once,
// so the time limit is not needed here.
class WindowsTimeService final : public OtherTimeService
{
public:
    QString running() override
    {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!manager)
            return {};
        bool runs = false;
        if (SC_HANDLE service = OpenServiceW(manager, L"W32Time", SERVICE_QUERY_STATUS)) {
            SERVICE_STATUS status {};
            runs = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
        return runs ? QStringLiteral("Windows Time (W32Time)") : QString();
    }
};

} // namespace

std::unique_ptr<OtherTimeService> createOtherTimeService()
{
    return std::make_unique<WindowsTimeService>();
}
