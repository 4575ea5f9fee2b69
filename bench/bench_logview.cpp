// Log view under load: the real LogViewWidget on the offscreen platform with
// the application theme. Prints GUI-thread CPU and wall times, the cost of a
// batch once the view is full, resident memory and the logged-to-row delay.
// Run from a Release build: ./bench_logview [--quick] [--census]

#include "app/startup.h"
#include "benchsupport.h"
#include "comm/communicationbase.h"
#include "log/logviewwidget.h"
#include "window/tuiowidget.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMap>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

double rssMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

QByteArray summary(int i)
{
    // The shape of a received-datagram line, with varying digits.
    return QByteArray("[127.0.0.1:") + QByteArray::number(50000 + i % 10000) + "] " +
           QByteArray::number(52 + i % 97) + "B";
}

QListWidget *listOf(LogViewWidget &view)
{
    return view.findChild<QListWidget *>(QStringLiteral("logOutput"));
}

// Runs the event loop until the view has shown everything queued and has laid out.
void drain(LogViewWidget &view)
{
    while (view.pendingCount() > 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

struct Stage
{
    double cpuMs = 0;
    double wallMs = 0;
};

Stage showQueued(CommunicationBase &core, LogViewWidget &view, int count)
{
    for (int i = 0; i < count; ++i)
        core.logRx(summary(i));
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = threadCpuMs();
    drain(view);
    return {threadCpuMs() - cpu0, double(wall.elapsed())};
}

void benchQueuedAtOnce(const QList<int> &sizes)
{
    std::printf("\n3) Entries queued in one go, then shown (up to 2000 rows per flush)\n");
    std::printf("   %8s  %12s  %12s  %14s\n", "rows", "GUI CPU ms", "wall ms", "CPU us/row");
    for (int n : sizes) {
        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(900, 600);
        view.show();
        QCoreApplication::processEvents();
        const Stage s = showQueued(core, view, n);
        std::printf("   %8d  %12.0f  %12.0f  %14.2f   (rows shown: %d)\n", n, s.cpuMs, s.wallMs,
                    s.cpuMs * 1000.0 / n, listOf(view)->count());
    }
}

struct ArrivalResult
{
    double cpuMs = 0;
    double wallMs = 0;
    std::vector<double> delaysMs;
};

// Logs `total` entries at `perSecond`, paced by a precise 1 ms timer, and
// records for every row the time from its logRx call to the row's insertion.
ArrivalResult arrive(CommunicationBase &core, LogViewWidget *view, int total, int perSecond)
{
    ArrivalResult result;
    std::vector<qint64> loggedAt;
    loggedAt.reserve(size_t(total));
    QElapsedTimer clock;
    qint64 rowsSeen = 0;
    QMetaObject::Connection rowsConn;
    if (view) {
        result.delaysMs.reserve(size_t(total));
        rowsConn = QObject::connect(listOf(*view)->model(), &QAbstractItemModel::rowsInserted,
                                    [&](const QModelIndex &, int first, int last) {
                                        const qint64 now = clock.nsecsElapsed();
                                        for (int r = first; r <= last; ++r, ++rowsSeen)
                                            result.delaysMs.push_back(
                                                double(now - loggedAt[size_t(rowsSeen)]) / 1e6);
                                    });
    }
    QTimer pacer;
    pacer.setTimerType(Qt::PreciseTimer);
    pacer.setInterval(1);
    int logged = 0;
    QObject::connect(&pacer, &QTimer::timeout, [&] {
        const qint64 due =
            std::min<qint64>(total, clock.nsecsElapsed() * perSecond / 1000000000LL + 1);
        while (logged < due) {
            loggedAt.push_back(clock.nsecsElapsed());
            core.logRx(summary(logged));
            ++logged;
        }
        if (logged >= total)
            pacer.stop();
    });
    const double cpu0 = threadCpuMs();
    clock.start();
    pacer.start();
    while (pacer.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (view)
        drain(*view);
    result.cpuMs = threadCpuMs() - cpu0;
    result.wallMs = double(clock.elapsed());
    QObject::disconnect(rowsConn);
    return result;
}

double mean(const std::vector<double> &v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

void benchArrival(const QList<int> &sizes, int perSecond)
{
    std::printf("\n4) Entries arriving at %d/s (GUI CPU includes logging them into the core)\n",
                perSecond);
    std::printf("   %8s  %10s  %12s  %12s  %10s  %10s  %10s\n", "rows", "wall ms", "GUI CPU ms",
                "core-only ms", "delay p50", "delay p99", "delay max");
    for (int n : sizes) {
        CommunicationBase bare;
        const ArrivalResult base = arrive(bare, nullptr, n, perSecond);

        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(900, 600);
        view.show();
        QCoreApplication::processEvents();
        const ArrivalResult r = arrive(core, &view, n, perSecond);
        std::printf("   %8d  %10.0f  %12.0f  %12.0f  %8.1fms  %8.1fms  %8.1fms   (view share "
                    "%.0f ms, rows %zu)\n",
                    n, r.wallMs, r.cpuMs, base.cpuMs, percentile(r.delaysMs, 0.5),
                    percentile(r.delaysMs, 0.99), percentile(r.delaysMs, 1.0), r.cpuMs - base.cpuMs,
                    r.delaysMs.size());
    }
}

void benchFull(int batches)
{
    std::printf("\n1) View full (100000 rows, core full): one more 200-row batch, dropping the "
                "oldest 200\n");
    const double rss0 = rssMb();
    CommunicationBase core;
    LogViewWidget view(&core);
    view.resize(900, 600);
    view.show();
    QCoreApplication::processEvents();
    const Stage fill = showQueued(core, view, core.maxLogEntries());
    QListWidget *list = listOf(view);
    std::printf("   fill: %d rows in %.0f ms GUI CPU (%.0f ms wall)\n", list->count(), fill.cpuMs,
                fill.wallMs);
    std::printf("   resident memory: %.1f MB with %d entries in the core and %d rows "
                "(%.1f MB before creating them)\n",
                rssMb(), core.entryCount(), list->count(), rss0);

    auto batch = [&](int seed) {
        for (int i = 0; i < 200; ++i)
            core.logRx(summary(seed + i));
        const double cpu0 = threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        view.flushPendingItems();
        // The relayout and repaint that the batch causes run in the next events.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return Stage{threadCpuMs() - cpu0, double(wall.nsecsElapsed()) / 1e6};
    };

    for (int pass = 0; pass < 2; ++pass) {
        const bool follow = pass == 0;
        if (!follow)
            list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum() / 2);
        std::vector<double> cpu;
        std::vector<double> wall;
        for (int b = 0; b < batches; ++b) {
            const Stage s = batch(1000 * b);
            cpu.push_back(s.cpuMs);
            wall.push_back(s.wallMs);
        }
        std::printf("   %s: %d batches, GUI CPU per batch mean %.2f ms, max %.2f ms; wall mean "
                    "%.2f ms (rows %d)\n",
                    follow ? "following the bottom" : "scrolled to the middle", batches, mean(cpu),
                    *std::max_element(cpu.begin(), cpu.end()), mean(wall), list->count());
    }
}

// The list as first designed: every row measured for its own size hint.
void benchPerRowHints(int count)
{
    std::printf("\n2) Reference: a plain QListWidget with per-row size hints (word wrap, per-pixel "
                "scrolling, item style sheet), %d rows in 200-row batches\n",
                count);
    QListWidget list;
    list.setObjectName(QStringLiteral("logOutput"));
    list.setWordWrap(true);
    list.setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list.setStyleSheet(
        QStringLiteral("QListWidget::item { padding: 2px 6px 2px 6px; font-size: 11pt; }"));
    list.resize(900, 600);
    list.show();
    QCoreApplication::processEvents();
    const double cpu0 = threadCpuMs();
    for (int done = 0; done < count; done += 200) {
        for (int i = 0; i < 200; ++i)
            list.addItem(QString::fromLatin1(summary(done + i)));
        list.scrollToBottom();
        QCoreApplication::processEvents();
    }
    std::printf("   %d rows: %.0f ms GUI CPU\n", list.count(), threadCpuMs() - cpu0);
}

// Counts paint events per widget, named by object name or class.
class PaintCensus : public QObject
{
public:
    QMap<QString, int> paints;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            const QString name = watched->objectName().isEmpty()
                                     ? QString::fromLatin1(watched->metaObject()->className())
                                     : watched->objectName();
            ++paints[name];
        }
        return false;
    }
};

// The whole window with the log tab showing: which widgets repaint while received datagrams are
// logged and flushed into rows.
void benchRepaintCensus(int flushes)
{
    TuioWidget window;
    window.resize(1400, 900);
    window.show();
    auto *view = window.findChild<LogViewWidget *>();
    window.findChild<QTabWidget *>()->setCurrentWidget(view);
    QCoreApplication::processEvents();
    PaintCensus census;
    qApp->installEventFilter(&census);
    CommunicationBase *core = window.communication();
    const double cpu0 = threadCpuMs();
    for (int f = 0; f < flushes; ++f) {
        for (int i = 0; i < 50; ++i)
            core->logRx(summary(f * 50 + i));
        view->flushPendingItems();
        QCoreApplication::processEvents();
    }
    const double cpu = threadCpuMs() - cpu0;
    qApp->removeEventFilter(&census);
    std::printf("\n5) Window with the log tab showing: %d flushes of 50 received rows, %.2f ms GUI "
                "CPU per flush; paint events per flush by widget:\n",
                flushes, cpu / flushes);
    for (auto it = census.paints.cbegin(); it != census.paints.cend(); ++it)
        std::printf("   %-32s %6.2f\n", qPrintable(it.key()), double(it.value()) / flushes);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyTheme(app);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    if (app.arguments().contains(QStringLiteral("--census"))) {
        benchRepaintCensus(200);
        return 0;
    }

    std::printf("Log view benchmark (platform %s, theme %s)\n",
                qPrintable(QGuiApplication::platformName()),
                app.styleSheet().isEmpty() ? "missing" : "applied");
    // First, so that the resident-memory figure is not inflated by earlier stages.
    benchFull(quick ? 5 : 50);
    benchPerRowHints(quick ? 2000 : 10000);
    benchQueuedAtOnce(quick ? QList<int>{10000, 20000} : QList<int>{12500, 25000, 50000, 100000});
    benchArrival(quick ? QList<int>{20000} : QList<int>{25000, 50000, 100000}, 20000);
    benchRepaintCensus(quick ? 50 : 200);
    return 0;
}
