// Paint time of the touch canvas at 1160 x 780 into an image (software raster).
// Run from a Release build: ./bench_canvas [frames] [scene index]

#include "benchsupport.h"
#include "canvas/touchcanvas.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <vector>

namespace {

struct Scene
{
    const char *name;
    int receivedCursors;
    int receivedObjects;
    int simObjects;
    int anchors;
    double aimMs; // 0: no aim
    int blobs = 0;
    int depthCursors = 0;
};

void fill(TouchCanvas &canvas, const Scene &scene)
{
    QRandomGenerator random(20240601);
    auto unit = [&random] { return float(random.generateDouble()); };
    canvas.clearAll();
    for (int i = 0; i < scene.receivedCursors; ++i)
        canvas.updateTuioCursor(i, unit(), unit());
    for (int i = 0; i < scene.receivedObjects; ++i)
        canvas.updateTuioObject(i, i % 24, unit(), unit(), unit() * 6.2831853f);
    QList<SimObject> objects;
    for (int i = 0; i < scene.simObjects; ++i)
        objects.append(SimObject{1000 + i, i, unit(), unit(), unit() * 6.2831853f});
    canvas.setSimObjects(objects);
    for (int i = 0; i < scene.anchors; ++i)
        canvas.addAnchor(Anchor{2000 + i, unit(), unit()});
    // Blobs of 2..10 % of the table across, as a camera tracker sees hands and objects.
    for (int i = 0; i < scene.blobs; ++i) {
        TuioItemRecord blob;
        blob.x = unit(), blob.y = unit(), blob.a = unit() * 6.2831853f;
        blob.w = 0.02f + unit() * 0.08f, blob.h = 0.02f + unit() * 0.08f;
        canvas.updateTuioItem(TuioProfile::Blob2D, 3000 + i, blob);
    }
    for (int i = 0; i < scene.depthCursors; ++i) {
        TuioItemRecord cursor;
        cursor.x = unit(), cursor.y = unit(), cursor.z = unit();
        canvas.updateTuioItem(TuioProfile::Cursor25D, 4000 + i, cursor);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(5, atoi(argv[1])) : 200;
    const int only = argc > 2 ? atoi(argv[2]) : -1;

    TouchCanvas canvas;
    canvas.resize(1160, 780);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);

    const Scene scenes[] = {
        {"empty", 0, 0, 0, 0, 0},
        {"20 cur + 20 obj + 10 sim + 10 anchors", 20, 20, 10, 10, 4.0},
        {"500 cur + 500 obj", 500, 500, 0, 0, 40.0},
        {"1000 cur + 1000 obj", 1000, 1000, 0, 0, 0},
        {"4000 cur + 4000 obj", 4000, 4000, 0, 0, 16.0},
        {"16000 cur + 16000 obj", 16000, 16000, 0, 0, 60.0},
        {"100 blobs + 100 2.5D cursors", 0, 0, 0, 0, 8.0, 100, 100},
    };

    std::printf("canvas %dx%d, %d frames per scene (after 10 warm-up frames)\n", canvas.width(),
                canvas.height(), frames);
    bool allMet = true;
    for (int index = 0; index < int(std::size(scenes)); ++index) {
        const Scene &scene = scenes[index];
        if (only >= 0 && index != only)
            continue;
        fill(canvas, scene);
        for (int i = 0; i < 10; ++i)
            canvas.render(&image);
        std::vector<double> ms;
        std::vector<double> cpuMs;
        ms.reserve(size_t(frames));
        cpuMs.reserve(size_t(frames));
        QElapsedTimer timer;
        for (int i = 0; i < frames; ++i) {
            const double cpuStart = processCpuMs();
            timer.start();
            canvas.render(&image);
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            cpuMs.push_back(processCpuMs() - cpuStart);
        }
        // The aim is checked against CPU time: wall time grows when other processes take the cores.
        const double median = percentile(ms, 0.5);
        const double cpuMedian = percentile(cpuMs, 0.5);
        const bool met = scene.aimMs <= 0 || cpuMedian <= scene.aimMs;
        allMet = allMet && met;
        std::printf("%-40s median %7.3f ms  p10 %7.3f  p90 %7.3f  cpu median %7.3f", scene.name,
                    median, percentile(ms, 0.1), percentile(ms, 0.9), cpuMedian);
        if (scene.aimMs > 0)
            std::printf("  aim cpu <= %.0f ms: %s", scene.aimMs, met ? "met" : "MISSED");
        std::printf("\n");
    }
    return allMet ? 0 : 1;
}
