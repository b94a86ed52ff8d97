#include "app/modApplication.h"

#include "app/CommandLine.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "platform/DataFolder.h"
#include "platform/Pictures.h"
#include "platform/Desktop.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/TerminationSignals.h"
#include "platform/TimeZoneBias.h"
#include "servers/DataFile.h"

#include <QApplication>
#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

int Main(int argc, char *argv[])
{
    if (const int exitCode = handleCommandLine(argc, argv); exitCode >= 0)
        return exitCode;

    // Without a desktop the program runs on as a headless time client and server.
    // The arguments live as long as the application, which keeps referring to them.
    std::vector<char *> arguments(argv, argv + argc);
    char platformOption[] = "-platform";
    QByteArray platforms = graphicalPlatforms();
    if (!platforms.isEmpty()) {
        arguments.push_back(platformOption);
        arguments.push_back(platforms.data());
    }
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    std::unique_ptr<QCoreApplication> app;
    if (desktopAvailable()) {
        auto *gui = new QApplication(count, arguments.data());
        gui->setQuitOnLastWindowClosed(false); // the program lives in the notification area
        QApplication::setWindowIcon(Pictures::clockFace());
        app.reset(gui);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Brindlecot"));

    // The lock lives in the data folder, so the folder comes first; creating a folder that
    // exists changes nothing for a copy that is already running.
    const std::unique_ptr<SystemClock> clock = createSystemClock();
    const std::unique_ptr<TimeZoneBias> zone = createTimeZoneBias();
    ProgramState state(*clock, *zone);
    state.DataFolder = defaultDataFolder();
    CreateDataFolder(state);
    SingleInstance oneCopy(state.DataFolder + QStringLiteral("Brindlecot.lock"));
    if (!oneCopy.tryAcquire() && oneCopy.error() == EWOULDBLOCK)
        return 0; // another copy runs: end at once and silently

    frmMain form(state);
    // Without a desktop the state goes to standard error, the journal under systemd.
    QObject::connect(&form, &frmMain::headlessLine, [](const QString &line) {
        std::fputs((line.toLocal8Bit() + '\n').constData(), stderr);
        std::fflush(stderr);
    });
    TerminationSignals closeRequests;
    closeRequests.install();
    QObject::connect(&closeRequests, &TerminationSignals::closeRequested, &form, &frmMain::Shutdown);
    // At the end of the desktop session the session manager first asks for the data to be
    // kept (it may then end the program without further notice, or let it run on), and the
    // event loop may be quit from outside: the file is written either way.
    if (auto *gui = qobject_cast<QGuiApplication *>(app.get()))
        QObject::connect(gui, &QGuiApplication::commitDataRequest, &form, &frmMain::Form_Unload);
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &form, &frmMain::Shutdown);
    QObject::connect(&form, &frmMain::unloaded, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);

    form.Form_Load();
    return app->exec();
}
