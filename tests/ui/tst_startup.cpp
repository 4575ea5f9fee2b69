#include "app/diagnosticlog.h"
#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Start-up as a user sees it: the real executable, run twice under its own name.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void diagnosticLogAcrossRuns();
    void startsWhenLogCannotBeOpened();
    void themeSources_data();
    void themeSources();

private:
    static QProcessEnvironment sandboxEnvironment(const QString &root);
    static QString runUntilShown(const QString &exe, const QString &root, const QString &logPath,
                                 int runs);
};

// The executable asks the maker's site for announcements at start; only a build that points it
// at loopback (the debug, ci and asan presets do) may be run from a test.
static bool siteOnLoopback()
{
    const QString site = QStringLiteral(TACTORA_BUILD_SITE_URL);
    return site.startsWith(QLatin1String("http://127.")) ||
           site.startsWith(QLatin1String("http://[::1]"));
}
#define REQUIRE_LOOPBACK_SITE()                                                                    \
    if (!siteOnLoopback())                                                                         \
    QSKIP("the executable's site address is not on loopback; configure with a preset")

QProcessEnvironment TestStartup::sandboxEnvironment(const QString &root)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), root + QStringLiteral("/data"));
    env.insert(QStringLiteral("HOME"), root + QStringLiteral("/home"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// Runs the executable until its log says the window is up, then ends it; returns the log.
QString TestStartup::runUntilShown(const QString &exe, const QString &root, const QString &logPath,
                                   int runs)
{
    QProcess process;
    process.setProcessEnvironment(sandboxEnvironment(root));
    process.start(exe, {});
    if (!process.waitForStarted(10000))
        return QString();
    QString content;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        QFile log(logPath);
        if (log.open(QIODevice::ReadOnly | QIODevice::Text)) {
            content = QString::fromUtf8(log.readAll());
            if (content.count(QStringLiteral("Window shown\n")) >= runs)
                break;
        }
        QTest::qWait(50);
    }
    process.kill();
    process.waitForFinished(5000);
    return content;
}

void TestStartup::diagnosticLogAcrossRuns()
{
    REQUIRE_LOOPBACK_SITE();
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // A copy under another name: the log folder follows the executable, not "Tactora".
    const QString exe = root.filePath(QStringLiteral("probe-tool"));
    QVERIFY(QFile::copy(QStringLiteral(TACTORA_APP_PATH), exe));
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    const QString logPath = root.filePath(QStringLiteral("data/probe-tool/logs/Tactora.log"));

    const QString first = runUntilShown(exe, root.path(), logPath, 1);
    QVERIFY2(first.contains(QStringLiteral("Window shown")), qPrintable(first));
    QVERIFY(!QFile::exists(root.filePath(QStringLiteral("data/Tactora/logs/Tactora.log"))));

    const QString second = runUntilShown(exe, root.path(), logPath, 2);
    QVERIFY(second.startsWith(first));

    const QString block =
        QStringLiteral("\n=== \\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} Tactora ===\n"
                       "\\d{2}:\\d{2}:\\d{2}\\.\\d{3} DarkTheme QSS loaded\n"
                       "\\d{2}:\\d{2}:\\d{2}\\.\\d{3} Window shown\n");
    const QRegularExpression twoRuns(QStringLiteral("^") + block + block + QStringLiteral("$"));
    QVERIFY2(twoRuns.match(second).hasMatch(), qPrintable(second));
}

void TestStartup::startsWhenLogCannotBeOpened()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    // A plain file where the log folder should be: neither folder nor file can be made.
    const QString appData = root.filePath(QStringLiteral("data/tst_startup"));
    QVERIFY(QDir().mkpath(appData));
    QFile blocker(appData + QStringLiteral("/logs"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    DiagnosticLog &log = DiagnosticLog::instance();
    log.open(QStringLiteral("Tactora"));
    QVERIFY(!log.isOpen());
    log.write(QStringLiteral("Window shown")); // must be a silent no-op
    QCOMPARE(QFileInfo(appData + QStringLiteral("/logs")).size(), 0);

    // The process itself keeps running with the window up.
    REQUIRE_LOOPBACK_SITE();
    const QString exe = root.filePath(QStringLiteral("blocked-tool"));
    QVERIFY(QFile::copy(QStringLiteral(TACTORA_APP_PATH), exe));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("data/blocked-tool"))));
    QFile blocker2(root.filePath(QStringLiteral("data/blocked-tool/logs")));
    QVERIFY(blocker2.open(QIODevice::WriteOnly));
    blocker2.close();
    QProcess process;
    process.setProcessEnvironment(sandboxEnvironment(root.path()));
    process.start(exe, {});
    QVERIFY(process.waitForStarted(10000));
    QVERIFY(!process.waitForFinished(2500));
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished(5000);
}

void TestStartup::themeSources_data()
{
    QTest::addColumn<QString>("resource");
    QTest::addColumn<bool>("fileBeside");
    QTest::addColumn<QString>("expectedSheet"); // "resource", "file" or empty

    QTest::newRow("compiled-in sheet") << ":/styles/DarkTheme.qss" << false << "resource";
    QTest::newRow("resource wins over file") << ":/styles/DarkTheme.qss" << true << "resource";
    QTest::newRow("file beside the executable") << ":/styles/Missing.qss" << true << "file";
    QTest::newRow("no theme at all") << ":/styles/Missing.qss" << false << "";
}

void TestStartup::themeSources()
{
    QFETCH(QString, resource);
    QFETCH(bool, fileBeside);
    QFETCH(QString, expectedSheet);

    auto *app = qobject_cast<QApplication *>(QCoreApplication::instance());
    QVERIFY(app);
    app->setStyleSheet(QString());
    const QString besidePath = QCoreApplication::applicationDirPath() + "/DarkTheme.qss";
    const QString fileSheet = QStringLiteral("QLabel { color: #123456; }\n");
    QFile::remove(besidePath);
    if (fileBeside) {
        QFile beside(besidePath);
        QVERIFY(beside.open(QIODevice::WriteOnly | QIODevice::Text));
        beside.write(fileSheet.toUtf8());
    }

    const bool applied = applyTheme(*app, resource);
    QFile::remove(besidePath);

    QCOMPARE(applied, !expectedSheet.isEmpty());
    if (expectedSheet == QLatin1String("resource")) {
        QFile compiled(QStringLiteral(":/styles/DarkTheme.qss"));
        QVERIFY(compiled.open(QIODevice::ReadOnly | QIODevice::Text));
        QCOMPARE(app->styleSheet(), QString::fromUtf8(compiled.readAll()));
        QVERIFY(app->styleSheet().contains(QStringLiteral("#headerBar")));
    } else if (expectedSheet == QLatin1String("file")) {
        QCOMPARE(app->styleSheet(), fileSheet);
    } else {
        QVERIFY(app->styleSheet().isEmpty());
    }
    app->setStyleSheet(QString());
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
