#include "platform/SingleInstance.h"

#include <QDir>

#include <cerrno>
#include <qt_windows.h>

SingleInstance::SingleInstance(const QString &lockPath) : m_path(lockPath) { }

SingleInstance::~SingleInstance()
{
    // Closing the handle releases the lock; the file stays, as on other systems.
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool SingleInstance::tryAcquire()
{
    if (m_handle != -1)
        return true;
    // Opened without sharing: while this copy holds the handle, no other copy can open the
    // file. The system closes the handle when the process ends in any way.
    const std::wstring path = QDir::toNativeSeparators(m_path).toStdWString();
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        m_error = error == ERROR_SHARING_VIOLATION ? EWOULDBLOCK : int(error);
        return false;
    }
    m_handle = reinterpret_cast<qintptr>(handle);
    m_error = 0;
    return true;
}
