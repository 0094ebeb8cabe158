// The POSIX backend: present members are the served folders of the device
// registry (docs/device-registry.md), the pipes are SEQPACKET sockets in them.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "DeviceRegistry.h"
#include "RetryOnInterrupt.h"
#include "Platform.h"

namespace vantu {
namespace {

using Clock = std::chrono::steady_clock;

using posix::RetryOnInterrupt;

// "{37538c66-9584-42d3-9632-ebad0a230d13}": the class folder's name.
std::string ClassFolderName(const Guid &g) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned>(g.data1), static_cast<unsigned>(g.data2),
                  static_cast<unsigned>(g.data3), g.data4[0], g.data4[1], g.data4[2], g.data4[3],
                  g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// A member is present while its server holds LOCK exclusively. A shared
// probe that is granted means nobody holds it: the folder is left over.
bool IsServed(int classFolder, const std::string &member) {
    const std::string lockPath = member + "/" + registry::kLockFile;
    Descriptor lock(RetryOnInterrupt(
        [&] { return openat(classFolder, lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); }));
    if (lock.get() < 0) return false;
    if (RetryOnInterrupt([&] { return flock(lock.get(), LOCK_SH | LOCK_NB); }) == 0) {
        flock(lock.get(), LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

bool IsFolder(int parent, const dirent &entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_UNKNOWN) return false;
    struct stat status {};
    return fstatat(parent, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

// First line of a property file, at most 255 bytes of it; false when the file
// is missing or that line is empty.
bool ReadPropertyFile(const std::string &path, TextBuffer &text) {
    Descriptor file(RetryOnInterrupt([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
    if (file.get() < 0) return false;
    char content[kTextBufferSize - 1];
    std::size_t length = 0;
    while (length < sizeof content) {
        const ssize_t got = RetryOnInterrupt([&] { return read(file.get(), content + length, sizeof content - length); });
        if (got < 0) return false;
        if (got == 0) break;
        length += static_cast<std::size_t>(got);
    }
    const std::size_t lineEnd = static_cast<std::size_t>(std::find(content, content + length, '\n') - content);
    std::size_t lineLength = lineEnd;
    if (lineLength > 0 && lineLength < length && content[lineLength - 1] == '\r') --lineLength;
    if (lineLength == 0) return false;
    std::memcpy(text, content, lineLength);
    text[lineLength] = '\0';
    return true;
}

class RegistryMembers final : public MemberSet {
public:
    RegistryMembers(std::string classFolder, std::vector<std::string> names)
        : classFolder_(std::move(classFolder)), names_(std::move(names)) {}

    MemberLookup Member(std::uint32_t index) override {
        if (index >= names_.size()) return MemberLookup::NoMoreItems;
        selected_ = index;
        detailRead_ = false;
        return MemberLookup::Found;
    }

    bool Detail(std::string *devicePath) override {
        if (selected_ >= names_.size()) return false;
        *devicePath = classFolder_ + "/" + names_[selected_];
        detailRead_ = true;
        return true;
    }

    bool Property(DeviceProperty property, TextBuffer &text) override {
        if (!detailRead_) return false;
        const char *file = property == DeviceProperty::FriendlyName ? registry::kFriendlyNameFile
                           : property == DeviceProperty::DeviceDesc ? registry::kDeviceDescFile
                                                                    : nullptr;
        if (file == nullptr) return false;
        return ReadPropertyFile(classFolder_ + "/" + names_[selected_] + "/" + file, text);
    }

private:
    std::string classFolder_;
    std::vector<std::string> names_;
    std::size_t selected_ = static_cast<std::size_t>(-1);
    bool detailRead_ = false;
};

// Milliseconds left until `deadline`, never negative.
int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` reports `events` or the deadline passes; false on timeout
// or error. A hangup counts as ready: the transfer that follows then fails.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, MillisecondsLeft(deadline));
        if (ready > 0) return true;
        if (ready == 0) return false;
        if (errno != EINTR) return false;
    }
}

// Bounds each blocking receive on `fd` to `milliseconds`.
void SetReadBound(int fd, int milliseconds) {
    const timeval limit{milliseconds / 1000, static_cast<suseconds_t>(milliseconds % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

// Connects to the SEQPACKET socket `name` in the folder `parent`. The path of
// a member's pipe is longer than a socket address holds, so the address goes
// through the folder's descriptor.
Handle ConnectPipe(const std::string &parent, const std::string &name) {
    Descriptor folder(RetryOnInterrupt([&] { return open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (folder.get() < 0) return kInvalidHandle;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int length = std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s",
                                     folder.get(), name.c_str());
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof address.sun_path) return kInvalidHandle;
    Descriptor pipe(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
    if (pipe.get() < 0) return kInvalidHandle;
    // Bounds the wait for a server whose queue of new connections is full.
    const timeval limit{registry::kReadTimeoutMs / 1000, 0};
    setsockopt(pipe.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SetReadBound(pipe.get(), registry::kReadTimeoutMs);
    if (RetryOnInterrupt([&] {
            return connect(pipe.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
        }) != 0) {
        return kInvalidHandle;
    }
    return pipe.release();
}

class PosixPlatform final : public Platform {
public:
    std::unique_ptr<MemberSet> PresentMembers(const Guid &interfaceClass) override {
        const std::string classFolder = registry::RootFolder() + "/" + ClassFolderName(interfaceClass);
        std::vector<std::string> names;
        const int folderFd =
            RetryOnInterrupt([&] { return open(classFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (folderFd >= 0) {
            // closedir releases the descriptor as well.
            DIR *folder = fdopendir(folderFd);
            if (folder == nullptr) {
                close(folderFd);
            } else {
                while (const dirent *entry = readdir(folder)) {
                    const std::string name = entry->d_name;
                    if (name == "." || name == "..") continue;
                    if (IsFolder(folderFd, *entry) && IsServed(folderFd, name)) names.push_back(name);
                }
                closedir(folder);
            }
        }
        // Byte order: std::string compares its characters as unsigned.
        std::sort(names.begin(), names.end());
        return std::make_unique<RegistryMembers>(classFolder, std::move(names));
    }

    // No version service here: the library then takes the instance from the path.
    bool Version(VersionRecord, OsVersion *) override { return false; }

    bool RegistryValue(const char *, const char *, TextBuffer &, std::uint32_t *) override { return false; }

    Handle Open(const char *path) override {
        if (path == nullptr || path[0] == '\0') return kInvalidHandle;
        const int folder = RetryOnInterrupt([&] { return open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
        if (folder >= 0) return folder;
        // Anything else that exists is taken for a pipe; connecting fails on what is not one.
        if (errno != ENOTDIR) return kInvalidHandle;
        const std::string full = path;
        const std::size_t slash = full.rfind('/');
        const Handle pipe = slash == std::string::npos
                                ? ConnectPipe(".", full)
                                : ConnectPipe(slash == 0 ? "/" : full.substr(0, slash), full.substr(slash + 1));
        if (pipe != kInvalidHandle) connectedPipes_.push_back(static_cast<int>(pipe));
        return pipe;
    }

    bool Write(Handle handle, const void *buffer, std::uint32_t length, std::uint32_t *moved) override {
        *moved = 0;
        const int fd = static_cast<int>(handle);
        const auto deadline = Clock::now() + std::chrono::milliseconds(registry::kReadTimeoutMs);
        for (;;) {
            const ssize_t sent = send(fd, buffer, length, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0) {
                *moved = static_cast<std::uint32_t>(sent);
                return true;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
            if (!WaitFor(fd, POLLOUT, deadline)) return false;
        }
    }

    // One blocking receive bounded by SO_RCVTIMEO: a read is on the path of
    // every unit, and a non-blocking try followed by poll() costs two more
    // system calls whenever the reply is not there yet. A pipe connected here
    // carries the whole bound from the start; any other handle gets it set.
    bool Read(Handle handle, void *buffer, std::uint32_t length, std::uint32_t *moved) override {
        *moved = 0;
        const int fd = static_cast<int>(handle);
        const bool connectedHere = std::ranges::find(connectedPipes_, fd) != connectedPipes_.end();
        const auto deadline = Clock::now() + std::chrono::milliseconds(registry::kReadTimeoutMs);
        bool done = false;
        int left = registry::kReadTimeoutMs;
        // A signal ends the receive early; the next one waits only for what is left.
        for (bool boundInPlace = connectedHere; left > 0; left = MillisecondsLeft(deadline), boundInPlace = false) {
            if (!boundInPlace) SetReadBound(fd, left);
            iovec part{buffer, length};
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            const ssize_t got = recvmsg(fd, &message, 0);
            if (got > 0) {
                // A message longer than the read is an overflow: it is consumed and the read fails.
                done = (message.msg_flags & MSG_TRUNC) == 0;
                if (done) *moved = static_cast<std::uint32_t>(got);
                break;
            }
            // Servers send no empty messages: zero bytes mean the server is gone.
            if (got == 0 || errno != EINTR) break;
        }
        if (connectedHere && left != registry::kReadTimeoutMs) SetReadBound(fd, registry::kReadTimeoutMs);
        return done;
    }

    void Close(Handle handle) override {
        std::erase(connectedPipes_, static_cast<int>(handle));
        if (handle >= 0) close(static_cast<int>(handle));
    }

    char PathSeparator() const override { return '/'; }

private:
    // The pipes Open connected and Close has not closed yet.
    std::vector<int> connectedPipes_;
};

}  // namespace

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace vantu
