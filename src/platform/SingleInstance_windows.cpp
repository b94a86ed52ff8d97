#include "platform/SingleInstance.h"

#include <QDir>

#include <cerrno>
#include <qt_windows.h>

SingleInstance::SingleInstance(const QString &lockPath) : mPath(lockPath) { }

SingleInstance::~SingleInstance()
{
    // Closing the handle releases the lock; the file stays, as on other systems.
    if (mHandle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(mHandle));
}

bool SingleInstance::tryAcquire()
{
    if (mHandle != -1)
        return true;
    // Opened without sharing: while this copy holds the handle, no other copy can open the
    // file. The system closes the handle when the process ends in any way.
    const std::wstring path = QDir::toNativeSeparators(mPath).toStdWString();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        mError = error == ERROR_SHARING_VIOLATION ? EWOULDBLOCK : int(error);
        return false;
    }
    mHandle = reinterpret_cast<qintptr>(handle);
    mError = 0;
    return true;
}

bool SingleInstance::heldElsewhere(const QString &lockPath)
{
    const std::wstring path = QDir::toNativeSeparators(lockPath).toStdWString();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}
