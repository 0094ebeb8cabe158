#include "Library.h"

#include <limits>
#include <string>
#include <utility>

#include "DeviceText.h"

namespace vantu {
namespace {

constexpr const char *kWritePipeName = "PIPE01";
constexpr const char *kReadPipeName = "PIPE00";

bool IsValidLength(std::uint32_t length) { return length >= 1 && length <= VANTU_MAX_TRANSFER; }

std::int32_t AsTruth(std::int32_t status) { return status == VANTU_OK ? 1 : 0; }

// The checks shared by both directions, in their order, then one platform
// transfer whose reported count reaches the caller on failure too.
template <typename Move>
std::int32_t Transfer(Handle pipe, const void *buffer, std::uint32_t length, std::uint32_t *count,
                      std::int32_t failure, Move move) {
    if (!IsReadable(buffer, ReadWidth::Byte) || !IsReadable(count, ReadWidth::Word32)) {
        return VANTU_BAD_POINTER;
    }
    if (pipe == kInvalidHandle) {
        return VANTU_HANDLE_NOT_OPEN;
    }
    if (!IsValidLength(length)) {
        return VANTU_BAD_LENGTH;
    }
    std::uint32_t moved = 0;
    const bool done = move(&moved);
    *count = moved;
    return done ? VANTU_OK : failure;
}

}  // namespace

bool IsReadable(const void *address, ReadWidth width) {
    if (address == nullptr) {
        return false;
    }
    const auto first = reinterpret_cast<std::uintptr_t>(address);
    const auto lastOffset = static_cast<std::uintptr_t>(width) - 1;
    return first <= std::numeric_limits<std::uintptr_t>::max() - lastOffset;
}

Library::Library(std::unique_ptr<Platform> platform) : platform_(std::move(platform)), theUsbIF(*platform_) {}

Library::~Library() {
    Release(hReadPipe);
    Release(hWritePipe);
    Release(hDevice);
}

std::int32_t Library::GetNumDevices(std::int32_t *count) {
    if (!IsReadable(count, ReadWidth::Word32)) {
        return VANTU_BAD_POINTER;
    }
    theUsbIF.SetInterfaceGuid(kProgrammerInterfaceClass);
    *count = theUsbIF.CountDevices();
    return *count >= 1 ? VANTU_OK : VANTU_NOT_FOUND;
}

std::int32_t Library::GetProductString(std::int32_t index, char *buffer, std::int32_t option) {
    if (!IsReadable(buffer, ReadWidth::Byte)) {
        return VANTU_BAD_POINTER;
    }
    if (option != VANTU_TEXT_INSTANCE_ID && option != VANTU_TEXT_DISPLAY_NAME) {
        return VANTU_NOT_FOUND;
    }
    theUsbIF.SetInterfaceGuid(kProgrammerInterfaceClass);
    UsbDeviceInfo info;
    theUsbIF.GetDeviceInfo(index, &info);
    const std::string &chosen = option == VANTU_TEXT_INSTANCE_ID ? info.InstanceId : info.DisplayName;
    if (chosen.empty()) {
        return VANTU_NOT_FOUND;
    }
    CopyText(buffer, kTextBufferSize, chosen);
    return VANTU_OK;
}

std::int32_t Library::OpenDevice(std::int32_t index) {
    theUsbIF.SetInterfaceGuid(kProgrammerInterfaceClass);

    Release(hDevice);
    hDevice = theUsbIF.OpenByIndex(index);
    if (hDevice == kInvalidHandle) {
        return VANTU_NO_DEVICE;
    }

    Release(hWritePipe);
    hWritePipe = theUsbIF.OpenPath(kWritePipeName);
    if (hWritePipe == kInvalidHandle) {
        return VANTU_NO_WRITE_PIPE;
    }

    Release(hReadPipe);
    hReadPipe = theUsbIF.OpenPath(kReadPipeName);
    if (hReadPipe == kInvalidHandle) {
        return VANTU_NO_READ_PIPE;
    }
    return VANTU_OK;
}

std::int32_t Library::CloseDevice() {
    if (hDevice == kInvalidHandle) {
        return VANTU_CLOSE_NOT_OPEN;
    }
    Release(hDevice);
    return VANTU_OK;
}

std::int32_t Library::DeviceWrite(const void *buffer, std::uint32_t length, std::uint32_t *written,
                                  std::int32_t /*unused*/) {
    return AsTruth(Write(hWritePipe, buffer, length, written));
}

std::int32_t Library::DeviceRead(void *buffer, std::uint32_t length, std::uint32_t *read, std::int32_t /*unused*/) {
    return AsTruth(Read(hReadPipe, buffer, length, read));
}

std::int32_t Library::Write(Handle pipe, const void *buffer, std::uint32_t length, std::uint32_t *written) {
    return Transfer(pipe, buffer, length, written, VANTU_WRITE_FAILED,
                    [&](std::uint32_t *moved) { return platform_->Write(pipe, buffer, length, moved); });
}

std::int32_t Library::Read(Handle pipe, void *buffer, std::uint32_t length, std::uint32_t *read) {
    return Transfer(pipe, buffer, length, read, VANTU_READ_FAILED,
                    [&](std::uint32_t *moved) { return platform_->Read(pipe, buffer, length, moved); });
}

void Library::Release(Handle &handle) {
    if (handle != kInvalidHandle) {
        platform_->Close(handle);
        handle = kInvalidHandle;
    }
}

}  // namespace vantu
