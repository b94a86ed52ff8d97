#include "platform/Registry.h"

#include <array>

namespace {

// Every value the program reads is short; a longer one counts as unreadable.
constexpr DWORD ReadBufferSize = 1024; // bytes
constexpr DWORD LongestNumber = 8;     // bytes of a binary value read as a number
constexpr DWORD SignedWidth = 4;       // bytes of a value read as a signed 32-bit number

} // namespace

bool ReadRegistryValue(HKEY root, const QString &keyPath, const QString &valueName, QString &result)
{
    // Asking for no more than reading: a standard account may not open the machine's keys
    // for writing, and would then read nothing at all.
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, reinterpret_cast<const wchar_t *>(keyPath.utf16()), 0, KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS) {
        result.clear();
        return false;
    }
    std::array<BYTE, ReadBufferSize> buffer {};
    DWORD type = REG_NONE;
    DWORD size = ReadBufferSize;
    const LSTATUS status = RegQueryValueExW(key, reinterpret_cast<const wchar_t *>(valueName.utf16()), nullptr,
                                            &type, buffer.data(), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        result.clear();
        return false;
    }
    switch (type) {
    case REG_SZ: {
        // Up to the first zero, and never past what was stored, which need not end in one.
        const auto *text = reinterpret_cast<const wchar_t *>(buffer.data());
        const qsizetype stored = qsizetype(size / sizeof(wchar_t));
        qsizetype length = 0;
        while (length < stored && text[length] != L'\0')
            ++length;
        result = QString::fromWCharArray(text, length);
        return true;
    }
    case REG_DWORD:
    case REG_BINARY: {
        if (size > LongestNumber) {
            result.clear();
            return false;
        }
        quint64 number = 0;
        for (DWORD i = size; i > 0; --i)
            number = (number << 8) | buffer[i - 1];
        result = size == SignedWidth ? QString::number(qint32(quint32(number))) : QString::number(number);
        return true;
    }
    default:
        return true;
    }
}
