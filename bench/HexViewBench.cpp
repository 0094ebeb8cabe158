// How the data buffer and its hex view cope with the largest image the
// program handles (16 MiB): load from a memory stream, paint, scroll to the
// end, edit, undo, save, load from a file.
// Prints a table and writes it as hexview.csv into the folder named by the
// first argument.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include "BenchTable.h"
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
    return bench::Median(times);
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::string resultsFolder = argc > 1 ? argv[1] : ".";

    const std::vector<std::uint8_t> pattern = bench::Pattern(kImageSize);
    QByteArray image(reinterpret_cast<const char *>(pattern.data()), kImageSize);
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
    const std::vector<Result> steps = {
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
        // A memory stream hands its bytes over shared; a file is copied in.
        {"LoadBufferFromFile 16 MiB", MedianMs(nothing, [&] { view.LoadBufferFromFile(savePath); }), 50},
    };

    bench::BenchTable table({"hex view and data buffer, 16 MiB", "median ms", "target ms", "met"});
    for (const Result &result : steps) {
        const bool met = result.medianMs < result.targetMs;
        table.AddRow({result.step, bench::Fixed(result.medianMs, 2), bench::Fixed(result.targetMs, 0), bench::YesNo(met)},
                     met);
    }
    if (!table.Report(resultsFolder + "/hexview.csv")) return 1;
    return table.AllMet() ? 0 : 1;
}
