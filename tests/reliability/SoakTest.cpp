// Long use of the window: many connect, identify, read and disconnect cycles,
// and many openings of each secondary window, leave no descriptors behind
// and let memory settle.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

#include "CaseName.h"
#include "MainWindowFixture.h"

// AddressSanitizer holds freed memory back (256 MiB by default) before it
// reuses it, which would show as resident growth; a small hold lets resident
// memory follow live memory. Without the sanitizer nothing calls this.
extern "C" __attribute__((visibility("default"))) const char *__asan_default_options() {
    return "quarantine_size_mb=16";
}

namespace {

// Descriptors Qt may still open on first use of something; a leak of one per
// cycle shows far above this.
constexpr int kDescriptorSlack = 4;
// Generous: allocators keep freed memory for reuse.
constexpr long kResidentSlackKiB = 64 * 1024;

constexpr int kWarmUp = 10;

struct Usage {
    int descriptors = 0;
    long residentKiB = 0;
};

Usage Measure() {
    Usage usage;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++usage.descriptors;
    }
    long size = 0;
    long pages = 0;
    if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &size, &pages) != 2) pages = 0;
        std::fclose(statm);
    }
    usage.residentKiB = pages * (sysconf(_SC_PAGESIZE) / 1024);
    return usage;
}

// Runs `step` a few times to warm up, then `times` times, and expects
// neither descriptors nor resident memory to have grown beyond the slack.
void ExpectNoGrowth(int times, const std::function<void()> &step) {
    for (int i = 0; i < kWarmUp; ++i) step();
    const Usage before = Measure();
    for (int i = 0; i < times; ++i) step();
    const Usage after = Measure();
    EXPECT_LE(after.descriptors, before.descriptors + kDescriptorSlack)
        << "descriptors " << before.descriptors << " -> " << after.descriptors;
    EXPECT_LE(after.residentKiB, before.residentKiB + kResidentSlackKiB)
        << "resident KiB " << before.residentKiB << " -> " << after.residentKiB;
}

class Soak : public MainWindowTest {};

TEST_F(Soak, ConnectIdentifyReadDisconnectCyclesLeaveNothingBehind) {
    sim::Simulator &simulator = StartProgrammer();
    Window();
    Pick("miConnect");
    state_.CapacityKB = 1;
    state_.ChipSelected = 1;
    const QByteArray chip = Bytes(simulator.firmware().Image(), 1024);

    ExpectNoGrowth(200, [&] {
        Pick("miConnect");
        Pick("miGetID");
        Pick("miReadData");
        Pick("miConnect");
    });
    // Every cycle did all of its work.
    const QStringList log = Log();
    EXPECT_EQ(log.count(QStringLiteral("设备连接成功...")), 1 + kWarmUp + 200);
    EXPECT_EQ(log.count(QStringLiteral("芯片ID是:17C2")), kWarmUp + 200);
    EXPECT_EQ(log.count(QStringLiteral("读取数据已完成...")), kWarmUp + 200);
    EXPECT_EQ(log.last(), QStringLiteral("与设备断开连接..."));
    EXPECT_EQ(Buffer().Bytes(), chip);
}

// A secondary window of the main window, opened by its menu item. Another
// window is one more row.
struct SecondaryWindow {
    const char *name;
    const char *item;
    // What the operator does in it before closing it; may be empty.
    std::function<void(QDialog &)> use;
};

void PrintTo(const SecondaryWindow &c, std::ostream *out) { *out << c.name; }

class SecondaryWindowSoak : public MainWindowTest, public ::testing::WithParamInterface<SecondaryWindow> {};

TEST_P(SecondaryWindowSoak, ReopeningLeavesNothingBehind) {
    // The chip table's file is made where the program runs.
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    StartProgrammer();
    Window();
    int shown = 0;
    modals_.answer = [&shown](QDialog &dialog) {
        dialog.show();
        QCoreApplication::processEvents();
        shown += dialog.isVisible() ? 1 : 0;
        if (GetParam().use) GetParam().use(dialog);
        dialog.reject();
        return int(QDialog::Rejected);
    };

    ExpectNoGrowth(50, [&] { Pick(GetParam().item); });
    QDir::setCurrent(previous);
    EXPECT_EQ(shown, kWarmUp + 50);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, SecondaryWindowSoak,
    ::testing::Values(SecondaryWindow{"SelfTestPanel", "N7",
                                      [](QDialog &panel) {
                                          // Each click sends the panel's state to the programmer.
                                          panel.findChild<QCheckBox *>(QStringLiteral("cbZIF01"))->click();
                                      }},
                      SecondaryWindow{"CapacityDialog", "N8",
                                      [](QDialog &dialog) {
                                          // Sends the speed and reads its reply.
                                          dialog.findChild<QPushButton *>(QStringLiteral("btnSetSpeed"))->click();
                                      }},
                      SecondaryWindow{"PinDiagram", "MX25L1", {}}, SecondaryWindow{"About", "N19", {}},
                      // Each opening connects to icdata.db and closes it again.
                      SecondaryWindow{"ChipTable", "N17", {}}),
    CaseName());

}  // namespace
