// How much the host adds to a chip transfer. Kestro_QX's chip routines, with
// the real Vantu library, read, write and verify a 16 MiB chip on the
// in-process simulator; a floor client makes exactly the same exchanges on
// the same simulator with plain socket calls. Then the same read with the
// simulator answering at full-speed USB pace. Prints two tables and writes
// them as transfer.csv and link.csv into the folder named by the first
// argument.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include <sched.h>

#include <QBuffer>
#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include "BenchTable.h"
#include "ChipOperations.h"
#include "FloorClient.h"
#include "Simulator.h"

namespace {

using bench::Fixed;
using bench::YesNo;

constexpr int kRuns = 7;
constexpr double kRatioTarget = 1.10;
constexpr double kCpuPerUnitTargetUs = 20;
// Full-speed USB answers a transfer in about one frame.
constexpr std::chrono::microseconds kFullSpeedLatency{1000};
constexpr double kPacedTarget = 1.02;

// A host that shows nothing, so that only the routine and the library are measured.
class QuietHost final : public ChipHost {
public:
    void AppendLog(const QString &) override {}
    void SetGaugeMaximum(int) override {}
    void SetGaugePosition(int) override {}
    void ProcessPendingMessages() override {}
    std::uint32_t TickCount() override {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    bool WriteModeMX25LChecked() override { return false; }
};

struct Sample {
    double wallSeconds;
    double cpuSeconds;  // of this thread, the host's
};

// Runs the work once; a transfer that fails or delivers wrong bytes makes
// every figure meaningless, so it ends the benchmark.
Sample Measure(const char *what, const std::function<bool()> &work) {
    const double wallStart = bench::WallSeconds();
    const double cpuStart = bench::ThreadCpuSeconds();
    const bool done = work();
    const Sample sample{bench::WallSeconds() - wallStart, bench::ThreadCpuSeconds() - cpuStart};
    if (!done) {
        std::fprintf(stderr, "transfer_bench: %s failed or delivered wrong bytes\n", what);
        std::exit(1);
    }
    return sample;
}

struct Comparison {
    Sample floor;
    Sample routine;
    double ratio;  // routine wall time / floor wall time
};

// kRuns runs of each, in pairs, each first in every other pair. A pair is
// taken close together, so a slow spell of a shared machine falls on both
// of its runs: the ratio is the median of the pairs' ratios. The times are
// medians of their own.
Comparison Compare(const char *what, const std::function<bool()> &floor, const std::function<bool()> &routine) {
    std::vector<double> floorWall, floorCpu, routineWall, routineCpu, ratios;
    for (int run = 0; run < kRuns; ++run) {
        Sample f{};
        Sample r{};
        if (run % 2 == 0) {
            f = Measure(what, floor);
            r = Measure(what, routine);
        } else {
            r = Measure(what, routine);
            f = Measure(what, floor);
        }
        floorWall.push_back(f.wallSeconds);
        floorCpu.push_back(f.cpuSeconds);
        routineWall.push_back(r.wallSeconds);
        routineCpu.push_back(r.cpuSeconds);
        ratios.push_back(r.wallSeconds / f.wallSeconds);
    }
    return {{bench::Median(floorWall), bench::Median(floorCpu)},
            {bench::Median(routineWall), bench::Median(routineCpu)},
            bench::Median(ratios)};
}

QByteArray Bytes(const std::vector<std::uint8_t> &bytes) {
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

bool SameDigest(const QByteArray &left, const QByteArray &right) {
    return QCryptographicHash::hash(left, QCryptographicHash::Md5) ==
           QCryptographicHash::hash(right, QCryptographicHash::Md5);
}

// Keeps this thread, and so the simulator's thread started while it lasts,
// on one processor. A hand-over between the host and the simulator is then a
// plain context switch; on a virtual machine, waking a thread on another,
// idle processor goes through the hypervisor and costs both sides tens of
// microseconds, floor and routine alike, which would drown what is measured.
// The link's pace is far coarser than that, so the paced read runs free.
class OneProcessor {
public:
    OneProcessor() {
        if (sched_getaffinity(0, sizeof allowed_, &allowed_) != 0) return;
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
            if (!CPU_ISSET(cpu, &allowed_)) continue;
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(cpu, &one);
            kept_ = sched_setaffinity(0, sizeof one, &one) == 0;
            return;
        }
    }
    ~OneProcessor() {
        if (kept_) sched_setaffinity(0, sizeof allowed_, &allowed_);
    }
    OneProcessor(const OneProcessor &) = delete;
    OneProcessor &operator=(const OneProcessor &) = delete;

    bool Kept() const { return kept_; }

private:
    cpu_set_t allowed_{};
    bool kept_ = false;
};

bool Start(sim::Simulator &simulator) {
    std::string error;
    if (simulator.Start(&error)) return true;
    std::fprintf(stderr, "transfer_bench: the simulator did not start: %s\n", error.c_str());
    return false;
}

// The chip routines and the floor client against one simulator.
class Transfers {
public:
    Transfers(sim::Simulator &simulator, const std::vector<std::uint8_t> &image)
        : simulator_(simulator), image_(Bytes(image)), chipBytes_(image_.size(), '\0') {
        state_.CapacityKB = static_cast<std::int32_t>(image_.size() / 1024);
        state_.ChipSelected = 1;
        state_.DeviceCount = 1;
        state_.LargeTransfer = 0;  // the unit every start-up chooses
        state_.FirstBlock = 1;
    }

    int Units() const { return static_cast<int>(image_.size() / TransferUnit(state_)); }

    bool FloorRead() { return FloorReadChip() && chipBytes_ == image_; }

    // As the read menu item does, into a stream of its own.
    bool RoutineRead() {
        QBuffer chip;
        chip.open(QIODevice::ReadWrite);
        return ReadChip(host_, state_, chip) && chip.buffer() == image_;
    }

    bool FloorWrite() {
        bench::FloorClient client;
        const std::span image(reinterpret_cast<const std::uint8_t *>(image_.constData()),
                              static_cast<std::size_t>(image_.size()));
        return client.Connect(simulator_.MemberPath()) &&
               client.Write(image, static_cast<std::size_t>(TransferUnit(state_)));
    }

    bool RoutineWrite() {
        QBuffer stream(&image_);
        stream.open(QIODevice::ReadOnly);
        return WriteChip(host_, state_, stream);
    }

    bool FloorVerify() { return FloorReadChip() && SameDigest(chipBytes_, image_); }

    // As the verify menu item does: read into a stream, digest it and the buffer's stream.
    bool RoutineVerify() {
        QBuffer chip;
        chip.open(QIODevice::ReadWrite);
        QBuffer buffer(&image_);
        buffer.open(QIODevice::ReadOnly);
        return ReadChip(host_, state_, chip) && StreamDigestHex(chip) == StreamDigestHex(buffer);
    }

private:
    bool FloorReadChip() {
        bench::FloorClient client;
        const std::span destination(reinterpret_cast<std::uint8_t *>(chipBytes_.data()),
                                    static_cast<std::size_t>(chipBytes_.size()));
        return client.Connect(simulator_.MemberPath()) &&
               client.Read(destination, static_cast<std::size_t>(TransferUnit(state_)));
    }

    sim::Simulator &simulator_;
    QByteArray image_;
    QByteArray chipBytes_;
    QuietHost host_;
    RunState state_;
};

}  // namespace

int main(int argc, char **argv) {
    const std::string results = argc > 1 ? argv[1] : ".";
    bench::IsolatedRegistry registry;
    const sim::ChipModel &chip = *sim::FindChipModel("MX25L12845");
    const std::vector<std::uint8_t> image = bench::Pattern(chip.capacity);

    bench::BenchTable transfers({"16 MiB chip, zero latency", "units", "floor ms", "routine ms", "routine/floor",
                                 "target", "floor CPU us/unit", "routine CPU us/unit", "target", "met"});
    {
        const OneProcessor oneProcessor;
        if (!oneProcessor.Kept()) {
            std::fprintf(stderr, "transfer_bench: cannot keep to one processor\n");
            return 1;
        }
        sim::Simulator simulator(chip);
        if (!Start(simulator)) return 1;
        simulator.firmware().SetImage(image);
        Transfers run(simulator, image);
        const auto row = [&](const char *operation, const Comparison &c) {
            const double floorCpuUs = c.floor.cpuSeconds * 1e6 / run.Units();
            const double routineCpuUs = c.routine.cpuSeconds * 1e6 / run.Units();
            const bool met = c.ratio <= kRatioTarget && routineCpuUs < kCpuPerUnitTargetUs;
            transfers.AddRow({operation, std::to_string(run.Units()), Fixed(c.floor.wallSeconds * 1e3, 1),
                              Fixed(c.routine.wallSeconds * 1e3, 1), Fixed(c.ratio, 3), "<= " + Fixed(kRatioTarget, 2),
                              Fixed(floorCpuUs, 2), Fixed(routineCpuUs, 2), "< " + Fixed(kCpuPerUnitTargetUs, 0),
                              YesNo(met)},
                             met);
        };
        row("read (ReadChip)", Compare("read", [&] { return run.FloorRead(); }, [&] { return run.RoutineRead(); }));
        row("write (WriteChip)",
            Compare("write", [&] { return run.FloorWrite(); }, [&] { return run.RoutineWrite(); }));
        row("verify (ReadChip + digests)",
            Compare("verify", [&] { return run.FloorVerify(); }, [&] { return run.RoutineVerify(); }));
    }
    if (!transfers.Report(results + "/transfer.csv")) return 1;
    std::printf("\n");

    bench::BenchTable link({"16 MiB read, 1 ms per reply", "units", "units x latency ms", "floor ms", "floor/ideal",
                            "routine ms", "routine/ideal", "target", "met"});
    {
        sim::ServerOptions paced;
        paced.latency = kFullSpeedLatency;
        sim::Simulator simulator(chip, paced);
        if (!Start(simulator)) return 1;
        simulator.firmware().SetImage(image);
        Transfers run(simulator, image);
        const double idealSeconds = run.Units() * std::chrono::duration<double>(kFullSpeedLatency).count();
        const Sample floor = Measure("paced read", [&] { return run.FloorRead(); });
        const Sample routine = Measure("paced read", [&] { return run.RoutineRead(); });
        const double ratio = routine.wallSeconds / idealSeconds;
        const bool met = ratio <= kPacedTarget;
        link.AddRow({"read (ReadChip)", std::to_string(run.Units()), Fixed(idealSeconds * 1e3, 0),
                     Fixed(floor.wallSeconds * 1e3, 0), Fixed(floor.wallSeconds / idealSeconds, 4),
                     Fixed(routine.wallSeconds * 1e3, 0), Fixed(ratio, 4), "<= " + Fixed(kPacedTarget, 2), YesNo(met)},
                    met);
    }
    if (!link.Report(results + "/link.csv")) return 1;
    return transfers.AllMet() && link.AllMet() ? 0 : 1;
}
