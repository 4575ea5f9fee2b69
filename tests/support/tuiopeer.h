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
        process.closeWriteChannel(); // the script ends when its input does
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(5000))
            process.kill();
    }

    // Why the peer cannot run here, or empty.
    static QString unavailable()
    {
        if (QStandardPaths::findExecutable("node").isEmpty())
            return "node is not installed (scripts/setup-peers installs it)";
        for (const char *module : {"tuio-client/dist/tuio-client.es.js", "osc/package.json"})
            if (!QFileInfo::exists(dir + "/node_modules/" + module))
                return QStringLiteral("tests/peers lacks npm's %1 (run scripts/setup-peers)")
                    .arg(QString(module).section('/', 0, 0));
        return {};
    }

    // Listens on `port` (0: any free one); false when the script did not report itself ready.
    bool start(quint16 port = 0)
    {
        process.start(QStandardPaths::findExecutable("node"),
                      {dir + "/tuio-listen.mjs", QString::number(port), "120"});
        while (boundPort == 0 && process.waitForReadyRead(15000))
            events();
        return boundPort != 0;
    }
    quint16 port() const { return boundPort; }

    // Every event reported so far, oldest first.
    QStringList events()
    {
        buffer += process.readAllStandardOutput();
        for (qsizetype end = buffer.indexOf('\n'); end >= 0; end = buffer.indexOf('\n')) {
            const QJsonObject e = QJsonDocument::fromJson(buffer.left(end)).object();
            buffer.remove(0, end + 1);
            const auto text = [&e](const char *key) { return e.value(key).toString(); };
            const auto fixed = [&e](const char *key, int decimals = 2) {
                return QString::number(e.value(key).toDouble(), 'f', decimals);
            };
            if (e.contains("ready"))
                boundPort = quint16(e.value("ready").toInt());
            else if (!e.contains("sid")) // the script's own trouble
                seen << text("event") + ' ' + text("message");
            else
                seen << QStringLiteral("%1 %2 s%3 ")
                                .arg(text("event"), text("profile"), fixed("sid", 0)) +
                            (e.contains("cid") ? 'c' + fixed("cid", 0) + ' ' : QString()) +
                            QStringLiteral("(%1,%2)").arg(fixed("x"), fixed("y")) +
                            (e.contains("angle") ? " a" + fixed("angle") : QString());
        }
        return seen;
    }

private:
    static inline const QString dir = QStringLiteral(TACTORA_SOURCE_DIR "/tests/peers");
    QProcess process;
    QByteArray buffer;
    QStringList seen;
    quint16 boundPort = 0;
};
