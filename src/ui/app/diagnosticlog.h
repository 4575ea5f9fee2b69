#pragma once

#include <QFile>
#include <QString>
#include <QTextStream>

// The start-up log file, one block per run, appended to and never truncated.
class DiagnosticLog
{
public:
    static DiagnosticLog &instance();

    void open(const QString &appName);
    void write(const QString &message);

    bool isOpen() const { return file.isOpen(); }
    QString fileName() const { return file.fileName(); }

private:
    DiagnosticLog() = default;
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog &) = delete;
    DiagnosticLog &operator=(const DiagnosticLog &) = delete;

    QFile file;
    QTextStream stream;
};
