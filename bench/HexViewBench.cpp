// How the data buffer and its hex view cope with the largest image the
// program handles (16 MiB): load, paint, scroll to the end, edit, undo, save.
// Prints a table and writes it as CSV to the file named by the first argument.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "HexView.h"

namespace {

constexpr qsizetype kImageSize = 16 << 20;
constexpr int kRuns = 7;

struct Result {
    const char *step;
    double medianMs;
    double targetMs;
};

double MedianMs(const std::function<void()> &prepare, const std::function<void()> &step) {
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QString csvPath = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("hexview.csv");

    QByteArray image(kImageSize, '\0');
    for (qsizetype index = 0; index < kImageSize; ++index) {
        image[index] = static_cast<char>(index * 7 + (index >> 9));
    }
    QTemporaryDir folder;
    const QString savePath = folder.filePath(QStringLiteral("image.bin"));

    HexView view;
    view.resize(860, 380);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        std::fprintf(stderr, "hexview_bench: the view was never shown\n");
        return 1;
    }
    view.setFocus();
    const auto load = [&] {
        QBuffer stream(&image);
        stream.open(QIODevice::ReadOnly);
        view.LoadBufferFromStream(stream);
    };
    const auto paint = [&] { view.viewport()->repaint(); };
    const auto nothing = [] {};
    const auto toStart = [&] {
        QTest::keyClick(&view, Qt::Key_Home, Qt::ControlModifier);
        paint();
    };

    load();
    std::vector<Result> results = {
        {"LoadBufferFromStream 16 MiB", MedianMs(nothing, load), 50},
        {"paint a full viewport", MedianMs(nothing, paint), 50},
        {"scroll to the end (Ctrl+End) and paint", MedianMs(toStart, [&] {
             QTest::keyClick(&view, Qt::Key_End, Qt::ControlModifier);
             paint();
         }), 50},
        {"edit one byte and paint", MedianMs(nothing, [&] {
             QTest::keyClick(&view, Qt::Key_A);
             paint();
         }), 50},
        {"undo and paint", MedianMs([&] { QTest::keyClick(&view, Qt::Key_B); }, [&] {
             QTest::keyClick(&view, Qt::Key_Z, Qt::ControlModifier);
             paint();
         }), 50},
        {"SaveBufferToFile 16 MiB", MedianMs(nothing, [&] { view.SaveBufferToFile(savePath, true); }), 200},
    };

    QFile csv(csvPath);
    if (!csv.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "hexview_bench: cannot write %s\n", qPrintable(csvPath));
        return 1;
    }
    csv.write("step,median_ms,target_ms,met\n");
    std::printf("%-42s %10s %10s %5s\n", "step", "median ms", "target ms", "met");
    bool allMet = true;
    for (const Result &result : results) {
        const bool met = result.medianMs < result.targetMs;
        allMet = allMet && met;
        std::printf("%-42s %10.2f %10.0f %5s\n", result.step, result.medianMs, result.targetMs, met ? "yes" : "NO");
        csv.write(QStringLiteral("%1,%2,%3,%4\n")
                      .arg(QLatin1String(result.step))
                      .arg(result.medianMs, 0, 'f', 3)
                      .arg(result.targetMs)
                      .arg(met ? QStringLiteral("yes") : QStringLiteral("no"))
                      .toUtf8());
    }
    return allMet ? 0 : 1;
}
