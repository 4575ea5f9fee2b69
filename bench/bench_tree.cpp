// Refresh of the session tree with thousands of live sessions: the real window on the offscreen
// platform with the tree tab showing. Every round moves all sessions, refreshes the tree and
// lets it lay out and paint. Times are the GUI thread's CPU time.
// Run from a Release build: ./bench_tree [rounds]

#include "benchsupport.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QMetaObject>
#include <QTabWidget>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void moveAll(TuioSessions &sessions, int count, int round)
{
    const float shift = float(round % 7) * 0.01f;
    for (int i = 0; i < count / 2; ++i) {
        const float x = float(i % 100) * 0.009f + shift;
        const float y = float(i / 100 % 100) * 0.009f + shift;
        sessions.processDatagram(buildCursorSet(i, x, y));
        sessions.processDatagram(buildObjectSet(i, i % 24, y, x, shift));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 10;

    TuioWidget window;
    window.resize(1400, 900);
    window.show();
    window.findChild<QTabWidget *>()->setCurrentWidget(
        window.findChild<QTreeWidget *>(QStringLiteral("objectTree"))->parentWidget());
    QApplication::processEvents();

    bool allMet = true;
    for (const int count : {2000, 8000, 32000}) {
        window.sessions()->clear();
        std::vector<double> refreshMs;
        std::vector<double> withPaintMs;
        for (int round = 0; round <= rounds; ++round) {
            moveAll(*window.sessions(), count, round);
            const double start = threadCpuMs();
            QMetaObject::invokeMethod(&window, "refreshObjectTree");
            const double refreshed = threadCpuMs();
            QApplication::processEvents();
            const double painted = threadCpuMs();
            if (round == 0)
                continue; // the first round creates the rows
            refreshMs.push_back(refreshed - start);
            withPaintMs.push_back(painted - start);
        }
        const double total = median(withPaintMs);
        const bool met = count != 32000 || total <= 50.0;
        allMet = allMet && met;
        std::printf("%6d sessions: refresh %8.2f ms, with layout and paint %8.2f ms (median CPU)",
                    count, median(refreshMs), total);
        if (count == 32000)
            std::printf("  aim <= 50 ms: %s", met ? "met" : "MISSED");
        std::printf("\n");
    }
    return allMet ? 0 : 1;
}
