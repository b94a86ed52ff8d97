#include "app/CommandLine.h"

#include "BuildInfo.h"
#include "app/ControlClient.h"
#include "platform/DataFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

struct CommandOption {
    const char *name;
    const char *description;
    Control::Command command;
    const char *valueName = nullptr; // an option that takes a value
};
constexpr CommandOption CommandOptions[] = {
    { "show", "Opens the running copy's Time Servers window.", Control::Command::Show },
    { "sync-now",
      "Has the running copy synchronize now, as \"Synchronize Now\" does; refused while paused or while "
      "the Time Servers window is open (which comes to the front).",
      Control::Command::SyncNow },
    { "quit",
      "Ends the running copy, as \"Exit\" does; it saves its data first. It closes an open Time Servers "
      "window as its Close does, and answers an open question No.",
      Control::Command::Quit },
    { "pause",
      "Pauses the running copy's synchronization, as checking \"Pause Synchronization\" does; it still "
      "answers on port 37.",
      Control::Command::Pause },
    { "resume", "Resumes synchronization, as unchecking \"Pause Synchronization\" does; an attempt starts at once.",
      Control::Command::Resume },
    { "interval",
      "Sets how often the running copy synchronizes, as \"Synchronize Every\" does: minute, hour or day. "
      "It is saved, and an attempt starts at once; refused while paused or while the Time Servers window "
      "is open.",
      Control::Command::Interval, "minute|hour|day" },
    { "status",
      "Prints the running copy's state: the last success, the next attempt, whether it may set the clock "
      "and serves port 37. The exit status is 3 when none runs.",
      Control::Command::Status },
};

// Qt names the program by the path it was started with; the usage line names it as the
// user types it.
QString helpText(const QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const qsizetype end = text.indexOf(QLatin1Char('\n'));
    const qsizetype options = text.lastIndexOf(QLatin1String(" [options]"), end);
    if (text.startsWith(QLatin1String("Usage: ")) && options > 0)
        text.replace(0, options, QStringLiteral("Usage: brindlecot"));
    return text;
}

} // namespace

int handleCommandLine(int argc, char *argv[])
{
    if (argc <= 1)
        return -1; // without arguments nothing here touches Qt: the program starts as always

    // Every outcome below ends the program, so this application object is the only one.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brindlecot"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(BuildInfo::Version));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions); // -platform is one word
    parser.setApplicationDescription(QStringLiteral(
        "Keeps the computer's clock right by the Time Protocol (RFC 868, TCP port 37) and answers\n"
        "the same protocol on port 37. It runs in the notification area, or headless without a\n"
        "desktop. Its server list and interval are kept in $XDG_DATA_HOME/Brindlecot/Brindlecot.dat.\n"
        "Started while a copy runs, it opens that copy's Time Servers window; the options below\n"
        "give that copy other commands. See brindlecot(1)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    for (const CommandOption &option : CommandOptions) {
        QCommandLineOption added(QString::fromLatin1(option.name), QString::fromLatin1(option.description));
        if (option.valueName)
            added.setValueName(QString::fromLatin1(option.valueName));
        parser.addOption(added);
    }

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "brindlecot: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "brindlecot: unexpected argument '%s'\n", qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(helpText(parser)), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("brindlecot %s\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n",
                    BuildInfo::Version);
        return 0;
    }
    const CommandOption *chosen = nullptr;
    for (const CommandOption &option : CommandOptions) {
        if (!parser.isSet(QString::fromLatin1(option.name)))
            continue;
        if (chosen) {
            std::fprintf(stderr, "brindlecot: --%s and --%s cannot be given together\n", chosen->name, option.name);
            return 2;
        }
        chosen = &option;
    }
    if (!chosen)
        return 2; // not reached: any argument is one of the above
    Control::Request request(chosen->command);
    if (chosen->command == Control::Command::Show)
        request = ControlClient::showRequest();
    if (chosen->command == Control::Command::Interval) {
        const QStringList values = parser.values(QString::fromLatin1(chosen->name));
        request.interval = values.size() == 1 ? Control::intervalCode(values.first()) : 0;
        if (request.interval == 0) {
            std::fprintf(stderr, "brindlecot: --interval takes one of minute, hour or day\n");
            return 2;
        }
    }
    return ControlClient::command(defaultDataFolder(), request);
}
