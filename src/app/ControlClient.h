#pragma once

#include "app/ControlProtocol.h"

#include <QString>

#include <optional>

// The second start's side of the control socket.
namespace ControlClient {

constexpr int StartUpWaitMs = 3000; // milliseconds: a copy that is starting has no socket yet
constexpr int RetryMs = 100;        // milliseconds between two tries
// What a later start says when the copy that holds the lock gives no answer in time.
inline constexpr char NoAnswer[] = "Brindlecot is running but does not answer.\n";

// One request to the copy of this data folder: its answer, its text printable, or none when
// nobody listens there, nobody answers in time, or what listens runs as an account that
// may not answer (peerMayAnswer): such a listener is not even sent the request.
std::optional<Control::Answer> ask(const QString &dataFolder, const Control::Request &request);

// A command given on the command line, for the copy whose data folder this is, printed as
// the answer says; the exit status. Without a copy running, says so (NotRunning).
int command(const QString &dataFolder, const Control::Request &request);

// Show, with the activation token that the launcher gave this start: XDG_ACTIVATION_TOKEN
// (Wayland), else DESKTOP_STARTUP_ID (X11). A token that a request cannot carry is passed
// over: the window still opens, only perhaps behind others.
Control::Request showRequest();

} // namespace ControlClient
