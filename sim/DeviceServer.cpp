#include "DeviceServer.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "DeviceRegistry.h"
#include "RetryOnInterrupt.h"

namespace sim {
namespace {

namespace registry = vantu::registry;
using Clock = std::chrono::steady_clock;

// Larger than any message a host sends (the library sends at most 8 KiB).
constexpr std::size_t kLargestHostMessage = 64 * 1024;
// Room for several 64 KiB replies in flight on the read pipe.
constexpr int kReadPipeSendBuffer = 1 << 20;
// How long a reply may wait for a host that has stopped reading.
constexpr auto kReplyWait = std::chrono::milliseconds(registry::kReadTimeoutMs);
// How long taking LOCK may wait for the probes that clients hold for an instant.
constexpr auto kLockWait = std::chrono::seconds(2);
constexpr int kListenBacklog = 16;
// The library keeps its device path, "/" and a pipe name within 255 characters.
constexpr std::size_t kLongestPipePath = 255;

void CloseFd(int &fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

using vantu::posix::RetryOnInterrupt;

std::string SystemError(const std::string &what) { return what + ": " + std::strerror(errno); }

// Servers register and unregister one at a time, so that two of them never
// work on one member folder together. Clients never take this lock.
class ClassFolderLock {
public:
    explicit ClassFolderLock(int classFolder) : fd_(classFolder) {
        RetryOnInterrupt([&] { return flock(fd_, LOCK_EX); });
    }
    ~ClassFolderLock() { flock(fd_, LOCK_UN); }
    ClassFolderLock(const ClassFolderLock &) = delete;
    ClassFolderLock &operator=(const ClassFolderLock &) = delete;

private:
    int fd_;
};

bool MakeFolder(const std::string &path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

// A property is the first line of its file; an empty text means no property.
bool WriteProperty(int memberFolder, const char *file, const std::string &text) {
    if (text.empty()) return unlinkat(memberFolder, file, 0) == 0 || errno == ENOENT;
    const int fd = RetryOnInterrupt([&] {
        return openat(memberFolder, file, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    });
    if (fd < 0) return false;
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t wrote = RetryOnInterrupt([&] { return write(fd, line.data() + done, line.size() - done); });
        if (wrote <= 0) break;
        done += static_cast<std::size_t>(wrote);
    }
    close(fd);
    return done == line.size();
}

// The socket's path is longer than an address holds: bind through the folder's descriptor.
int ListenOn(int memberFolder, const char *name) {
    if (unlinkat(memberFolder, name, 0) != 0 && errno != ENOENT) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", memberFolder, name);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        listen(fd, kListenBacklog) != 0) {
        const int saved = errno;
        close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

// Takes LOCK exclusively, waiting out clients that are probing it.
bool TakeLock(int lockFd) {
    const auto deadline = Clock::now() + kLockWait;
    for (;;) {
        if (RetryOnInterrupt([&] { return flock(lockFd, LOCK_EX | LOCK_NB); }) == 0) return true;
        if (errno != EWOULDBLOCK || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// Takes the member down; the caller holds the class folder lock. LOCK goes
// first, then the host's `connections`: a host whose transfer fails then
// already finds the device gone.
void RemoveMember(int classFolder, const std::string &name, int &memberFd, int &lockFd, int &writeListen,
                  int &readListen, std::initializer_list<int *> connections) {
    unlinkat(memberFd, registry::kLockFile, 0);
    for (int *connection : connections) CloseFd(*connection);
    CloseFd(writeListen);
    CloseFd(readListen);
    for (const char *file :
         {registry::kWritePipe, registry::kReadPipe, registry::kFriendlyNameFile, registry::kDeviceDescFile}) {
        unlinkat(memberFd, file, 0);
    }
    if (classFolder >= 0) unlinkat(classFolder, name.c_str(), AT_REMOVEDIR);
    CloseFd(lockFd);
    CloseFd(memberFd);
}

// RemoveMember under the class folder lock.
void WithdrawMember(const std::string &memberPath, int &memberFd, int &lockFd, int &writeListen, int &readListen,
                    std::initializer_list<int *> connections) {
    if (memberFd < 0) return;
    const std::size_t slash = memberPath.rfind('/');
    const std::string classFolder = memberPath.substr(0, slash);
    const int classFd = RetryOnInterrupt([&] { return open(classFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    {
        std::optional<ClassFolderLock> classLock;
        if (classFd >= 0) classLock.emplace(classFd);
        RemoveMember(classFd, memberPath.substr(slash + 1), memberFd, lockFd, writeListen, readListen, connections);
    }
    if (classFd >= 0) close(classFd);
}

// Accepts every pending connection and keeps the newest in `current`: the
// host opens again before each operation and only reads its newest pipe.
// `retire` sees each connection just before a newer one replaces it.
template <typename Retire>
bool AcceptNewest(int listener, int &current, Retire retire) {
    bool replaced = false;
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return replaced;
        }
        if (current >= 0) retire(current);
        CloseFd(current);
        current = fd;
        replaced = true;
    }
}

// Whether a connection waits on the listener, without the cost of an accept
// that finds none (the kernel makes and drops a socket for it).
bool ConnectionPending(int listener) {
    pollfd wait{listener, POLLIN, 0};
    return RetryOnInterrupt([&] { return poll(&wait, 1, 0); }) > 0;
}

// The first tick of the link's clock after `arrival`: the clock ticks every
// `period` from `epoch`, as a full-speed USB device answers in the next 1 ms
// frame. A host that sends its next message within the frame loses no time,
// and a late wake-up of the server does not add up over many replies.
Clock::time_point NextTick(Clock::time_point epoch, std::chrono::microseconds period, Clock::time_point arrival) {
    const auto ticks = (arrival - epoch) / period + 1;
    return epoch + ticks * period;
}

enum class SendResult { Sent, Dropped, PeerGone, Stopped };

// Sends one message, waiting a bounded time for room in the pipe; a stop
// request ends the wait.
SendResult SendMessage(int fd, const Message &message, int stopFd) {
    const auto deadline = Clock::now() + kReplyWait;
    for (;;) {
        if (send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) return SendResult::Sent;
        if (errno == EINTR) continue;
        if (errno == EMSGSIZE) {
            std::cerr << "kestro-sim: dropped a reply of " << message.size() << " bytes: too large for the pipe\n";
            return SendResult::Dropped;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) return SendResult::PeerGone;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            std::cerr << "kestro-sim: dropped a reply: the host did not read for "
                      << registry::kReadTimeoutMs / 1000 << " s\n";
            return SendResult::Dropped;
        }
        pollfd waits[2] = {{fd, POLLOUT, 0}, {stopFd, POLLIN, 0}};
        if (poll(waits, 2, static_cast<int>(left)) > 0 && waits[1].revents != 0) return SendResult::Stopped;
    }
}

}  // namespace

DeviceServer::DeviceServer(Firmware &firmware, ServerOptions options)
    : firmware_(firmware),
      options_(std::move(options)),
      memberPath_(registry::MemberPath(options_.vendorId, options_.productId, options_.instance)),
      stopFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

DeviceServer::~DeviceServer() {
    Unregister();
    CloseFd(stopFd_);
}

bool DeviceServer::Register(std::string *error) {
    auto fail = [error](std::string reason) {
        if (error != nullptr) *error = std::move(reason);
        return false;
    };
    if (memberFd_ >= 0) return fail("instance " + options_.instance + " is registered already");
    if (stopFd_ < 0) return fail("no stop event could be made");
    if (options_.instance.empty() || options_.instance.find('/') != std::string::npos) {
        return fail("instance name \"" + options_.instance + "\" must be non-empty and hold no '/'");
    }
    const std::size_t pipePathLength = memberPath_.size() + 1 + std::strlen(registry::kWritePipe);
    if (pipePathLength > kLongestPipePath) {
        return fail("member path " + memberPath_ + " is too long: its pipe paths must stay within " +
                    std::to_string(kLongestPipePath) + " characters");
    }

    const std::string classFolder = memberPath_.substr(0, memberPath_.rfind('/'));
    const std::string root = classFolder.substr(0, classFolder.rfind('/'));
    if (!MakeFolder(root)) return fail(SystemError("cannot make " + root));
    if (!MakeFolder(classFolder)) return fail(SystemError("cannot make " + classFolder));
    const int classFd = RetryOnInterrupt([&] { return open(classFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (classFd < 0) return fail(SystemError("cannot open " + classFolder));
    std::optional<ClassFolderLock> classLock(std::in_place, classFd);
    auto failAndClose = [&](std::string reason) {
        classLock.reset();
        close(classFd);
        return fail(std::move(reason));
    };

    const std::string name = memberPath_.substr(classFolder.size() + 1);
    if (mkdirat(classFd, name.c_str(), 0700) != 0 && errno != EEXIST) {
        return failAndClose(SystemError("cannot make " + memberPath_));
    }
    int memberFd = openat(classFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (memberFd < 0) return failAndClose(SystemError("cannot open " + memberPath_));
    int lockFd = openat(memberFd, registry::kLockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        const std::string reason = SystemError("cannot open the LOCK of " + memberPath_);
        close(memberFd);
        return failAndClose(reason);
    }
    // Holding LOCK shared keeps the member absent while it is built, and a
    // live server's exclusive hold refuses the probe.
    if (RetryOnInterrupt([&] { return flock(lockFd, LOCK_SH | LOCK_NB); }) != 0) {
        close(lockFd);
        close(memberFd);
        return failAndClose("instance " + options_.instance + " is already being served");
    }
    memberFd_ = memberFd;
    lockFd_ = lockFd;

    // From here the folder is ours: a failure takes it down again.
    auto failAndRemove = [&](const std::string &reason) {
        RemoveMember(classFd, name, memberFd_, lockFd_, writePipeListen_, readPipeListen_, {});
        return failAndClose(reason);
    };
    if (!WriteProperty(memberFd_, registry::kFriendlyNameFile, options_.friendlyName) ||
        !WriteProperty(memberFd_, registry::kDeviceDescFile, options_.deviceDesc)) {
        return failAndRemove(SystemError("cannot write the properties of " + memberPath_));
    }
    writePipeListen_ = ListenOn(memberFd_, registry::kWritePipe);
    if (writePipeListen_ < 0) return failAndRemove(SystemError("cannot listen on " + memberPath_ + "/PIPE01"));
    readPipeListen_ = ListenOn(memberFd_, registry::kReadPipe);
    if (readPipeListen_ < 0) return failAndRemove(SystemError("cannot listen on " + memberPath_ + "/PIPE00"));
    // Last: the member becomes present only once it can be served.
    if (!TakeLock(lockFd_)) return failAndRemove(SystemError("cannot take the LOCK of " + memberPath_));

    classLock.reset();
    close(classFd);
    return true;
}

void DeviceServer::Serve() {
    if (memberFd_ < 0) return;
    const Clock::time_point linkEpoch = Clock::now();
    int writeConnection = -1;  // the host's newest PIPE01
    int readConnection = -1;   // the host's newest PIPE00
    std::optional<std::uint8_t> filler;
    Message received(kLargestHostMessage);
    bool scriptDue = false;  // the reply script has not gone to the newest read connection yet

    auto acceptReadConnection = [&] {
        if (!AcceptNewest(readPipeListen_, readConnection, [](int) {})) return false;
        setsockopt(readConnection, SOL_SOCKET, SO_SNDBUF, &kReadPipeSendBuffer, sizeof kReadPipeSendBuffer);
        scriptDue = true;
        return true;
    };

    // Returns false when the device is to vanish.
    auto handle = [&](const Message &message, Clock::time_point arrival) {
        // The host may have opened PIPE00 again just before writing: the
        // replies belong on that newest connection.
        if (ConnectionPending(readPipeListen_)) acceptReadConnection();
        Replies replies = firmware_.OnMessage(message);
        const bool scriptNow = options_.replyScript && scriptDue;
        if (options_.replyScript) {
            replies.messages = scriptNow ? *options_.replyScript : std::vector<Message>{};
            replies.endless.reset();
            scriptDue = false;
        }
        if ((!replies.messages.empty() || replies.endless) && options_.latency.count() > 0) {
            std::this_thread::sleep_until(NextTick(linkEpoch, options_.latency, arrival));
        }
        for (const Message &reply : replies.messages) {
            if (readConnection < 0) break;
            if (reply.empty()) continue;  // an empty message would read as a vanished device
            const SendResult result = SendMessage(readConnection, reply, stopFd_);
            if (result == SendResult::PeerGone) CloseFd(readConnection);
            if (result == SendResult::Stopped) break;
        }
        if (scriptNow) CloseFd(readConnection);
        // Any new message ends the filler of the one before.
        filler = replies.endless;
        const std::vector<std::string> lines = firmware_.TakeFrameLog();
        if (!lines.empty()) {
            for (const std::string &line : lines) std::cout << line << '\n';
            std::cout.flush();
        }
        return !replies.dropDevice;
    };

    auto sendFiller = [&] {
        const Message one{*filler};
        for (;;) {
            if (send(readConnection, one.data(), one.size(), MSG_NOSIGNAL | MSG_DONTWAIT) >= 0) continue;
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) CloseFd(readConnection);
            return;
        }
    };

    // One message from `connection` without waiting: its length, 0 when it
    // carries nothing (an empty message, or the host has closed), -1 when none
    // is queued or the connection failed.
    auto receiveOne = [&](int connection) -> ssize_t {
        iovec part{received.data(), received.size()};
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        const ssize_t got = recvmsg(connection, &header, MSG_DONTWAIT);
        if (got > 0 && (header.msg_flags & MSG_TRUNC) != 0) {
            std::cerr << "kestro-sim: dropped a host message longer than " << kLargestHostMessage << " bytes\n";
            return 0;
        }
        return got;
    };

    // Returns false when the device is to vanish.
    auto receive = [&](short events) {
        if ((events & POLLIN) == 0) {
            CloseFd(writeConnection);
            return true;
        }
        const ssize_t got = receiveOne(writeConnection);
        const Clock::time_point arrival = Clock::now();
        if (got < 0) {
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) CloseFd(writeConnection);
            return true;
        }
        // Zero bytes is either the host closing or an empty message, which carries nothing.
        if (got == 0) {
            if ((events & (POLLHUP | POLLERR)) != 0) CloseFd(writeConnection);
            return true;
        }
        return handle(Message(received.begin(), received.begin() + got), arrival);
    };

    bool serving = true;
    // A host that opens the pipe again right after a frame that has no reply
    // (14 02 FF FF) can leave that frame unread on the old connection. It was
    // written before anything on the new one, so it is handled first.
    auto takeQueuedMessages = [&](int oldConnection) {
        while (serving) {
            const ssize_t got = receiveOne(oldConnection);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;
            serving = handle(Message(received.begin(), received.begin() + got), Clock::now());
        }
    };

    while (serving) {
        pollfd waits[5] = {
            {stopFd_, POLLIN, 0},
            {writePipeListen_, POLLIN, 0},
            {readPipeListen_, POLLIN, 0},
            {writeConnection, POLLIN, 0},  // poll skips a descriptor of -1
            {readConnection, static_cast<short>(filler ? POLLOUT : 0), 0},
        };
        if (poll(waits, 5, -1) < 0) {
            if (errno == EINTR) continue;
            std::cerr << SystemError("kestro-sim: poll") << '\n';
            break;
        }
        if (waits[0].revents != 0) break;
        // Events of a connection that is replaced here belong to the old one.
        const bool readReplaced = waits[2].revents != 0 && acceptReadConnection();
        const bool writeReplaced =
            waits[1].revents != 0 && AcceptNewest(writePipeListen_, writeConnection, takeQueuedMessages);
        if (!readReplaced && waits[4].revents != 0) {
            if ((waits[4].revents & (POLLHUP | POLLERR)) != 0) {
                CloseFd(readConnection);
            } else if (filler) {
                sendFiller();
            }
        }
        if (!writeReplaced && waits[3].revents != 0) serving = receive(waits[3].revents);
    }
    // Closing the connections makes the host's pending transfers fail at once.
    WithdrawMember(memberPath_, memberFd_, lockFd_, writePipeListen_, readPipeListen_,
                   {&writeConnection, &readConnection});
}

void DeviceServer::Stop() {
    if (stopFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t wrote = write(stopFd_, &one, sizeof one);
}

void DeviceServer::Unregister() {
    WithdrawMember(memberPath_, memberFd_, lockFd_, writePipeListen_, readPipeListen_, {});
}

}  // namespace sim
