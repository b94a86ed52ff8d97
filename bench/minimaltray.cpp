// The smallest Qt program that shows one icon with a menu in the notification area: the
// yardstick for the resident memory of the tray idle benchmark. With --tick it also wakes
// once a second and does nothing, the yardstick for the CPU time of a program that must
// wake every second, as the countdown and the tray tick do.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QPixmap face(32, 32);
    face.fill(Qt::transparent);
    {
        QPainter painter(&face);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRectF(2, 2, 28, 28));
    }
    QMenu menu;
    menu.addAction(QStringLiteral("Synchronize Now"));
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Exit")), &QAction::triggered, &app, &QApplication::quit);
    QSystemTrayIcon icon { QIcon(face) };
    icon.setToolTip(QStringLiteral("Minimal tray program"));
    icon.setContextMenu(&menu);
    icon.show();
    QTimer tick;
    if (QCoreApplication::arguments().contains(QStringLiteral("--tick"))) {
        QObject::connect(&tick, &QTimer::timeout, &app, [] { });
        tick.start(1000); // milliseconds
    }
    return app.exec();
}
