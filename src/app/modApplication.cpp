#include "app/modApplication.h"

#include "app/CommandLine.h"
#include "app/ControlClient.h"
#include "app/ControlServer.h"
#include "app/Presence.h"
#include "app/frmMain.h"
#include "state/ProgramState.h"
#include "platform/Console.h"
#include "platform/ControlAccess.h"
#include "platform/DataFolder.h"
#include "platform/Desktop.h"
#include "platform/SingleInstance.h"
#include "platform/SystemClock.h"
#include "platform/TerminationSignals.h"
#include "platform/TimeZoneBias.h"
#include "servers/DataFile.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSessionManager>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

enum class FirstCopy { Yes, No };

// Another account holding the lock file open is no copy of this account's: this one runs,
// and says why once.
void sayForeignLock(const SingleInstance &oneCopy, bool acquired)
{
    const QByteArray holder = oneCopy.foreignAccount() == SingleInstance::UnknownAccount
                                  ? QByteArray("no running copy of this account")
                                  : "user ID " + QByteArray::number(oneCopy.foreignAccount()) + ", not by a copy of this account";
    std::fprintf(stderr, "brindlecot: Brindlecot.lock is held by %s; starting anyway %s.\n", holder.constData(),
                 acquired ? "with a new lock" : "without a lock");
}

// Takes the single-instance lock, or hands the start over to the copy that holds it: that
// copy opens its Time Servers window. Only No ends this start, with *exitCode set.
FirstCopy takeOver(SingleInstance &oneCopy, const QString &dataFolder, int *exitCode)
{
    const QDeadlineTimer deadline(ControlClient::StartUpWaitMs);
    for (;;) {
        // A lock that cannot be taken for another reason (a folder it may not write, say)
        // does not keep the program from running.
        const bool acquired = oneCopy.tryAcquire();
        if (oneCopy.foreignLock())
            sayForeignLock(oneCopy, acquired);
        if (acquired || oneCopy.error() != EWOULDBLOCK)
            return FirstCopy::Yes;
        // The running copy may still be starting, before its control socket is there.
        std::optional<Control::Answer> answer;
        {
            int count = 1;
            char name[] = "brindlecot";
            char *arguments[] = { name, nullptr };
            QCoreApplication asking(count, arguments);
            answer = ControlClient::ask(dataFolder, ControlClient::showRequest());
        }
        if (answer) {
            std::fputs(answer->text.toLocal8Bit().constData(), stderr);
            *exitCode = answer->status;
            return FirstCopy::No;
        }
        if (deadline.hasExpired())
            break;
        QThread::msleep(ControlClient::RetryMs);
    }
    std::fputs(ControlClient::NoAnswer, stderr);
    *exitCode = Control::Refused;
    return FirstCopy::No;
}

} // namespace

int Main(int argc, char *argv[])
{
    attachParentConsole();
    if (const int exitCode = handleCommandLine(argc, argv); exitCode >= 0)
        return exitCode;

    // The lock lives in the data folder, so the folder comes first; creating a folder that
    // exists changes nothing for a copy that is already running.
    const QString dataFolder = defaultDataFolder();
    CreateDataFolder(dataFolder);
    SingleInstance oneCopy(dataFolder + QStringLiteral("Brindlecot.lock"));
    if (int exitCode = 0; takeOver(oneCopy, dataFolder, &exitCode) == FirstCopy::No)
        return exitCode;

    // Without a desktop the program runs on as a headless time client and server. Whether
    // one answers is found out before Qt is asked to reach it, so a display that cannot be
    // reached (a stale DISPLAY, say) is not reported as a failure.
    // The arguments live as long as the application, which keeps referring to them.
    DesktopStart desktop = findDesktop();
    std::vector<char *> arguments(argv, argv + argc);
    char platformOption[] = "-platform";
    if (!desktop.platforms.isEmpty()) {
        arguments.push_back(platformOption);
        arguments.push_back(desktop.platforms.data());
    }
    int count = int(arguments.size());
    arguments.push_back(nullptr);
    std::unique_ptr<QCoreApplication> app;
    if (desktop.available) {
        auto *gui = new QApplication(count, arguments.data());
        // The program lives in the notification area. Each window names its own icon (a
        // dialog takes its owner's): an icon for the whole application would also be drawn,
        // at eight sizes kept for good, for the notification area's hidden window at the start.
        gui->setQuitOnLastWindowClosed(false);
        app.reset(gui);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Brindlecot"));
    const Presence presence = decidePresence();

    const std::unique_ptr<SystemClock> clock = createSystemClock();
    const std::unique_ptr<TimeZoneBias> zone = createTimeZoneBias();
    ProgramState state(*clock, *zone);
    state.DataFolder = dataFolder;

    frmMain form(state, presence);
    // Without the icon the state goes to standard error, the journal under systemd.
    QObject::connect(&form, &frmMain::headlessLine, [](const QString &line) {
        std::fputs((line.toLocal8Bit() + '\n').constData(), stderr);
        std::fflush(stderr);
    });
    TerminationSignals closeRequests;
    closeRequests.install();
    QObject::connect(&closeRequests, &TerminationSignals::closeRequested, &form, &frmMain::Shutdown);
    if (auto *gui = qobject_cast<QGuiApplication *>(app.get())) {
        // At the end of the desktop session the session manager first asks for the data to
        // be kept (it may then end the program without further notice, or let it run on),
        // and the event loop may be quit from outside: the file is written either way. The
        // session manager is not to start the program again: the autostart entry does.
        QObject::connect(gui, &QGuiApplication::commitDataRequest, &form, [&form](QSessionManager &session) {
            session.setRestartHint(QSessionManager::RestartNever);
            form.Form_Unload();
        });
        QObject::connect(gui, &QGuiApplication::saveStateRequest, gui, [](QSessionManager &session) {
            session.setRestartHint(QSessionManager::RestartNever);
        });
    }
    QObject::connect(app.get(), &QCoreApplication::aboutToQuit, &form, &frmMain::Shutdown);
    QObject::connect(&form, &frmMain::unloaded, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);

    // Later starts and the command line reach this copy here. Without the socket the
    // program runs on; a later start then says that it gets no answer.
    ControlServer control([&form](const Control::Request &request) { return form.Command(request); });
    if (const QString refusal = runtimeFolderRefusal(dataFolder); !refusal.isEmpty())
        std::fprintf(stderr, "brindlecot: XDG_RUNTIME_DIR=%s is not used for the control socket (%s); it is in the data folder instead.\n",
                     qgetenv("XDG_RUNTIME_DIR").constData(), qPrintable(refusal));
    if (!control.listen(controlSocketName(dataFolder)))
        std::fprintf(stderr, "brindlecot: no control socket: %s\n", qPrintable(control.errorString()));

    form.Form_Load();
    return app->exec();
}
