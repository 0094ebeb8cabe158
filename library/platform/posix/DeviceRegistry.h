// The device-registry contract on POSIX systems, shared by the library's
// POSIX backend (the client) and every server of programmers (the simulator,
// a USB bridge). docs/device-registry.md is the written contract; keep both
// in step.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace vantu::registry {

// Name of the class folder: the programmer's interface class.
inline constexpr const char *kClassFolderName = "{37538c66-9584-42d3-9632-ebad0a230d13}";

// Files inside a member folder.
inline constexpr const char *kLockFile = "LOCK";               // flock(LOCK_EX) held while served
inline constexpr const char *kWritePipe = "PIPE01";            // host -> programmer
inline constexpr const char *kReadPipe = "PIPE00";             // programmer -> host
inline constexpr const char *kFriendlyNameFile = "FriendlyName";
inline constexpr const char *kDeviceDescFile = "DeviceDesc";

// A read waits this long for its message, then fails.
inline constexpr int kReadTimeoutMs = 10000;

// $XDG_RUNTIME_DIR/vantu when XDG_RUNTIME_DIR is set and not empty, else
// /tmp/vantu-<uid>.
inline std::string RootFolder() {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::string(runtime) + "/vantu";
    }
    return "/tmp/vantu-" + std::to_string(static_cast<unsigned long>(getuid()));
}

inline std::string ClassFolder() { return RootFolder() + "/" + kClassFolderName; }

// The folder name a server gives its member: usb#vid_XXXX&pid_YYYY#<instance>#{class}.
inline std::string MemberName(unsigned vendorId, unsigned productId, const std::string &instance) {
    static const char digits[] = "0123456789abcdef";
    auto hex4 = [](unsigned v) {
        std::string s(4, '0');
        for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<std::size_t>(i)] = digits[v & 0xF];
        return s;
    };
    return "usb#vid_" + hex4(vendorId) + "&pid_" + hex4(productId) + "#" + instance + "#" + kClassFolderName;
}

// The device path of that member.
inline std::string MemberPath(unsigned vendorId, unsigned productId, const std::string &instance) {
    return ClassFolder() + "/" + MemberName(vendorId, productId, instance);
}

}  // namespace vantu::registry
