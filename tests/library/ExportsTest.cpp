// The shipped library through its exports, against simulated programmers
// served in this process under the device-registry contract.
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CaseName.h"
#include "DeviceRegistry.h"
#include "Simulator.h"
#include "Vantu.h"

extern char **environ;

namespace {

namespace registry = vantu::registry;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim::Message;
using Clock = std::chrono::steady_clock;

const Message kIdentify = {0x20, 0xFF, 0xFF, 0xFF};
const Message kIdentifyReply = {0x20, 0xC2, 0x17, 0x00};

// A call on a vanished or silent server must come back; the library's own
// bound is 10 s.
constexpr auto kReturnLimit = 11s;

const sim::ChipModel &Chip() { return *sim::FindChipModel("MX25L12845"); }

sim::ServerOptions Instance(const std::string &instance) {
    sim::ServerOptions options;
    options.instance = instance;
    return options;
}

std::string MemberPath(const std::string &instance) {
    const sim::ServerOptions defaults;
    return registry::MemberPath(defaults.vendorId, defaults.productId, instance);
}

// One frame written and its reply read, as the program exchanges them.
std::optional<Message> Exchange(const Message &frame) {
    std::uint32_t written = 0;
    if (Vantu_DeviceWrite(frame.data(), static_cast<std::uint32_t>(frame.size()), &written, 1000) != 1) {
        return std::nullopt;
    }
    Message reply(64);
    std::uint32_t got = 0;
    if (Vantu_DeviceRead(reply.data(), static_cast<std::uint32_t>(reply.size()), &got, 1000) != 1) {
        return std::nullopt;
    }
    reply.resize(got);
    return reply;
}

struct Text {
    std::int32_t status;
    std::string text;
};

// The buffer starts out marked so that a call which must leave it alone shows.
Text ProductString(std::int32_t index, std::int32_t option) {
    char buffer[256];
    std::memset(buffer, '#', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    const std::int32_t status = Vantu_GetProductString(index, buffer, option);
    return {status, buffer};
}
const std::string kUntouched(255, '#');

struct Count {
    std::int32_t status;
    std::int32_t count;
};

Count NumDevices() {
    std::int32_t count = -42;
    const std::int32_t status = Vantu_GetNumDevices(&count);
    return {status, count};
}

std::size_t OpenDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

// Library state lasts as long as the process. A test that needs the library
// as just loaded calls this first. In the test process it runs the same test
// in a new process of this program, checks that it passed there and returns
// false; in that new process it returns true and the test goes on.
bool InFreshProcess() {
    static constexpr const char *kMarker = "VANTU_EXPORT_TESTS_FRESH_PROCESS";
    if (std::getenv(kMarker) != nullptr) return true;
    const ::testing::TestInfo *test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::string program = "vantu_export_tests";
    char *arguments[] = {program.data(), filter.data(), nullptr};
    std::vector<std::string> variables;
    for (char **variable = environ; *variable != nullptr; ++variable) variables.emplace_back(*variable);
    variables.push_back(std::string(kMarker) + "=1");
    std::vector<char *> environment;
    for (std::string &variable : variables) environment.push_back(variable.data());
    environment.push_back(nullptr);

    pid_t child = -1;
    const int spawned = posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, arguments, environment.data());
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    if (spawned != 0) return false;
    int status = 0;
    while (waitpid(child, &status, 0) == -1 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the test failed in its fresh process";
    return false;
}

// A member folder laid out by hand, the way another server (or a crashed
// one) leaves it.
class HandMadeMember {
public:
    explicit HandMadeMember(const std::string &instance) : path_(MemberPath(instance)) {
        fs::create_directories(path_);
        folder_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    ~HandMadeMember() {
        for (int fd : {lock_, folder_, pipes_[0], pipes_[1]}) {
            if (fd >= 0) close(fd);
        }
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    HandMadeMember(const HandMadeMember &) = delete;
    HandMadeMember &operator=(const HandMadeMember &) = delete;

    // `held`: served (locked exclusively by this process); else left behind.
    void AddLock(bool held) {
        lock_ = openat(folder_, registry::kLockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (held) {
            ASSERT_EQ(flock(lock_, LOCK_EX | LOCK_NB), 0);
        }
    }

    void AddProperty(const char *file, const std::string &content) {
        std::ofstream(path_ + "/" + file) << content;
    }

    // A listening pipe that nobody serves: connecting to it still succeeds.
    void AddPipe(const char *name) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder_, name);
        int &fd = pipes_[pipes_[0] < 0 ? 0 : 1];
        fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0) << std::strerror(errno);
        ASSERT_EQ(listen(fd, 4), 0);
    }

private:
    std::string path_;
    int folder_ = -1;
    int lock_ = -1;
    int pipes_[2] = {-1, -1};
};

class Exports : public ::testing::Test {
protected:
    // Starts a simulated programmer that records what reaches it.
    sim::Simulator &Attach(const sim::ServerOptions &options = Instance("kestro-sim-0")) {
        simulators_.push_back(std::make_unique<sim::Simulator>(Chip(), options));
        std::string error;
        EXPECT_TRUE(simulators_.back()->Start(&error)) << error;
        simulators_.back()->firmware().SetRecording(true);
        return *simulators_.back();
    }

    // What reached the firmware, once an exchange shows everything written before it arrived.
    static std::vector<Message> ReceivedBefore(sim::Simulator &simulator, const Message &frame) {
        EXPECT_EQ(Exchange(frame), kIdentifyReply);
        std::vector<Message> received = simulator.firmware().Received();
        EXPECT_FALSE(received.empty());
        if (!received.empty()) received.pop_back();
        return received;
    }

private:
    std::vector<std::unique_ptr<sim::Simulator>> simulators_;
};

TEST_F(Exports, NothingAttachedCountsNoneAndOpensNothing) {
    const std::function<void()> registries[] = {
        [] { fs::remove_all(registry::RootFolder()); },
        [] { fs::create_directories(registry::ClassFolder()); },
    };
    for (const auto &makeRegistry : registries) {
        makeRegistry();
        const Count none = NumDevices();
        EXPECT_EQ(none.status, VANTU_NOT_FOUND);
        EXPECT_EQ(none.count, 0);
        for (std::int32_t index : {-1, 0, 1}) {
            for (std::int32_t option : {VANTU_TEXT_INSTANCE_ID, VANTU_TEXT_DISPLAY_NAME}) {
                const Text text = ProductString(index, option);
                EXPECT_EQ(text.status, VANTU_NOT_FOUND) << index << "/" << option;
                EXPECT_EQ(text.text, kUntouched);
            }
        }
        EXPECT_EQ(Vantu_OpenDevice(0), VANTU_NO_DEVICE);
    }
}

TEST_F(Exports, OneProgrammerIsCountedAndDescribed) {
    const sim::Simulator &simulator = Attach();
    const Count one = NumDevices();
    EXPECT_EQ(one.status, VANTU_OK);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(ProductString(0, VANTU_TEXT_INSTANCE_ID).text, "kestro-sim-0");
    EXPECT_EQ(ProductString(0, VANTU_TEXT_DISPLAY_NAME).text, sim::ServerOptions{}.friendlyName);
    for (const auto &[index, option] : {std::pair{0, 2}, std::pair{1, 0}, std::pair{1, 1}}) {
        const Text text = ProductString(index, option);
        EXPECT_EQ(text.status, VANTU_NOT_FOUND) << index << "/" << option;
        EXPECT_EQ(text.text, kUntouched);
    }
    EXPECT_EQ(Vantu_OpenDevice(0), VANTU_OK) << simulator.MemberPath();
}

TEST_F(Exports, DisplayNameFallsBackToTheDescriptionThenToThePath) {
    const struct {
        const char *friendlyName;
        const char *deviceDesc;
        const char *expected;  // nullptr: the device path
    } cases[] = {
        {"Bench programmer", "Kestro USB Programmer", "Bench programmer"},
        {"", "Kestro USB Programmer", "Kestro USB Programmer"},
        {"", "", nullptr},
    };
    for (const auto &c : cases) {
        sim::ServerOptions options = Instance("named");
        options.friendlyName = c.friendlyName;
        options.deviceDesc = c.deviceDesc;
        sim::Simulator simulator(Chip(), options);
        ASSERT_TRUE(simulator.Start());
        const Text text = ProductString(0, VANTU_TEXT_DISPLAY_NAME);
        EXPECT_EQ(text.status, VANTU_OK);
        EXPECT_EQ(text.text, c.expected != nullptr ? c.expected : simulator.MemberPath());
    }
}

TEST_F(Exports, PropertyFilesGiveTheirFirstLineOfAtMost255Bytes) {
    const struct {
        std::string content;
        std::string expected;  // empty: no such property, so the description shows
    } cases[] = {
        {"Bench programmer\nsecond line\n", "Bench programmer"},
        {"Windows line\r\n", "Windows line"},
        {"No line end", "No line end"},
        {std::string(300, 'n'), std::string(255, 'n')},
        {"\nsecond line only", ""},
        {"", ""},
    };
    for (const auto &c : cases) {
        HandMadeMember member("by-hand");
        member.AddLock(true);
        member.AddProperty(registry::kFriendlyNameFile, c.content);
        member.AddProperty(registry::kDeviceDescFile, "Description");
        EXPECT_EQ(ProductString(0, VANTU_TEXT_DISPLAY_NAME).text, c.expected.empty() ? "Description" : c.expected)
            << '"' << c.content << '"';
    }
}

TEST_F(Exports, MembersAreOrderedByTheBytesOfTheirNames) {
    // Byte order puts upper case before lower case and UTF-8 after ASCII.
    sim::Simulator &last = Attach(Instance("unit-\xC3\xA9"));
    Attach(Instance("unit-a"));
    Attach(Instance("unit-B"));
    const Count three = NumDevices();
    ASSERT_EQ(three.count, 3);
    EXPECT_EQ(ProductString(0, VANTU_TEXT_INSTANCE_ID).text, "unit-B");
    EXPECT_EQ(ProductString(1, VANTU_TEXT_INSTANCE_ID).text, "unit-a");
    EXPECT_EQ(ProductString(2, VANTU_TEXT_INSTANCE_ID).text, "unit-\xC3\xA9");

    ASSERT_EQ(Vantu_OpenDevice(three.count - 1), VANTU_OK);
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply);
    EXPECT_EQ(last.firmware().Received(), std::vector<Message>{kIdentify});
}

TEST_F(Exports, FoldersThatNobodyServesAreNoMembers) {
    Attach(Instance("alive"));
    // Named to sort after the live member, where counting them would show.
    HandMadeMember crashed("zz-crashed");
    crashed.AddLock(false);
    crashed.AddProperty(registry::kFriendlyNameFile, "crashed\n");
    crashed.AddPipe(registry::kWritePipe);
    crashed.AddPipe(registry::kReadPipe);
    HandMadeMember lockless("zz-lockless");
    std::ofstream(MemberPath("zz-plain-file")) << "not a folder";

    const Count one = NumDevices();
    EXPECT_EQ(one.status, VANTU_OK);
    EXPECT_EQ(one.count, 1);
    EXPECT_EQ(ProductString(0, VANTU_TEXT_INSTANCE_ID).text, "alive");
    EXPECT_EQ(ProductString(1, VANTU_TEXT_INSTANCE_ID).status, VANTU_NOT_FOUND);
    EXPECT_EQ(Vantu_OpenDevice(1), VANTU_NO_DEVICE);
    fs::remove(MemberPath("zz-plain-file"));
}

TEST_F(Exports, AMissingPipeFailsTheOpenWithItsOwnStatus) {
    const struct {
        std::vector<const char *> pipes;
        std::int32_t status;
    } cases[] = {
        {{}, VANTU_NO_WRITE_PIPE},
        {{registry::kWritePipe}, VANTU_NO_READ_PIPE},
        {{registry::kReadPipe}, VANTU_NO_WRITE_PIPE},
        {{registry::kWritePipe, registry::kReadPipe}, VANTU_OK},
    };
    for (const auto &c : cases) {
        HandMadeMember member("half-built");
        member.AddLock(true);
        for (const char *pipe : c.pipes) member.AddPipe(pipe);
        EXPECT_EQ(Vantu_OpenDevice(0), c.status) << c.pipes.size() << " pipes";
    }
}

TEST_F(Exports, OpeningAgainMovesTransfersToTheNewPipes) {
    Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply);
    // The server answers only on the newest pipes: old ones would fail here.
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply);

    EXPECT_EQ(Vantu_CloseDevice(), VANTU_OK);
    EXPECT_EQ(Vantu_CloseDevice(), VANTU_CLOSE_NOT_OPEN);
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply) << "closing the device closed its pipes";
    EXPECT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply);
}

TEST_F(Exports, RepeatedOpensDoNotAccumulateDescriptors) {
    Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    // Each exchange also lets the server settle on the newest connections.
    ASSERT_EQ(Exchange(kIdentify), kIdentifyReply);
    const std::size_t before = OpenDescriptors();
    for (int i = 0; i < 100; ++i) ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK) << "open " << i;
    ASSERT_EQ(Exchange(kIdentify), kIdentifyReply);
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(Exports, IdentifyExchange) {
    Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    std::uint32_t written = 0;
    ASSERT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, &written, 1000), 1);
    EXPECT_EQ(written, 4u);
    Message reply(4, 0);
    std::uint32_t got = 0;
    ASSERT_EQ(Vantu_DeviceRead(reply.data(), 4, &got, 1000), 1);
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(reply, kIdentifyReply);
}

TEST_F(Exports, WritesOutsideTheLengthLimitsSendNothing) {
    sim::Simulator &simulator = Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    const Message block(VANTU_MAX_TRANSFER + 1, 0xCC);
    const struct {
        std::uint32_t length;
        std::int32_t result;
    } cases[] = {{0, 0}, {VANTU_MAX_TRANSFER, 1}, {VANTU_MAX_TRANSFER + 1, 0}};
    for (const auto &c : cases) {
        for (std::int32_t unused : {0, 1000}) {
            simulator.firmware().ClearReceived();
            std::uint32_t written = 12345;
            EXPECT_EQ(Vantu_DeviceWrite(block.data(), c.length, &written, unused), c.result) << c.length;
            const std::vector<Message> expected =
                c.result == 1 ? std::vector<Message>{Message(c.length, 0xCC)} : std::vector<Message>{};
            EXPECT_EQ(ReceivedBefore(simulator, kIdentify), expected) << c.length;
            if (c.result == 1) {
                EXPECT_EQ(written, c.length);
            }
        }
    }
}

TEST_F(Exports, ReadsOutsideTheLengthLimitsLeaveTheReplyWaiting) {
    Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    std::uint32_t written = 0;
    ASSERT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, &written, 1000), 1);
    Message reply(VANTU_MAX_TRANSFER + 1, 0);
    std::uint32_t got = 0;
    EXPECT_EQ(Vantu_DeviceRead(reply.data(), 0, &got, 1000), 0);
    EXPECT_EQ(Vantu_DeviceRead(reply.data(), VANTU_MAX_TRANSFER + 1, &got, 1000), 0);
    ASSERT_EQ(Vantu_DeviceRead(reply.data(), VANTU_MAX_TRANSFER, &got, 1000), 1);
    reply.resize(got);
    EXPECT_EQ(reply, kIdentifyReply);
}

TEST_F(Exports, AReplyLongerThanTheReadFailsItAndIsConsumed) {
    Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    std::uint32_t written = 0;
    ASSERT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, &written, 1000), 1);
    Message small(3, 0);
    std::uint32_t got = 0;
    EXPECT_EQ(Vantu_DeviceRead(small.data(), 3, &got, 1000), 0);
    // Nothing of the failed reply is left to be read with the next one.
    EXPECT_EQ(Exchange(kIdentify), kIdentifyReply);
}

TEST_F(Exports, BadPointersSendNothing) {
    sim::Simulator &simulator = Attach();
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    std::uint32_t written = 0;
    EXPECT_EQ(Vantu_DeviceWrite(nullptr, 4, &written, 1000), 0);
    EXPECT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, nullptr, 1000), 0);
    EXPECT_EQ(ReceivedBefore(simulator, kIdentify), std::vector<Message>{});
    EXPECT_EQ(Vantu_GetNumDevices(nullptr), VANTU_BAD_POINTER);
    EXPECT_EQ(Vantu_GetProductString(0, nullptr, VANTU_TEXT_INSTANCE_ID), VANTU_BAD_POINTER);
}

TEST_F(Exports, TransfersBeforeAnyOpenFail) {
    if (!InFreshProcess()) return;
    sim::Simulator &simulator = Attach();
    std::uint32_t moved = 0;
    Message buffer(4, 0);
    EXPECT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, &moved, 1000), 0);
    EXPECT_EQ(Vantu_DeviceRead(buffer.data(), 4, &moved, 1000), 0);
    EXPECT_EQ(Vantu_Read(VANTU_INVALID_HANDLE, buffer.data(), 4, &moved), VANTU_HANDLE_NOT_OPEN);
    EXPECT_EQ(Vantu_CloseDevice(), VANTU_CLOSE_NOT_OPEN);
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    EXPECT_EQ(ReceivedBefore(simulator, kIdentify), std::vector<Message>{});
}

// The server goes away while the host waits for a reply.
struct Vanishing {
    const char *name;
    sim::Faults faults;
    Message frame;
    bool stopFromOutside;  // else the firmware drops the device itself
};

void PrintTo(const Vanishing &vanishing, std::ostream *out) { *out << vanishing.name; }

sim::Faults NoReplyTo(std::uint8_t code) {
    sim::Faults faults;
    faults.noReplyTo = code;
    return faults;
}

sim::Faults DropAtUnit(std::uint32_t unit) {
    sim::Faults faults;
    faults.dropAtUnit = unit;
    return faults;
}

class VanishingServer : public Exports, public ::testing::WithParamInterface<Vanishing> {};

TEST_P(VanishingServer, FailsThePendingAndLaterTransfersPromptly) {
    sim::Simulator &simulator = Attach();
    simulator.firmware().SetFaults(GetParam().faults);
    ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    std::uint32_t moved = 0;
    ASSERT_EQ(Vantu_DeviceWrite(GetParam().frame.data(), 4, &moved, 1000), 1);
    std::thread stopper;
    if (GetParam().stopFromOutside) {
        stopper = std::thread([&simulator] {
            std::this_thread::sleep_for(100ms);
            simulator.Stop();
        });
    }
    Message buffer(64, 0);
    const auto waitStart = Clock::now();
    EXPECT_EQ(Vantu_DeviceRead(buffer.data(), 64, &moved, 1000), 0);
    EXPECT_LT(Clock::now() - waitStart, kReturnLimit);
    if (stopper.joinable()) stopper.join();

    const auto laterStart = Clock::now();
    EXPECT_EQ(Vantu_DeviceWrite(kIdentify.data(), 4, &moved, 1000), 0);
    EXPECT_EQ(Vantu_DeviceRead(buffer.data(), 64, &moved, 1000), 0);
    EXPECT_LT(Clock::now() - laterStart, kReturnLimit);
    EXPECT_EQ(NumDevices().count, 0);
    EXPECT_EQ(Vantu_OpenDevice(0), VANTU_NO_DEVICE);
}

INSTANTIATE_TEST_SUITE_P(Exports, VanishingServer,
                         ::testing::Values(Vanishing{"StoppedWhileTheHostWaits", NoReplyTo(0x20), kIdentify, true},
                                           Vanishing{"DroppedByTheFirmware", DropAtUnit(1), {0x13, 0x01, 0x00, 0x01},
                                                     false}),
                         CaseName());

// Vantu_Write and Vantu_Read on pipes of the test's own, to drive the edges a
// well-behaved server never shows.
class ExportsOnRawPipes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends_), 0); }
    void TearDown() override {
        for (int &fd : ends_) {
            if (fd >= 0) close(fd);
        }
    }
    VantuHandle host() const { return ends_[0]; }
    int device() const { return ends_[1]; }
    void CloseDevice() {
        close(ends_[1]);
        ends_[1] = -1;
    }

private:
    int ends_[2] = {-1, -1};
};

TEST_F(ExportsOnRawPipes, OneReadTakesOneMessage) {
    ASSERT_EQ(send(device(), "abc", 3, 0), 3);
    ASSERT_EQ(send(device(), "defgh", 5, 0), 5);
    char buffer[16] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &got), VANTU_OK);
    EXPECT_EQ(std::string(buffer, got), "abc");
    ASSERT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &got), VANTU_OK);
    EXPECT_EQ(std::string(buffer, got), "defgh");
}

TEST_F(ExportsOnRawPipes, AMessageLongerThanTheReadFailsItAndIsConsumed) {
    ASSERT_EQ(send(device(), "too long", 8, 0), 8);
    ASSERT_EQ(send(device(), "ok", 2, 0), 2);
    char buffer[4] = {};
    std::uint32_t got = 99;
    EXPECT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &got), VANTU_READ_FAILED);
    EXPECT_EQ(got, 0u);
    ASSERT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &got), VANTU_OK);
    EXPECT_EQ(std::string(buffer, got), "ok");
}

TEST_F(ExportsOnRawPipes, AClosedDeviceFailsTransfersWithoutASignal) {
    CloseDevice();
    char buffer[4] = {};
    std::uint32_t moved = 0;
    EXPECT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &moved), VANTU_READ_FAILED);
    // SIGPIPE would end this process here.
    EXPECT_EQ(Vantu_Write(host(), buffer, sizeof buffer, &moved), VANTU_WRITE_FAILED);
}

TEST_F(ExportsOnRawPipes, ASilentDeviceFailsTheReadInTheEnd) {
    char buffer[4] = {};
    std::uint32_t got = 0;
    const auto start = Clock::now();
    EXPECT_EQ(Vantu_Read(host(), buffer, sizeof buffer, &got), VANTU_READ_FAILED);
    EXPECT_LT(Clock::now() - start, kReturnLimit);
}

TEST_F(ExportsOnRawPipes, ADeviceThatStopsReadingFailsAWriteInTheEnd) {
    const Message block(VANTU_MAX_TRANSFER, 0xCC);
    std::uint32_t written = 0;
    std::int32_t status = VANTU_OK;
    const auto start = Clock::now();
    for (int i = 0; i < 10'000 && status == VANTU_OK; ++i) {
        status = Vantu_Write(host(), block.data(), VANTU_MAX_TRANSFER, &written);
    }
    EXPECT_EQ(status, VANTU_WRITE_FAILED);
    EXPECT_LT(Clock::now() - start, kReturnLimit);
}

TEST_F(ExportsOnRawPipes, AFolderHandleCarriesNoTransfers) {
    // What the library holds as the device handle.
    const int fd = open(fs::temp_directory_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    char buffer[4] = {};
    std::uint32_t moved = 0;
    EXPECT_EQ(Vantu_Read(fd, buffer, sizeof buffer, &moved), VANTU_READ_FAILED);
    EXPECT_EQ(Vantu_Write(fd, buffer, sizeof buffer, &moved), VANTU_WRITE_FAILED);
    close(fd);
}

}  // namespace
