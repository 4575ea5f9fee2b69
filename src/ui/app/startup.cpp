#include "app/startup.h"

#include "app/diagnosticlog.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

bool applyTheme(QApplication &app, const QString &resourcePath)
{
    QString path = resourcePath;
    if (!QFile::exists(path))
        path = QCoreApplication::applicationDirPath() + QStringLiteral("/DarkTheme.qss");
    QFile theme(path);
    if (!theme.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&theme);
    app.setStyleSheet(in.readAll());
    theme.close();
    return true;
}

int runTactora(int &argc, char **argv)
{
    QApplication app(argc, argv);
    DiagnosticLog &log = DiagnosticLog::instance();
    log.open(QStringLiteral("Tactora"));
    QCoreApplication::setApplicationName(QStringLiteral("Tactora"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
#ifdef TACTORA_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(TACTORA_APP_ID));
#endif

    if (applyTheme(app))
        log.write(QStringLiteral("DarkTheme QSS loaded"));

    TuioWidget window;
    window.show();
    log.write(QStringLiteral("Window shown"));
    return app.exec();
}
