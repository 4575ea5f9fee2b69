#include "commands.h"

#include "capture/capturereader.h"
#include "capture/capturerecorder.h"
#include "capture/capturereplayer.h"
#include "capture/datagramsender.h"
#include "framedump.h"
#include "stopsignals.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <unistd.h>

namespace {

// The protocol checks by name, in TuioCheck order.
const char *const checkNames[tuioCheckCount] = {
    "frame-without-fseq", "set-not-alive",  "set-before-alive", "late-frame",   "set-arguments",
    "out-of-range",       "shared-session", "fseq-apart",       "stuck-session"};

int fail(const QString &message, int status = 2)
{
    std::fprintf(stderr, "tactora-cli: %s\n", qPrintable(message));
    return status;
}

void note(const QString &message)
{
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// A progress line, rewritten in place, only where a person watches.
void progressLine(const QString &text)
{
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    if (terminal)
        std::fprintf(stderr, "\r%s\033[K", qPrintable(text));
}

void endProgressLine()
{
    progressLine(QString());
    if (::isatty(STDERR_FILENO) == 1)
        std::fputs("\r", stderr);
}

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

qint64 wallMinusMonotonicNs()
{
    const qint64 wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
    return wall - TuioReceiver::monotonicNs();
}

// The command's parser with --help; the command word is its first positional argument. Returns
// -1 to go on, else the exit status.
int parse(QCommandLineParser &parser, const QStringList &arguments, const QString &command,
          const QString &description, const QString &syntax)
{
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    parser.addPositionalArgument(command, QString(), command + QLatin1Char(' ') + syntax);
    if (!parser.parse(arguments))
        return fail(command + QStringLiteral(": ") + parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    return -1;
}

bool readPort(const QString &text, quint16 &port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    port = quint16(value);
    return ok && value >= 1 && value <= 65535;
}

bool readSeconds(const QString &text, qint64 &ms)
{
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    ms = qint64(seconds * 1000.0);
    return ok && seconds > 0 && seconds < 1e7;
}

QString sizeText(qint64 datagrams, qint64 bytes)
{
    return QStringLiteral("%1 datagrams, %2 bytes").arg(datagrams).arg(bytes);
}

QString skipsText(const CaptureSkips &skips)
{
    return QStringLiteral("skipped %1 packets: %2 other traffic, %3 fragments, %4 truncated, %5 "
                          "on other ports")
        .arg(skips.total())
        .arg(skips.otherTraffic)
        .arg(skips.fragmented)
        .arg(skips.truncated)
        .arg(skips.filteredOut);
}

// --port as given, or the failing exit status.
int portOption(const QCommandLineParser &parser, const QCommandLineOption &option, quint16 &port)
{
    if (!parser.isSet(option))
        return fail(QStringLiteral("--%1 is required").arg(option.names().last()));
    if (!readPort(parser.value(option), port))
        return fail(QStringLiteral("--%1: '%2' is no port (1-65535)")
                        .arg(option.names().last(), parser.value(option)));
    return -1;
}

int listenOn(TuioReceiver &receiver, quint16 port)
{
    if (receiver.listen(port))
        return -1;
    return fail(QStringLiteral("port %1: %2").arg(port).arg(receiver.errorString()));
}

QString secondsText(qint64 ns)
{
    return QString::number(double(ns) / 1e9, 'f', 1) + QStringLiteral(" s");
}

} // namespace

int runListen(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption portOpt({QStringLiteral("p"), QStringLiteral("port")},
                                     QStringLiteral("UDP port to listen on."), QStringLiteral("N"));
    const QCommandLineOption jsonOpt(QStringLiteral("json"),
                                     QStringLiteral("One JSON object per frame and line."));
    const QCommandLineOption durationOpt(
        QStringLiteral("duration"), QStringLiteral("Stop after S seconds."), QStringLiteral("S"));
    const QCommandLineOption countOpt(QStringLiteral("count"),
                                      QStringLiteral("Stop after N frames."), QStringLiteral("N"));
    parser.addOptions({portOpt, jsonOpt, durationOpt, countOpt});
    int status = parse(parser, arguments, QStringLiteral("listen"),
                       QStringLiteral("Prints each TUIO frame received on a UDP port: time, "
                                      "source, sender, profile, fseq, alive ids and set values."),
                       QStringLiteral("--port N [--json] [--duration S] [--count N]"));
    quint16 port = 0;
    if (status >= 0 || (status = portOption(parser, portOpt, port)) >= 0)
        return status;
    qint64 durationMs = 0;
    if (parser.isSet(durationOpt) && !readSeconds(parser.value(durationOpt), durationMs))
        return fail(QStringLiteral("--duration: '%1' is no number of seconds")
                        .arg(parser.value(durationOpt)));
    const qint64 maxFrames = parser.isSet(countOpt) ? parser.value(countOpt).toLongLong() : 0;
    if (parser.isSet(countOpt) && maxFrames <= 0)
        return fail(
            QStringLiteral("--count: '%1' is no positive number").arg(parser.value(countOpt)));

    TuioReceiver receiver;
    if ((status = listenOn(receiver, port)) >= 0)
        return status;
    note(QStringLiteral("listening on port %1; Ctrl+C stops").arg(port));
    QEventLoop loop;
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
    if (durationMs > 0)
        QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
    FrameDump dump(parser.isSet(jsonOpt));
    const qint64 wallOffset = wallMinusMonotonicNs();
    QByteArray out;
    qint64 frames = 0;
    const auto emitLines = [&] {
        qsizetype end = 0;
        for (qsizetype at = out.indexOf('\n'); at >= 0; at = out.indexOf('\n', end)) {
            end = at + 1;
            if (++frames == maxFrames) {
                receiver.stop();
                loop.quit();
                break;
            }
        }
        writeOut(out.left(end));
        out.clear();
    };
    QObject::connect(&receiver, &TuioReceiver::datagramReceived, &loop,
                     [&](const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                         qint64 arrivalNs) {
                         if (maxFrames == 0 || frames < maxFrames)
                             dump.feed(datagram, sender, senderPort, arrivalNs + wallOffset, out);
                     });
    QObject::connect(&receiver, &TuioReceiver::drainFinished, &loop, emitLines);
    loop.exec();
    if (maxFrames == 0 || frames < maxFrames) {
        dump.flush(out);
        emitLines();
    }
    return 0;
}

int runRecord(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption portOpt({QStringLiteral("p"), QStringLiteral("port")},
                                     QStringLiteral("UDP port to listen on."), QStringLiteral("N"));
    const QCommandLineOption durationOpt(
        QStringLiteral("duration"), QStringLiteral("Stop after S seconds."), QStringLiteral("S"));
    const QCommandLineOption countOpt(
        QStringLiteral("count"), QStringLiteral("Stop after N datagrams."), QStringLiteral("N"));
    parser.addOptions({portOpt, durationOpt, countOpt});
    int status = parse(parser, arguments, QStringLiteral("record"),
                       QStringLiteral("Writes every datagram received on a UDP port to a pcap "
                                      "file, until the duration, the count or Ctrl+C."),
                       QStringLiteral("--port N FILE [--duration S] [--count N]"));
    quint16 port = 0;
    if (status >= 0 || (status = portOption(parser, portOpt, port)) >= 0)
        return status;
    if (parser.positionalArguments().size() != 2)
        return fail(QStringLiteral("record: give one FILE to write"));
    const QString path = parser.positionalArguments().at(1);
    qint64 durationMs = 0;
    if (parser.isSet(durationOpt) && !readSeconds(parser.value(durationOpt), durationMs))
        return fail(QStringLiteral("--duration: '%1' is no number of seconds")
                        .arg(parser.value(durationOpt)));
    const qint64 maxDatagrams = parser.isSet(countOpt) ? parser.value(countOpt).toLongLong() : 0;
    if (parser.isSet(countOpt) && maxDatagrams <= 0)
        return fail(
            QStringLiteral("--count: '%1' is no positive number").arg(parser.value(countOpt)));

    TuioReceiver receiver;
    if ((status = listenOn(receiver, port)) >= 0)
        return status;
    CaptureRecorder recorder;
    if (!recorder.start(path, port))
        return fail(recorder.errorString());
    note(QStringLiteral("recording port %1 to %2; Ctrl+C stops").arg(port).arg(path));
    QEventLoop loop;
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
    if (durationMs > 0)
        QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
    QObject::connect(&receiver, &TuioReceiver::datagramReceived, &recorder,
                     &CaptureRecorder::record);
    QObject::connect(&receiver, &TuioReceiver::datagramReceived, &loop, [&] {
        if (maxDatagrams > 0 && recorder.datagramCount() >= maxDatagrams) {
            receiver.stop();
            loop.quit();
        }
    });
    status = 0;
    QObject::connect(&recorder, &CaptureRecorder::failed, &loop,
                     [&](const QString &file, const QString &error) {
                         status = fail(file + QStringLiteral(": ") + error, 1);
                         loop.quit();
                     });
    QObject::connect(
        &recorder, &CaptureRecorder::progress, &loop, [&](qint64 datagrams, qint64 bytes) {
            progressLine(QStringLiteral("recording %1: %2").arg(path, sizeText(datagrams, bytes)));
        });
    loop.exec();
    receiver.stop();
    recorder.stop();
    endProgressLine();
    if (status == 0)
        note(QStringLiteral("%1: %2 recorded")
                 .arg(path, sizeText(recorder.datagramCount(), recorder.byteCount())));
    return status;
}

int runReplay(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption toOpt(QStringLiteral("to"),
                                   QStringLiteral("Target, e.g. 127.0.0.1:3333 or [::1]:3333."),
                                   QStringLiteral("HOST:PORT"));
    const QCommandLineOption speedOpt(QStringLiteral("speed"),
                                      QStringLiteral("Speed of the original timing, 0.25 to 8."),
                                      QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption fastOpt(QStringLiteral("fast"),
                                     QStringLiteral("As fast as possible, ignoring the timing."));
    const QCommandLineOption loopOpt(QStringLiteral("loop"),
                                     QStringLiteral("Start again at the end, until Ctrl+C."));
    const QCommandLineOption filterOpt(QStringLiteral("port-filter"),
                                       QStringLiteral("Only UDP datagrams from or to port N."),
                                       QStringLiteral("N"));
    parser.addOptions({toOpt, speedOpt, fastOpt, loopOpt, filterOpt});
    int status = parse(parser, arguments, QStringLiteral("replay"),
                       QStringLiteral("Sends the UDP datagrams of a pcap or pcapng capture to a "
                                      "host, with their original timing or as fast as possible."),
                       QStringLiteral("FILE --to HOST:PORT [--speed X | --fast] [--loop] "
                                      "[--port-filter N]"));
    if (status >= 0)
        return status;
    if (parser.positionalArguments().size() != 2)
        return fail(QStringLiteral("replay: give one capture FILE"));
    const QString path = parser.positionalArguments().at(1);
    if (!parser.isSet(toOpt))
        return fail(QStringLiteral("--to is required"));
    const QString to = parser.value(toOpt);
    const qsizetype colon = to.lastIndexOf(QLatin1Char(':'));
    QString host = to.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    quint16 port = 0;
    if (colon <= 0 || !readPort(to.mid(colon + 1), port))
        return fail(QStringLiteral("--to: '%1' is not HOST:PORT").arg(to));
    QHostAddress target(host);
    if (target.isNull()) {
        const QList<QHostAddress> found = QHostInfo::fromName(host).addresses();
        if (found.isEmpty())
            return fail(QStringLiteral("--to: cannot resolve '%1'").arg(host));
        target = found.first();
    }
    bool speedOk = false;
    const double speed = parser.value(speedOpt).toDouble(&speedOk);
    if (!speedOk || speed < CaptureReplayer::minimumSpeed || speed > CaptureReplayer::maximumSpeed)
        return fail(
            QStringLiteral("--speed: '%1' is not between 0.25 and 8").arg(parser.value(speedOpt)));
    if (parser.isSet(speedOpt) && parser.isSet(fastOpt))
        return fail(QStringLiteral("--speed and --fast exclude each other"));
    quint16 filter = 0;
    if (parser.isSet(filterOpt) && !readPort(parser.value(filterOpt), filter))
        return fail(QStringLiteral("--port-filter: '%1' is no port").arg(parser.value(filterOpt)));

    CaptureReplayer replayer;
    const bool loaded = replayer.load(path, filter);
    if (!loaded && replayer.datagramCount() == 0)
        return fail(replayer.errorString());
    if (!loaded)
        fail(replayer.errorString() + QStringLiteral(" (replaying the %1 datagrams before it)")
                                          .arg(replayer.datagramCount()));
    if (replayer.skips().total() > 0)
        note(QStringLiteral("%1: %2").arg(path, skipsText(replayer.skips())));
    DatagramSender sender;
    if (!sender.start(target, port))
        return fail(QStringLiteral("--to %1: %2").arg(to, sender.errorString()));
    replayer.setSpeed(speed);
    replayer.setFast(parser.isSet(fastOpt));
    replayer.setLoop(parser.isSet(loopOpt));
    QObject::connect(&replayer, &CaptureReplayer::datagram, &sender, &DatagramSender::send);
    QObject::connect(&replayer, &CaptureReplayer::batchFinished, &sender, &DatagramSender::flush);
    QObject::connect(&sender, &DatagramSender::sendFailed, &replayer, [&](const QString &error) {
        fail(QStringLiteral("sending to %1: %2").arg(to, error), 1);
    });
    QEventLoop loop;
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
    QObject::connect(&replayer, &CaptureReplayer::finished, &loop, &QEventLoop::quit);
    QObject::connect(&replayer, &CaptureReplayer::progress, &loop,
                     [&](qint64 position, qint64 duration) {
                         progressLine(QStringLiteral("%1 / %2, %3 of %4 datagrams")
                                          .arg(secondsText(position), secondsText(duration))
                                          .arg(replayer.playedCount())
                                          .arg(replayer.datagramCount()));
                     });
    replayer.play();
    loop.exec();
    replayer.stop();
    endProgressLine();
    note(QStringLiteral("%1: %2 datagrams sent to %3").arg(path).arg(sender.sentCount()).arg(to));
    if (!loaded)
        return 2;
    return sender.failedCount() > 0 ? 1 : 0;
}

int runCheck(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption portOpt({QStringLiteral("p"), QStringLiteral("port")},
                                     QStringLiteral("Check live traffic on this UDP port."),
                                     QStringLiteral("N"));
    const QCommandLineOption durationOpt(QStringLiteral("duration"),
                                         QStringLiteral("With --port: listen for S seconds."),
                                         QStringLiteral("S"));
    const QCommandLineOption filterOpt(
        QStringLiteral("port-filter"),
        QStringLiteral("With FILE: only datagrams from or to port N."), QStringLiteral("N"));
    const QCommandLineOption jsonOpt(QStringLiteral("json"),
                                     QStringLiteral("The summary as one JSON object."));
    parser.addOptions({portOpt, durationOpt, filterOpt, jsonOpt});
    int status = parse(parser, arguments, QStringLiteral("check"),
                       QStringLiteral("Runs the protocol checks of the frame analysis and prints a "
                                      "summary per source. Exits 1 when a check fired, 0 when "
                                      "clean, 2 on bad input."),
                       QStringLiteral("(FILE | --port N --duration S) [--json]"));
    if (status >= 0)
        return status;
    const bool live = parser.isSet(portOpt);
    if (live == (parser.positionalArguments().size() == 2) ||
        parser.positionalArguments().size() > 2)
        return fail(QStringLiteral("check: give either one capture FILE or --port N"));
    TuioFrameAnalysis analysis;
    qint64 datagrams = 0;
    qint64 nowNs = 0;
    QString readError;
    if (live) {
        quint16 port = 0;
        qint64 durationMs = 0;
        if ((status = portOption(parser, portOpt, port)) >= 0)
            return status;
        if (!parser.isSet(durationOpt) || !readSeconds(parser.value(durationOpt), durationMs))
            return fail(QStringLiteral("--duration: give the seconds to listen"));
        TuioReceiver receiver;
        if ((status = listenOn(receiver, port)) >= 0)
            return status;
        QEventLoop loop;
        StopSignals stops;
        QObject::connect(&stops, &StopSignals::stopRequested, &loop, &QEventLoop::quit);
        QTimer::singleShot(durationMs, &loop, &QEventLoop::quit);
        QObject::connect(&receiver, &TuioReceiver::datagramReceived, &analysis,
                         &TuioFrameAnalysis::processDatagram);
        QObject::connect(&receiver, &TuioReceiver::datagramReceived, &loop,
                         [&datagrams] { ++datagrams; });
        loop.exec();
        nowNs = TuioReceiver::monotonicNs();
    } else {
        quint16 filter = 0;
        if (parser.isSet(filterOpt) && !readPort(parser.value(filterOpt), filter))
            return fail(
                QStringLiteral("--port-filter: '%1' is no port").arg(parser.value(filterOpt)));
        CaptureReader reader;
        reader.setPortFilter(filter);
        if (!reader.open(parser.positionalArguments().at(1)))
            return fail(reader.errorString());
        CapturePacket packet;
        // The capture's own timestamps: frame rates and stuck sessions as they were recorded.
        while (reader.next(packet)) {
            analysis.processDatagram(packet.payload, packet.sender, packet.senderPort,
                                     packet.timestampNs);
            nowNs = packet.timestampNs;
            ++datagrams;
        }
        readError = reader.errorString();
        if (reader.skips().total() > 0)
            note(QStringLiteral("%1: %2").arg(parser.positionalArguments().at(1),
                                              skipsText(reader.skips())));
    }

    const QList<TuioSourceStats> sources = analysis.snapshot(nowNs);
    qint64 fired = 0;
    QJsonArray jsonSources;
    QString text;
    for (const TuioSourceStats &source : sources) {
        QJsonObject checks;
        QString checkLines;
        for (int i = 0; i < tuioCheckCount; ++i) {
            const TuioCheckHits &hits = source.checks[size_t(i)];
            if (hits.count == 0)
                continue;
            fired += hits.count;
            checks.insert(QLatin1String(checkNames[i]), hits.count);
            checkLines += QStringLiteral("  %1: %2, last in: %3\n")
                              .arg(QLatin1String(checkNames[i]))
                              .arg(hits.count)
                              .arg(hits.datagramText);
        }
        text += QStringLiteral("%1 from %2 (%3): %4 frames, %5 frames/s, %6 fseq gaps, %7 late, "
                               "%8 restarts, %9 alive\n")
                    .arg(source.source, source.sender, source.profiles.join(QLatin1Char(' ')))
                    .arg(source.frames)
                    .arg(source.framesPerSecond, 0, 'f', 1)
                    .arg(source.fseqGaps)
                    .arg(source.lateFrames)
                    .arg(source.restarts)
                    .arg(source.aliveSessions) +
                checkLines;
        jsonSources.append(
            QJsonObject{{QStringLiteral("source"), source.source},
                        {QStringLiteral("sender"), source.sender},
                        {QStringLiteral("profiles"), QJsonArray::fromStringList(source.profiles)},
                        {QStringLiteral("frames"), source.frames},
                        {QStringLiteral("framesPerSecond"), source.framesPerSecond},
                        {QStringLiteral("fseqGaps"), source.fseqGaps},
                        {QStringLiteral("lateFrames"), source.lateFrames},
                        {QStringLiteral("restarts"), source.restarts},
                        {QStringLiteral("aliveSessions"), source.aliveSessions},
                        {QStringLiteral("checks"), checks}});
    }
    if (parser.isSet(jsonOpt)) {
        QJsonObject summary{{QStringLiteral("datagrams"), datagrams},
                            {QStringLiteral("sources"), jsonSources},
                            {QStringLiteral("checksFired"), fired}};
        if (!readError.isEmpty())
            summary.insert(QStringLiteral("error"), readError);
        writeOut(QJsonDocument(summary).toJson(QJsonDocument::Compact) + '\n');
    } else {
        text += QStringLiteral("datagrams: %1, sources: %2, check hits: %3\n")
                    .arg(datagrams)
                    .arg(sources.size())
                    .arg(fired);
        writeOut(text.toUtf8());
    }
    if (!readError.isEmpty())
        return fail(readError);
    return fired > 0 ? 1 : 0;
}
