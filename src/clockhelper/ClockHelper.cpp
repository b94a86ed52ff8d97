// brindlecot-clock: sets the computer's clock for Brindlecot, and does nothing else.
//
// It is the one file that holds the clock privilege when the program is installed: owner
// root, group brindlecot, mode 0750, file capability cap_sys_time+ep. Only members of the
// group may run it, so only they can have the clock set. It reads no environment, no file
// and no configuration, and it checks its whole command line before the privileged call.
//
// Command line (exactly three arguments):
//
//     brindlecot-clock YYYY-MM-DD HH:MM:SS BIAS
//
//   YYYY-MM-DD  the new local date: four-digit year from 1970, two-digit month and day,
//               a day that exists in the proleptic Gregorian calendar
//   HH:MM:SS    the new local time of day, 00:00:00 to 23:59:59, two digits each
//   BIAS        the time-zone bias the caller converted with, in minutes, UTC = local + BIAS;
//               an optional sign and 1 to 4 digits, -1440 to 1440
//
// The clock (CLOCK_REALTIME) is set to local + BIAS minutes, to the whole second. The
// caller passes the bias it used, so the result never depends on how this process would
// read the time zone.
//
// Exit status:
//   0        the clock was set
//   1 .. 63  clock_settime refused: the system's error number (EPERM 1, EINVAL 22, ...)
//   64       malformed command line (EX_USAGE); nothing was attempted
//   65       clock_settime failed with an error number above 63 (the message names it)
// Every failure writes one line to standard error; success writes nothing.

#include "ClockRequest.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int MalformedStatus = 64; // EX_USAGE
constexpr int OtherErrorStatus = 65;

} // namespace

int main(int argc, char *argv[])
{
    const std::optional<long long> utc = argc == 4 ? parseClockRequest(argv[1], argv[2], argv[3]) : std::nullopt;
    if (!utc) {
        std::fputs("brindlecot-clock: malformed request; usage: brindlecot-clock YYYY-MM-DD HH:MM:SS BIAS\n", stderr);
        return MalformedStatus;
    }
    const timespec wanted { time_t(*utc), 0 };
    if (clock_settime(CLOCK_REALTIME, &wanted) != 0) {
        const int error = errno;
        std::fprintf(stderr, "brindlecot-clock: error %d: %s\n", error, std::strerror(error));
        return error > 0 && error < MalformedStatus ? error : OtherErrorStatus;
    }
    return 0;
}
