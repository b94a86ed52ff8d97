// Shows the Time Servers window with a fixed list and a frozen clock on whatever display
// the environment names, for screenshots. Prints one line per element, "name x y w h" in
// device pixels of the screen, then "shown", and ends when its standard input closes.
//
//   frmhosts_show [--busy] [--dialog]
//
// With --busy a synchronization by hand waits on a silent loopback server, so that the
// busy state, the status text and the progress bar show. With --dialog the input dialog
// is shown over the window as Edit opens it.

#include "TestState.h"
#include "ui/frmEdit.h"
#include "ui/frmHosts.h"

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTcpServer>
#include <QTextStream>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool busy = app.arguments().contains(QStringLiteral("--busy"));

    TestState rig(300, DateTime::fromParts(QDate(2026, 12, 10), QTime(15, 42, 7)));
    const Date today = DateTime::fromParts(QDate(2026, 12, 10), QTime(9, 5, 0));
    const Date yesterday = DateTime::fromParts(QDate(2026, 12, 9), QTime(21, 30, 0));
    rig.addHost(QStringLiteral("127.0.0.1"), 1, HostStatus::Succeeded, today, 0);
    rig.addHost(QStringLiteral("127.0.0.2"), 1, HostStatus::Succeeded, yesterday, 95);
    rig.addHost(QStringLiteral("127.0.0.3"), 0, HostStatus::Failed, DateTime::Never, 0);
    rig.addHost(QStringLiteral("127.0.0.4"), 0, HostStatus::Untried, DateTime::Never, 0);

    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, 0))
        return 2;
    frmHosts window(rig.state, silent.serverPort());
    window.show();
    window.tmrHeaders_Timer();
    if (busy)
        window.cmdTest_Click();
    frmEdit dialog(&window);
    if (app.arguments().contains(QStringLiteral("--dialog"))) {
        dialog.setWindowTitle(QStringLiteral("Edit Time Server"));
        dialog.setPrompt(QStringLiteral("New IP address of time server:"));
        dialog.Text1->setText(QStringLiteral("127.0.0.1"));
        dialog.setModal(false);
        dialog.show(); // over the middle of its owner, as a modal one would be
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
            app.quit();
    });

    // Once the window is on the screen and has been painted, report where its elements are.
    QTimer settle;
    settle.setInterval(250);
    int waited = 0;
    QObject::connect(&settle, &QTimer::timeout, &app, [&] {
        // A second at least, for the paint to reach the server; eight at the most.
        ++waited;
        const bool exposed = window.windowHandle() && window.windowHandle()->isExposed();
        if (waited < 4 || (!exposed && waited < 32))
            return;
        settle.stop();
        QTextStream out(stdout);
        const qreal ratio = window.devicePixelRatioF();
        auto report = [&](const char *name, const QWidget *widget) {
            const QRect r(widget->mapToGlobal(QPoint(0, 0)) * ratio, widget->size() * ratio);
            out << name << ' ' << r.x() << ' ' << r.y() << ' ' << r.width() << ' ' << r.height() << '\n';
        };
        report("window", &window);
        report("Frame1", window.Frame1);
        report("lblLocal", window.lblLocal);
        report("Frame2", window.Frame2);
        report("lblUniversal", window.lblUniversal);
        report("ListView1", window.ListView1);
        report("header", window.ListView1->header());
        report("cmdNew", window.cmdNew);
        report("cmdEdit", window.cmdEdit);
        report("cmdDelete", window.cmdDelete);
        report("cmdTest", window.cmdTest);
        report("StatusBar1", window.StatusBar1);
        if (dialog.isVisible())
            report("dialog", &dialog);
        if (window.ProgressBar1->isVisible())
            report("ProgressBar1", window.ProgressBar1);
        out << "shown" << Qt::endl;
    });
    settle.start();
    return app.exec();
}
