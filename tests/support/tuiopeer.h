#pragma once

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

// An independent TUIO 1.1 client: npm's tuio-client under node (tests/peers/tuio-listen.mjs),
// listening on a loopback port. Its add/update/remove events read as "add 2Dcur s3 (0.50,0.25)"
// or "update 2Dobj s0 c3 (0.25,0.25) a1.50".
class TuioPeer
{
public:
    ~TuioPeer()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.closeWriteChannel(); // the script ends when its input does
        if (!process.waitForFinished(5000))
            process.kill();
    }

    // Why the peer cannot run here, or empty.
    static QString unavailable()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty())
            return QStringLiteral("node is not installed (scripts/setup-peers installs it)");
        for (const char *module : {"tuio-client/dist/tuio-client.es.js", "osc/package.json"})
            if (!QFileInfo::exists(peersDir() + QStringLiteral("/node_modules/") + module))
                return QStringLiteral("tests/peers lacks the npm package %1 (run scripts/"
                                      "setup-peers)")
                    .arg(QString::fromLatin1(module).section(QLatin1Char('/'), 0, 0));
        return {};
    }

    // Listens on `port` (0: any free one); false when the script did not report itself ready.
    bool start(quint16 port = 0)
    {
        process.start(QStandardPaths::findExecutable(QStringLiteral("node")),
                      {peersDir() + QStringLiteral("/tuio-listen.mjs"), QString::number(port),
                       QStringLiteral("120")});
        while (boundPort == 0 && process.waitForReadyRead(15000))
            read();
        return boundPort != 0;
    }

    quint16 port() const { return boundPort; }

    // Every event reported so far, oldest first.
    QStringList events()
    {
        read();
        return seen;
    }

private:
    static QString peersDir() { return QStringLiteral(TACTORA_SOURCE_DIR "/tests/peers"); }

    void read()
    {
        buffer += process.readAllStandardOutput();
        for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
            const QJsonObject line = QJsonDocument::fromJson(buffer.left(end)).object();
            buffer.remove(0, end + 1);
            if (line.contains(QLatin1String("ready")))
                boundPort = quint16(line.value(QLatin1String("ready")).toInt());
            else
                seen << describe(line);
        }
    }

    static QString describe(const QJsonObject &e)
    {
        const auto text = [&e](const char *key) { return e.value(QLatin1String(key)).toString(); };
        const auto fixed = [&e](const char *key, int decimals = 2) {
            return QString::number(e.value(QLatin1String(key)).toDouble(), 'f', decimals);
        };
        if (!e.contains(QLatin1String("sid"))) // the script's own trouble
            return text("event") + QLatin1Char(' ') + text("message");
        QString line =
            QStringLiteral("%1 %2 s%3 ").arg(text("event"), text("profile"), fixed("sid", 0));
        if (e.contains(QLatin1String("cid")))
            line += QLatin1Char('c') + fixed("cid", 0) + QLatin1Char(' ');
        line += QStringLiteral("(%1,%2)").arg(fixed("x"), fixed("y"));
        if (e.contains(QLatin1String("angle")))
            line += QStringLiteral(" a") + fixed("angle");
        return line;
    }

    QProcess process;
    QByteArray buffer;
    QStringList seen;
    quint16 boundPort = 0;
};
