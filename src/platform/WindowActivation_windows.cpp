#include "platform/WindowActivation.h"

#include <QWidget>

namespace WindowActivation {

// Windows has no launcher's token: a process may bring its window to the foreground when
// it was started by the user's last input or was allowed to by the process that was
// (AllowSetForegroundWindow); otherwise the system flashes its taskbar button. The token
// of another system is not used here.
void bringForward(QWidget *window, const QByteArray &token)
{
    Q_UNUSED(token);
    if (!window)
        return;
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace WindowActivation
