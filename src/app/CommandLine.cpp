#include "app/CommandLine.h"

#include "BuildInfo.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

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
        "See brindlecot(1)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "brindlecot: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "brindlecot: unexpected argument '%s'\n", qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("brindlecot %s\nLicense GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n",
                    BuildInfo::Version);
        return 0;
    }
    return 2; // not reached: any argument is one of the above
}
