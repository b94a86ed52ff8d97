// brindlecot-clock: sets the computer's clock for Brindlecot, and binds the Time Protocol
// port for it, and does nothing else.
//
// It is the one file that holds privileges when the program is installed: owner root,
// group brindlecot, mode 0750, file capabilities cap_net_bind_service,cap_sys_time=p (or
// set-user-ID root where the filesystem cannot hold capabilities). Only members of the
// group may run it, so only they can have the clock corrected or serve port 37. It reads
// no environment, no file and no configuration, and it checks its whole command line
// before the privileged call. Each request first becomes the caller again (set-user-ID,
// it starts as root) and gives up every capability but the one it needs, so that both
// installs behave alike.
//
// Two requests, told apart by their command line:
//
// Command line (exactly three arguments):
//
//     brindlecot-clock YYYY-MM-DD HH:MM:SS[.mmm] BIAS
//
//   YYYY-MM-DD  the new local date: four-digit year from 1970, two-digit month and day,
//               a day that exists in the proleptic Gregorian calendar
//   HH:MM:SS    the new local time of day, 00:00:00 to 23:59:59, two digits each, and
//   .mmm        optionally the milliseconds after that second, exactly three digits
//   BIAS        the time-zone bias the caller converted with, in minutes, UTC = local + BIAS;
//               an optional sign and 1 to 4 digits, -1440 to 1440
//
// The clock (CLOCK_REALTIME) is set to local + BIAS minutes in one setting, date and time
// together. The caller passes the bias it used, so the result never depends on how this
// process would read the time zone. An instant beyond what time_t holds is malformed.
// Only a correction is done: an instant 30 minutes or more from the helper's own reading
// of the clock is refused (see isCorrection in ClockRequest.h), as the program itself
// never sets such a time. A member of the group cannot put the clock at 1970 or 9999.
//
// Exit status:
//   0        the clock was set
//   1 .. 63  clock_settime refused: the system's error number (EPERM 1, EINVAL 22, ...)
//   64       malformed command line (EX_USAGE); nothing was attempted
//   65       clock_settime failed with an error number above 63 (the message names it)
//   66       the instant is 30 minutes or more from the clock: refused, nothing attempted
// Every failure writes one line to standard error; success writes nothing.
//
//     brindlecot-clock listen
//
//   Binds TCP port 37 on every address (IPv6 any with dual stack, or IPv4 any where IPv6
//   is off), listens, and sends the listening descriptor with one byte over standard
//   output, which must be a Unix socket (SCM_RIGHTS). The socket belongs to the caller.
//   Exit status as above: 0 sent, the error number of the failed call, 64 when standard
//   output is not a Unix socket.

#include "ClockRequest.h"
#include "ListenRequest.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int MalformedStatus = 64; // EX_USAGE
constexpr int OtherErrorStatus = 65;
constexpr int TooFarStatus = 66;
constexpr unsigned short TimePort = 37;

// The exit status for the error number of a failed call, with its line on standard error.
int failure(int error)
{
    std::fprintf(stderr, "brindlecot-clock: error %d: %s\n", error, std::strerror(error));
    return error > 0 && error < MalformedStatus ? error : OtherErrorStatus;
}

// Keeps only `capability` in the permitted set and makes it effective, with nothing
// inheritable, so that one request can never do the other's work. The file capabilities
// are permitted ones only (no effective bit): the helper still starts where the bounding
// set lacks one of them, and then simply lacks it. Lowering is always allowed; a
// capability that is not permitted stays missing, and the privileged call reports the
// refusal.
bool keepOnly(unsigned capability)
{
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct data[2] {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    for (unsigned word = 0; word < 2; ++word) {
        const unsigned kept = capability / 32 == word ? 1u << (capability % 32) : 0;
        data[word].permitted &= kept;
        data[word].effective = data[word].permitted;
        data[word].inheritable = 0;
    }
    return ::syscall(SYS_capset, &header, data) == 0;
}

// Makes the caller's user the real, effective and saved user of this process, keeping
// only `capability`. Installed set-user-ID root, the helper starts as root with every
// capability; afterwards it is the caller holding that one capability, exactly as with
// the file capabilities, so that port 37's socket belongs to the caller and no request
// runs with root's files or rights. PR_SET_KEEPCAPS keeps the permitted set across the
// change of user (which clears the effective one); keepOnly then trims it and makes the
// one capability effective. The file is set-user-ID only, so the group and supplementary
// groups are the caller's already; setresgid still puts the real group everywhere, in
// case an administrator made it set-group-ID as well. With file capabilities, or for a
// root caller, every ID is the caller's already and these calls change nothing.
// False with errno set when any step failed: then nothing privileged may be done.
bool becomeCaller(unsigned capability)
{
    const uid_t user = ::getuid();
    const gid_t group = ::getgid();
    if (::prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0) != 0 || ::setresgid(group, group, group) != 0
        || ::setresuid(user, user, user) != 0)
        return false;
    uid_t realUser, effectiveUser, savedUser;
    gid_t realGroup, effectiveGroup, savedGroup;
    if (::getresuid(&realUser, &effectiveUser, &savedUser) != 0
        || ::getresgid(&realGroup, &effectiveGroup, &savedGroup) != 0)
        return false;
    if (realUser != user || effectiveUser != user || savedUser != user || realGroup != group
        || effectiveGroup != group || savedGroup != group) {
        errno = EPERM;
        return false;
    }
    return ::prctl(PR_SET_KEEPCAPS, 0, 0, 0, 0) == 0 && keepOnly(capability);
}

int listenRequest()
{
    int domain = 0;
    socklen_t length = sizeof domain;
    if (::getsockopt(STDOUT_FILENO, SOL_SOCKET, SO_DOMAIN, &domain, &length) != 0 || domain != AF_UNIX) {
        std::fputs("brindlecot-clock: listen: standard output is not a Unix socket\n", stderr);
        return MalformedStatus;
    }
    const int listener = openListener(TimePort);
    if (listener < 0 || !sendDescriptor(STDOUT_FILENO, listener))
        return failure(errno);
    return 0;
}

int clockRequest(int argc, char *argv[])
{
    const std::optional<ClockInstant> utc = argc == 4 ? parseClockRequest(argv[1], argv[2], argv[3]) : std::nullopt;
    if (!utc) {
        std::fputs("brindlecot-clock: malformed request; usage: brindlecot-clock YYYY-MM-DD HH:MM:SS[.mmm] BIAS\n", stderr);
        return MalformedStatus;
    }
    timespec current {};
    if (clock_gettime(CLOCK_REALTIME, &current) != 0)
        return failure(errno);
    const ClockInstant clock { current.tv_sec, current.tv_nsec };
    if (!isCorrection(*utc, clock)) {
        std::fprintf(stderr, "brindlecot-clock: refused: that is %+lld s from the clock; only a correction of less than 30 minutes is allowed\n",
                     secondsAhead(*utc, clock));
        return TooFarStatus;
    }
    // One setting of the whole instant: the clock never shows a date without its time.
    const timespec wanted { std::time_t(utc->seconds), utc->nanoseconds };
    if (clock_settime(CLOCK_REALTIME, &wanted) != 0)
        return failure(errno);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const bool listen = argc == 2 && std::strcmp(argv[1], "listen") == 0;
    if (!becomeCaller(listen ? CAP_NET_BIND_SERVICE : CAP_SYS_TIME))
        return failure(errno);
    return listen ? listenRequest() : clockRequest(argc, argv);
}
