// Shared by the library's POSIX backend and the device servers.
#pragma once

#include <cerrno>

namespace vantu::posix {

// Repeats a system call that a signal interrupted.
template <typename Call>
auto RetryOnInterrupt(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

}  // namespace vantu::posix
