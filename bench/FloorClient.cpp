#include "FloorClient.h"

#include <array>
#include <cstdio>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "DeviceRegistry.h"

namespace bench {
namespace {

constexpr std::size_t kSectorBytes = 512;
constexpr std::uint8_t kReadUnit = 0x13;
constexpr std::uint8_t kWriteUnit = 0x12;
constexpr std::uint8_t kAcknowledge = 0xFF;

// The pipe's path is longer than a socket address holds: connect through the folder's descriptor.
int ConnectPipe(int memberFolder, const char *name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%s", memberFolder, name);
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

FloorClient::~FloorClient() {
    if (writePipe_ >= 0) close(writePipe_);
    if (readPipe_ >= 0) close(readPipe_);
}

bool FloorClient::Connect(const std::string &memberPath) {
    const int folder = open(memberPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return false;
    writePipe_ = ConnectPipe(folder, vantu::registry::kWritePipe);
    readPipe_ = ConnectPipe(folder, vantu::registry::kReadPipe);
    close(folder);
    return writePipe_ >= 0 && readPipe_ >= 0;
}

bool FloorClient::SendFrame(std::uint8_t code, std::size_t unit, std::size_t unitBytes) {
    const std::array<std::uint8_t, 4> frame{code, static_cast<std::uint8_t>(unit), static_cast<std::uint8_t>(unit >> 8),
                                            static_cast<std::uint8_t>(unitBytes / kSectorBytes)};
    return send(writePipe_, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

bool FloorClient::Read(std::span<std::uint8_t> destination, std::size_t unitBytes) {
    for (std::size_t offset = 0, unit = 1; offset < destination.size(); offset += unitBytes, ++unit) {
        if (!SendFrame(kReadUnit, unit, unitBytes)) return false;
        std::array<std::uint8_t, 4> header{};
        if (recv(readPipe_, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size())) return false;
        const std::size_t length = header[1] | std::size_t{header[2]} << 8;
        if (length != unitBytes || recv(readPipe_, destination.data() + offset, length, 0) != static_cast<ssize_t>(length)) {
            return false;
        }
    }
    return true;
}

bool FloorClient::Write(std::span<const std::uint8_t> image, std::size_t unitBytes) {
    for (std::size_t offset = 0, unit = 1; offset < image.size(); offset += unitBytes, ++unit) {
        if (!SendFrame(kWriteUnit, unit, unitBytes)) return false;
        if (send(writePipe_, image.data() + offset, unitBytes, MSG_NOSIGNAL) != static_cast<ssize_t>(unitBytes)) {
            return false;
        }
        std::uint8_t acknowledgement = 0;
        if (recv(readPipe_, &acknowledgement, 1, 0) != 1 || acknowledgement != kAcknowledge) return false;
    }
    return true;
}

}  // namespace bench
