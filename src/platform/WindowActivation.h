#pragma once

#include <QByteArray>

class QWidget;

// Bringing a window of the running copy to the front when a later start asks for it.
//
// A desktop gives the keyboard to a window of a program that the user is not using only
// with proof that the user asked for it: the token its launcher hands the program it starts.
// On Wayland that is XDG_ACTIVATION_TOKEN (the xdg-activation protocol); on X11 it is the
// startup-notification id DESKTOP_STARTUP_ID, whose "_TIME" part is the moment of the
// user's click. The later start takes it from its environment and passes it to the running
// copy, which shows its window with it. A token is used once.
namespace WindowActivation {

// Shows the window in front of the others: restored when minimized (a maximized one stays
// maximized), raised, and given the keyboard, as far as the desktop allows. With a token
// the desktop is asked as the launcher's user asked it; with none (empty) it is asked as a
// program asks for itself, which a desktop that prevents focus stealing may answer only by
// marking the window as wanting attention, or not at all. Nothing when window is null.
void bringForward(QWidget *window, const QByteArray &token);

} // namespace WindowActivation
