// The device server at wire level, with raw socket clients that follow the
// device-registry contract the way any host tool would.
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeviceRegistry.h"
#include "DeviceServer.h"
#include "Simulator.h"

namespace sim {
namespace {

namespace registry = vantu::registry;
using namespace std::chrono_literals;

const Message kIdentify = {0x20, 0xFF, 0xFF, 0xFF};
const Message kIdentifyReply = {0x20, 0xC2, 0x17, 0x00};

const ChipModel &Chip() { return *FindChipModel("MX25L12845"); }

ServerOptions Instance(const std::string &instance) {
    ServerOptions options;
    options.instance = instance;
    return options;
}

bool Exists(const std::string &path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

bool IsSocket(const std::string &path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

std::string FileText(const std::string &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// What a host sees: LOCK held exclusively by someone else.
bool IsPresent(const std::string &memberPath) {
    const int fd = open((memberPath + "/" + registry::kLockFile).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool granted = flock(fd, LOCK_SH | LOCK_NB) == 0;
    const bool held = !granted && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

// One host end of a pipe.
class RawPipe {
public:
    RawPipe(const std::string &memberPath, const char *name) {
        const int folder = open(memberPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) return;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", folder, name);
        fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        if (connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
        close(folder);
    }
    ~RawPipe() {
        if (fd_ >= 0) close(fd_);
    }
    RawPipe(const RawPipe &) = delete;
    RawPipe &operator=(const RawPipe &) = delete;

    bool connected() const { return fd_ >= 0; }

    bool Send(const Message &message) {
        return send(fd_, message.data(), message.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(message.size());
    }

    // The next message; an empty one when the server has closed the pipe
    // (servers send no empty messages); nullopt when none came in `wait`.
    std::optional<Message> Receive(std::chrono::milliseconds wait = 10s) {
        pollfd entry{fd_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(wait.count())) <= 0) return std::nullopt;
        Message message(128 * 1024);
        const ssize_t got = recv(fd_, message.data(), message.size(), MSG_DONTWAIT);
        message.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return message;
    }

private:
    int fd_ = -1;
};

// PIPE01 then PIPE00, in the order the library opens them.
struct HostConnection {
    explicit HostConnection(const std::string &memberPath)
        : write(memberPath, registry::kWritePipe), read(memberPath, registry::kReadPipe) {}
    std::optional<Message> Exchange(const Message &frame) {
        if (!write.Send(frame)) return std::nullopt;
        return read.Receive();
    }
    RawPipe write;
    RawPipe read;
};

TEST(DeviceServerRegistration, LaysOutAPresentMemberFolder) {
    Firmware firmware(Chip());
    ServerOptions options = Instance("layout");
    std::string memberPath;
    {
        DeviceServer server(firmware, options);
        std::string error;
        ASSERT_TRUE(server.Register(&error)) << error;
        memberPath = server.MemberPath();
        EXPECT_EQ(memberPath, registry::ClassFolder() + "/usb#vid_1209&pid_4b51#layout#" + registry::kClassFolderName);
        EXPECT_TRUE(IsPresent(memberPath));
        EXPECT_TRUE(IsSocket(memberPath + "/PIPE01"));
        EXPECT_TRUE(IsSocket(memberPath + "/PIPE00"));
        EXPECT_EQ(FileText(memberPath + "/FriendlyName"), options.friendlyName + "\n");
        EXPECT_EQ(FileText(memberPath + "/DeviceDesc"), options.deviceDesc + "\n");
        struct stat classFolder {};
        ASSERT_EQ(stat(registry::ClassFolder().c_str(), &classFolder), 0);
        EXPECT_EQ(classFolder.st_mode & 0777, 0700u);
    }
    EXPECT_FALSE(Exists(memberPath)) << "the member outlived its server";
}

TEST(DeviceServerRegistration, AnEmptyPropertyHasNoFile) {
    Firmware firmware(Chip());
    ServerOptions options = Instance("nameless");
    options.friendlyName.clear();
    DeviceServer server(firmware, options);
    ASSERT_TRUE(server.Register(nullptr));
    EXPECT_FALSE(Exists(server.MemberPath() + "/FriendlyName"));
    EXPECT_TRUE(Exists(server.MemberPath() + "/DeviceDesc"));
}

TEST(DeviceServerRegistration, RefusesInstanceNamesThatAreNoFolderName) {
    for (const std::string instance : {"", "a/b"}) {
        Firmware firmware(Chip());
        DeviceServer server(firmware, Instance(instance));
        std::string error;
        EXPECT_FALSE(server.Register(&error)) << '"' << instance << '"';
        EXPECT_NE(error.find("instance name"), std::string::npos) << error;
        EXPECT_FALSE(Exists(server.MemberPath()));
    }
}

TEST(DeviceServerRegistration, ASecondServerOfTheSameInstanceIsRefusedAndDisturbsNothing) {
    Simulator first(Chip(), Instance("twice"));
    ASSERT_TRUE(first.Start());
    HostConnection host(first.MemberPath());
    {
        Firmware firmware(Chip());
        DeviceServer second(firmware, Instance("twice"));
        std::string error;
        EXPECT_FALSE(second.Register(&error));
        EXPECT_EQ(error, "instance twice is already being served");
    }
    EXPECT_TRUE(IsPresent(first.MemberPath()));
    EXPECT_EQ(host.Exchange(kIdentify), kIdentifyReply);
    HostConnection later(first.MemberPath());
    EXPECT_EQ(later.Exchange(kIdentify), kIdentifyReply) << "the refused server removed the pipes";
}

TEST(DeviceServerRegistration, TakesOverTheFolderOfACrashedServer) {
    Firmware crashedFirmware(Chip());
    DeviceServer crashed(crashedFirmware, Instance("phoenix"));
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // Registered, then gone without cleaning up.
        _exit(crashed.Register(nullptr) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(Exists(crashed.MemberPath() + "/LOCK"));
    EXPECT_FALSE(IsPresent(crashed.MemberPath()));

    Simulator successor(Chip(), Instance("phoenix"));
    std::string error;
    ASSERT_TRUE(successor.Start(&error)) << error;
    EXPECT_TRUE(IsPresent(successor.MemberPath()));
    HostConnection host(successor.MemberPath());
    EXPECT_EQ(host.Exchange(kIdentify), kIdentifyReply);
}

class DeviceServerConnections : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(simulator.Start(&error)) << error;
    }
    ServerOptions options = Instance("wire");
    Simulator simulator{Chip(), options};
};

TEST_F(DeviceServerConnections, RepliesGoToTheNewestPipesAndOlderOnesAreClosed) {
    HostConnection first(simulator.MemberPath());
    ASSERT_EQ(first.Exchange(kIdentify), kIdentifyReply);

    // As the library does before each chip operation: open both, write at once.
    HostConnection second(simulator.MemberPath());
    ASSERT_TRUE(second.write.Send(kIdentify));
    EXPECT_EQ(second.read.Receive(), kIdentifyReply);

    EXPECT_EQ(first.read.Receive(), Message{}) << "the replaced read pipe is still open";
    EXPECT_FALSE(first.write.Send(kIdentify)) << "the replaced write pipe is still open";
    EXPECT_EQ(second.Exchange(kIdentify), kIdentifyReply);
}

TEST_F(DeviceServerConnections, EndlessFillerStopsWhenTheHostWritesAgain) {
    Faults faults;
    faults.ackJunkEndless = true;
    simulator.firmware().SetFaults(faults);
    HostConnection host(simulator.MemberPath());
    ASSERT_TRUE(host.write.Send({0x12, 0x01, 0x00, 0x01}));
    ASSERT_TRUE(host.write.Send(Message(512, 0xCC)));
    for (int i = 0; i < 50; ++i) ASSERT_EQ(host.read.Receive(), Message{0x00}) << "filler byte " << i;

    ASSERT_TRUE(host.write.Send(kIdentify));
    std::optional<Message> message;
    for (int queued = 0; queued < 1'000'000; ++queued) {
        message = host.read.Receive();
        if (message != Message{0x00}) break;
    }
    EXPECT_EQ(message, kIdentifyReply);
    EXPECT_EQ(host.read.Receive(300ms), std::nullopt) << "filler went on after the host wrote";
}

TEST_F(DeviceServerConnections, MessagesTheFirmwareCannotTakeAreDroppedAndServingGoesOn) {
    simulator.firmware().SetRecording(true);
    const struct {
        const char *what;
        Message message;
    } cases[] = {
        {"an empty message", {}},
        {"a message above 64 KiB", Message(64 * 1024 + 1, 0x20)},
    };
    for (const auto &c : cases) {
        HostConnection host(simulator.MemberPath());
        ASSERT_TRUE(host.write.Send(c.message)) << c.what;
        EXPECT_EQ(host.Exchange(kIdentify), kIdentifyReply) << c.what;
    }
    for (const Message &received : simulator.firmware().Received()) EXPECT_EQ(received, kIdentify);
}

TEST_F(DeviceServerConnections, StopClosesThePipesAndRemovesTheMember) {
    HostConnection host(simulator.MemberPath());
    ASSERT_EQ(host.Exchange(kIdentify), kIdentifyReply);
    simulator.Stop();
    EXPECT_EQ(host.read.Receive(), Message{});
    EXPECT_FALSE(host.write.Send(kIdentify));
    EXPECT_FALSE(Exists(simulator.MemberPath()));
    simulator.Stop();
}

TEST_F(DeviceServerConnections, StartsAgainWithTheSameChipContents) {
    std::vector<std::uint8_t> image(512, 0xCC);
    image[0] = 0x5A;
    simulator.firmware().SetImage(image);
    simulator.Stop();
    std::string error;
    ASSERT_TRUE(simulator.Start(&error)) << error;

    HostConnection host(simulator.MemberPath());
    ASSERT_EQ(host.Exchange({0x13, 0x01, 0x00, 0x01}), (Message{0x13, 0x00, 0x02, 0x00}));
    EXPECT_EQ(host.read.Receive(), image);
}

TEST_F(DeviceServerConnections, ADroppedDeviceVanishesFromTheRegistry) {
    Faults faults;
    faults.dropAtUnit = 1;
    simulator.firmware().SetFaults(faults);
    HostConnection host(simulator.MemberPath());
    ASSERT_TRUE(host.write.Send({0x13, 0x01, 0x00, 0x01}));
    EXPECT_EQ(host.read.Receive(), Message{});
    // Absent before the pipes closed, so a host that saw its read fail finds it gone.
    EXPECT_FALSE(IsPresent(simulator.MemberPath()));
    simulator.Stop();
    EXPECT_FALSE(Exists(simulator.MemberPath()));
}

TEST_F(DeviceServerConnections, PrintsTheFrameLogOfEachMessage) {
    simulator.firmware().SetFrameLog(true);
    HostConnection host(simulator.MemberPath());
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(host.Exchange(kIdentify), kIdentifyReply);
    // The line of a message is out before the next message is handled.
    ASSERT_EQ(host.Exchange({0x64, 0xFF, 0xFF, 0xFF}), (Message{0x64, 0x0B, 0x16, 0x21}));
    ASSERT_EQ(host.Exchange(kIdentify), kIdentifyReply);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("<- 20 FF FF FF\n<- 64 FF FF FF\n"), std::string::npos) << printed;
}

TEST(DeviceServerLatency, RepliesStillArriveInOrder) {
    ServerOptions options = Instance("slow");
    options.latency = 20ms;
    Simulator simulator(Chip(), options);
    ASSERT_TRUE(simulator.Start());
    HostConnection host(simulator.MemberPath());
    EXPECT_EQ(host.Exchange(kIdentify), kIdentifyReply);
    ASSERT_EQ(host.Exchange({0x13, 0x01, 0x00, 0x01}), (Message{0x13, 0x00, 0x02, 0x00}));
    EXPECT_EQ(host.read.Receive(), Message(512, 0xFF));
}

TEST(DeviceServerReplyScript, EachNewReadPipeGetsTheScriptOnceAndIsThenClosed) {
    ServerOptions options = Instance("scripted");
    const std::vector<Message> script = {{0x20, 0x34}, Message(600, 0xCC), {0xFF}};
    options.replyScript = script;
    Simulator simulator(Chip(), options);
    ASSERT_TRUE(simulator.Start());

    for (const char *connection : {"first", "second"}) {
        HostConnection host(simulator.MemberPath());
        ASSERT_TRUE(host.write.Send({0x13, 0x01, 0x00, 0x01})) << connection;
        for (const Message &expected : script) EXPECT_EQ(host.read.Receive(), expected) << connection;
        EXPECT_EQ(host.read.Receive(), Message{}) << connection << ": the read pipe stayed open";
        EXPECT_TRUE(host.write.Send(kIdentify)) << connection << ": later frames are not taken";
    }
}

}  // namespace
}  // namespace sim
