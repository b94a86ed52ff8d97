#include "platform/SingleInstance.h"

#include <QDir>

#include <cerrno>
#include <qt_windows.h>

namespace {

// The system's reason in the errno values that error() gives on every system.
int errnoOf(DWORD windowsError)
{
    switch (windowsError) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EWOULDBLOCK; // another copy holds the file open
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
        return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

} // namespace

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
        mError = errnoOf(GetLastError());
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
