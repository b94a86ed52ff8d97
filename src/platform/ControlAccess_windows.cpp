#include "platform/ControlAccess.h"

#include <QCryptographicHash>
#include <QDir>

#include <cstdint>
#include <vector>

#include <qt_windows.h>

namespace {

// The account (its security identifier) that a process runs as, in a buffer that holds it;
// empty when the process cannot be asked.
std::vector<std::uint64_t> accountOf(HANDLE process)
{
    std::vector<std::uint64_t> user; // aligned for TOKEN_USER
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return user;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.resize((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    if (size < sizeof(TOKEN_USER) || !GetTokenInformation(token, TokenUser, user.data(), size, &size))
        user.clear();
    CloseHandle(token);
    return user;
}

// True when the process runs as the same account as this one.
bool sameAccount(DWORD processId)
{
    const std::vector<std::uint64_t> mine = accountOf(GetCurrentProcess());
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    const std::vector<std::uint64_t> theirs = accountOf(process);
    CloseHandle(process);
    if (mine.empty() || theirs.empty())
        return false;
    return EqualSid(reinterpret_cast<const TOKEN_USER *>(mine.data())->User.Sid,
                    reinterpret_cast<const TOKEN_USER *>(theirs.data())->User.Sid);
}

} // namespace

QString controlSocketName(const QString &dataFolder)
{
    // A named pipe, one per data folder; QLocalServer::UserAccessOption keeps it the user's.
    const QByteArray folder = QDir::cleanPath(dataFolder).toLower().toUtf8();
    return QStringLiteral("brindlecot-")
           + QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16));
}

// Pipes have no runtime folder to refuse.
QString runtimeFolderRefusal(const QString &)
{
    return {};
}

// The pipe's access list admits only this account (and the system); the caller's process
// is asked all the same, as on other systems.
bool peerMayControl(qintptr socketDescriptor)
{
    ULONG client = 0;
    return GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(socketDescriptor), &client) && sameAccount(client);
}

// Any account may make a pipe of the name first, while no copy runs: only a copy that runs
// as this account is believed, and sent the request. Every account shares the all-users
// data folder, so owning it says nothing here.
bool peerMayAnswer(qintptr socketDescriptor, const QString &)
{
    ULONG server = 0;
    return GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(socketDescriptor), &server) && sameAccount(server);
}
