// The main window around a 16 MiB chip on the in-process simulator: how much
// memory a verify takes above the idle program, and how live the window
// stays while a read runs (the longest gap between the ticks of a 5 ms
// timer). Prints a table and writes it as window.csv into the folder named
// by the first argument.
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>

#include "BenchTable.h"
#include "HexView.h"
#include "ModalRunner.h"
#include "Simulator.h"
#include "Un_Main.h"

namespace {

using bench::Fixed;
using bench::YesNo;

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kChipKB = 16384;
constexpr double kVerifyMemoryTargetMiB = 4 * 16;
constexpr int kTickMs = 5;
constexpr double kLongestGapTargetMs = 20;

// Neither a read nor a verify asks anything; a dialog would be a fault of the benchmark.
class NoDialogs final : public ModalRunner {
public:
    int Run(QDialog &) override {
        std::fprintf(stderr, "window_bench: a dialog was shown\n");
        std::exit(1);
    }
};

// A "VmRSS:" or "VmHWM:" figure of this process, in bytes.
double ProcessMemory(const std::string &field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    while (status >> name) {
        if (name == field) {
            double kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(1 << 16, '\n');
    }
    return 0;
}

// Makes VmHWM start again from the present resident size.
bool ResetPeakMemory() {
    std::ofstream clearRefs("/proc/self/clear_refs");
    clearRefs << "5";
    clearRefs.flush();
    return static_cast<bool>(clearRefs);
}

QString LastLogLine(TfrmMain &window) {
    const QString text = window.findChild<QPlainTextEdit *>(QStringLiteral("Memo1"))->toPlainText();
    return text.section(QLatin1Char('\n'), -1);
}

void Pick(TfrmMain &window, const char *item) { window.findChild<QAction *>(QLatin1String(item))->trigger(); }

void Fail(const char *what) {
    std::fprintf(stderr, "window_bench: %s\n", what);
    std::exit(1);
}

}  // namespace

int main(int argc, char **argv) {
    const std::string results = argc > 1 ? argv[1] : ".";
    bench::IsolatedRegistry registry;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);

    const sim::ChipModel &chip = *sim::FindChipModel("MX25L12845");
    sim::Simulator simulator(chip);
    std::string error;
    if (!simulator.Start(&error)) Fail(error.c_str());
    std::vector<std::uint8_t> image = bench::Pattern(chip.capacity);
    QByteArray imageBytes(reinterpret_cast<const char *>(image.data()), static_cast<qsizetype>(image.size()));
    simulator.firmware().SetImage(std::move(image));

    RunState state;
    NoDialogs modals;
    TfrmMain window(state, modals);
    window.show();
    state.CapacityKB = kChipKB;
    HexView &view = *window.findChild<HexView *>(QStringLiteral("MPHexEditorEx1"));

    bench::BenchTable table({"main window, 16 MiB chip", "value", "target", "met"});

    // Idle: the operator has the image in the hex view and is about to verify it.
    {
        QBuffer stream(&imageBytes);
        stream.open(QIODevice::ReadOnly);
        view.LoadBufferFromStream(stream);
    }
    imageBytes = QByteArray();
    QApplication::processEvents();
    // Freed blocks that the allocator keeps would be reused by the verify and hide its cost.
    malloc_trim(0);
    const double idle = ProcessMemory("VmRSS:");
    if (!ResetPeakMemory()) Fail("cannot reset the peak resident size through /proc/self/clear_refs");
    Pick(window, "miTestData");
    const double verifyPeak = ProcessMemory("VmHWM:");
    if (LastLogLine(window) != QStringLiteral("芯片中的数据与缓存中的数据一致！")) Fail("the verify did not match");
    const double aboveIdleMiB = (verifyPeak - idle) / kMiB;
    table.AddRow({"idle resident MiB (image in the hex view)", Fixed(idle / kMiB, 1), "", ""}, true);
    table.AddRow({"verify: peak resident above idle MiB", Fixed(aboveIdleMiB, 1),
                  "< " + Fixed(kVerifyMemoryTargetMiB, 0), YesNo(aboveIdleMiB < kVerifyMemoryTargetMiB)},
                 aboveIdleMiB < kVerifyMemoryTargetMiB);

    // A read started from the menu, as a click would, with a timer ticking beside it.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    int ticksAfterRead = -1;  // counting starts when the read has returned
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        // One tick after the read's end takes in the gap that the read's last steps left.
        if (ticksAfterRead >= 0 && ++ticksAfterRead == 1) loop.quit();
    });
    qint64 readMs = 0;
    QTimer::singleShot(2 * kTickMs, [&] {
        const qint64 start = clock.elapsed();
        Pick(window, "miReadData");
        readMs = clock.elapsed() - start;
        ticksAfterRead = 0;
    });
    ticker.start();
    loop.exec();
    if (view.Buffer().Size() != static_cast<qsizetype>(chip.capacity)) Fail("the read did not deliver the chip");
    table.AddRow({"read: duration ms", std::to_string(readMs), "", ""}, true);
    table.AddRow({"read: longest gap between 5 ms ticks ms", std::to_string(longestGap),
                  "< " + Fixed(kLongestGapTargetMs, 0), YesNo(static_cast<double>(longestGap) < kLongestGapTargetMs)},
                 static_cast<double>(longestGap) < kLongestGapTargetMs);

    if (!table.Report(results + "/window.csv")) return 1;
    return table.AllMet() ? 0 : 1;
}
