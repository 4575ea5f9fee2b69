#include "commands.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tactora-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TACTORA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Listens to, records, replays and checks TUIO 1.x traffic (OSC over UDP).\n"
                       "\n"
                       "Commands:\n"
                       "  listen   print each received frame\n"
                       "  record   write received datagrams to a pcap file\n"
                       "  replay   send a pcap or pcapng capture's datagrams to a host\n"
                       "  check    run the protocol checks on a capture or on live traffic\n"
                       "\n"
                       "tactora-cli COMMAND --help shows a command's options."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("listen, record, replay or check"));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QStringList arguments = app.arguments();
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "tactora-cli: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("help")) || positional.isEmpty())
        parser.showHelp(positional.isEmpty() && !parser.isSet(QStringLiteral("help")) ? 2 : 0);

    const QString command = positional.first();
    // The command stays the first positional argument, so each command's help shows it.
    const QStringList rest = QStringList{arguments.first()} + positional;
    if (command == QLatin1String("listen"))
        return runListen(rest);
    if (command == QLatin1String("record"))
        return runRecord(rest);
    if (command == QLatin1String("replay"))
        return runReplay(rest);
    if (command == QLatin1String("check"))
        return runCheck(rest);
    std::fprintf(stderr, "tactora-cli: unknown command '%s' (listen, record, replay or check)\n",
                 qPrintable(command));
    return 2;
}
