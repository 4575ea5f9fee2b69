#include "app/diagnosticlog.h"

#include <QDateTime>
#include <QDir>
#include <QStandardPaths>

DiagnosticLog &DiagnosticLog::instance()
{
    static DiagnosticLog log;
    return log;
}

DiagnosticLog::~DiagnosticLog()
{
    stream.flush();
    stream.setDevice(nullptr);
}

void DiagnosticLog::open(const QString &appName)
{
    if (file.isOpen()) {
        stream.flush();
        stream.setDevice(nullptr);
        file.close();
    }
    // Runs before the application name is set, so the folder follows the executable's name.
    const QString dir =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/logs");
    QDir().mkpath(dir);
    file.setFileName(dir + QLatin1Char('/') + appName + QStringLiteral(".log"));
    stream.setDevice(&file);
    // An unopened file loses the header, as it loses every later line.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    stream << "\n=== "
           << QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) << ' '
           << appName << " ===\n";
}

void DiagnosticLog::write(const QString &message)
{
    if (!file.isOpen())
        return;
    stream << QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) << ' ' << message
           << '\n';
    stream.flush();
}
