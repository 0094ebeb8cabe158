// The process-wide state of the library and the logic of its exports, one
// method per export with the same arguments and results (see Vantu.h).
//
// Choices this implementation makes where the exports' contract leaves room:
// - IsReadable catches null pointers (and ranges running past the end of
//   the address space); it touches no memory.
// - A negative member index is no member: 255 or 3 without enumerating.
// - Vantu_OpenDevice closes the handle a variable holds, if open, just before
//   it opens the variable's replacement, so repeated opens never accumulate
//   handles and a driver that allows one open per pipe is not refused. A
//   variable that a failed open doesn't reach keeps its handle.
// - Vantu_CloseDevice closes hDevice only: a chip operation still running
//   when the window closes completes its transfers on the pipes, and the
//   next open replaces them. Destroying the Library closes all three.
// - A device path of more than 255 characters leaves Path empty and the open
//   fails with 3; a pipe path of more than 255 characters fails its open
//   with 1 or 2. Texts handed out are cut at 255 characters.
// - A transfer is one platform Write or Read of the whole length; the count
//   the platform reports is written through the caller's pointer, on
//   failure too. A failed read is not repeated.
// - Vantu_GetProductString leaves the buffer as it was on every status but
//   0; an option other than 0 or 1 is 255 without enumerating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Platform.h"
#include "UsbIF.h"
#include "Vantu.h"

namespace vantu {

// Width of the read that IsReadable vouches for.
enum class ReadWidth : std::size_t {
    Byte = 1,
    Word32 = 4,
};

// Whether `width` bytes at `address` can be read.
bool IsReadable(const void *address, ReadWidth width);

class Library {
public:
    // `platform` must not be null.
    explicit Library(std::unique_ptr<Platform> platform);
    ~Library();

    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    std::int32_t GetNumDevices(std::int32_t *count);
    std::int32_t GetProductString(std::int32_t index, char *buffer, std::int32_t option);
    std::int32_t OpenDevice(std::int32_t index);
    std::int32_t CloseDevice();
    std::int32_t DeviceWrite(const void *buffer, std::uint32_t length, std::uint32_t *written, std::int32_t unused);
    std::int32_t DeviceRead(void *buffer, std::uint32_t length, std::uint32_t *read, std::int32_t unused);
    std::int32_t Write(Handle pipe, const void *buffer, std::uint32_t length, std::uint32_t *written);
    std::int32_t Read(Handle pipe, void *buffer, std::uint32_t length, std::uint32_t *read);

private:
    // Closes `handle` if it is open and marks it not open.
    void Release(Handle &handle);

    std::unique_ptr<Platform> platform_;
    CUsbIF theUsbIF;
    Handle hDevice = kInvalidHandle;     // the device path itself; marks a device as open
    Handle hWritePipe = kInvalidHandle;  // PIPE01 below it: all DeviceWrite traffic
    Handle hReadPipe = kInvalidHandle;   // PIPE00 below it: all DeviceRead traffic
};

}  // namespace vantu
