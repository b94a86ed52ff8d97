#pragma once

#include <QString>

#include <memory>

// Another program that keeps this computer's clock right, running beside this one. Two
// programs that set one clock each pull it their own way, which the user should know; the
// program only says so, and synchronizes all the same.
class OtherTimeService
{
public:
    virtual ~OtherTimeService() = default;

    // The name of such a program that runs now ("systemd-timesyncd", "chronyd"), or empty
    // when none does, or when the system cannot tell (no system bus, say). Asked anew at
    // every call; a call waits at most OtherTimeServiceTimeoutMs.
    virtual QString running() = 0;
};

constexpr int OtherTimeServiceTimeoutMs = 500; // milliseconds: the running copy waits meanwhile

// The system's services: on Linux systemd's time units over the system bus, on Windows the
// Windows Time service.
std::unique_ptr<OtherTimeService> createOtherTimeService();
