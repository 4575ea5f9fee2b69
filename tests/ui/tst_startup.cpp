#include "app/startup.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

static const char besideSheet[] = "QLabel { color: #123456; }\n";

// The executable asks the maker's site for announcements at start; only a build that points it
// at loopback (the debug, ci and asan presets do) may be run from a test.
#define REQUIRE_LOOPBACK_SITE()                                                                    \
    if (!QString(TACTORA_BUILD_SITE_URL)                                                           \
             .contains(QRegularExpression("^http://(127\\.|\\[::1\\])")))                          \
    QSKIP("the executable's site address is not on loopback; configure with a preset")

// Start-up as a user sees it: the real executable, copied under another name so that its log
// folder must follow the executable's name, not "Tactora".
class TestStartup : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> root;
    QString logPath;

    std::unique_ptr<QProcess> start()
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", root->filePath("data"));
        env.insert("HOME", root->filePath("home"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        process->setProcessEnvironment(env);
        QFile::copy(TACTORA_APP_PATH, root->filePath("probe-tool")); // once per folder
        process->start(root->filePath("probe-tool"), {});
        return process; // its destructor kills it
    }
    QString log() const
    {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly | QIODevice::Text) ? file.readAll() : QString();
    }

private slots:
    void init()
    {
        root = std::make_unique<QTemporaryDir>();
        logPath = root->filePath("data/probe-tool/logs/Tactora.log");
    }
    void cleanup() { qApp->setStyleSheet({}); }

    void logAcrossRuns()
    {
        REQUIRE_LOOPBACK_SITE();
        for (int runs : {1, 2}) {
            auto process = start();
            QTRY_COMPARE_WITH_TIMEOUT(log().count("Window shown\n"), runs, 30000);
        }
        const QString block = "\n=== \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d Tactora ===\n"
                              "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} DarkTheme QSS loaded\n"
                              "\\d\\d:\\d\\d:\\d\\d\\.\\d{3} Window shown\n";
        QVERIFY2(QRegularExpression("^" + block + block + "$").match(log()).hasMatch(),
                 qPrintable(log()));
    }

    // A plain file where the log folder belongs: no log, and the process runs on all the same.
    void runsWithoutLog()
    {
        REQUIRE_LOOPBACK_SITE();
        QFile blocker(QFileInfo(logPath).path());
        QVERIFY(QDir().mkpath(root->filePath("data/probe-tool")) &&
                blocker.open(QIODevice::WriteOnly));
        auto process = start();
        QVERIFY(process->waitForStarted(10000) && !process->waitForFinished(2500));
    }

    // Rows: the resource asked for, whether a sheet lies beside the test, the sheet applied.
    void theme_data()
    {
        QTest::addColumn<QString>("resource");
        QTest::addColumn<bool>("fileBeside");
        QTest::addColumn<QString>("sheet");
        QFile compiled(":/styles/DarkTheme.qss");
        QVERIFY(compiled.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString dark = compiled.readAll(), missing = ":/styles/Missing.qss";
        QTest::newRow("compiled-in sheet") << compiled.fileName() << false << dark;
        QTest::newRow("resource wins over file") << compiled.fileName() << true << dark;
        QTest::newRow("file beside the executable") << missing << true << QString(besideSheet);
        QTest::newRow("no theme at all") << missing << false << QString();
    }
    void theme()
    {
        QFETCH(QString, resource);
        QFETCH(bool, fileBeside);
        QFETCH(QString, sheet);
        QFile beside(QCoreApplication::applicationDirPath() + "/DarkTheme.qss");
        QVERIFY(!fileBeside ||
                (beside.open(QIODevice::WriteOnly) && beside.write(besideSheet) > 0));
        beside.close();
        const bool applied = applyTheme(*qApp, resource);
        beside.remove();
        QCOMPARE(applied, !sheet.isEmpty());
        QCOMPARE(qApp->styleSheet(), sheet);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
