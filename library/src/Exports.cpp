// The exported functions: each forwards to the one Library of the process,
// built over the platform backend when the library is loaded and destroyed
// when it is unloaded. No exception may cross the C boundary: the only one
// the logic can raise is an allocation failure, which is reported as the
// call's own failure status.
#include "Library.h"
#include "Vantu.h"

static vantu::Library theLibrary(vantu::CreateSystemPlatform());

namespace {

template <typename Call>
int32_t Guarded(int32_t failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return failure;
    }
}

}  // namespace

extern "C" {

VANTU_API int32_t VANTU_CALL Vantu_GetNumDevices(int32_t *count) {
    return Guarded(VANTU_NOT_FOUND, [&] { return theLibrary.GetNumDevices(count); });
}

VANTU_API int32_t VANTU_CALL Vantu_GetProductString(int32_t index, char *buffer, int32_t option) {
    return Guarded(VANTU_NOT_FOUND, [&] { return theLibrary.GetProductString(index, buffer, option); });
}

VANTU_API int32_t VANTU_CALL Vantu_OpenDevice(int32_t index) {
    return Guarded(VANTU_NO_DEVICE, [&] { return theLibrary.OpenDevice(index); });
}

VANTU_API int32_t VANTU_CALL Vantu_CloseDevice(void) {
    return Guarded(VANTU_CLOSE_NOT_OPEN, [&] { return theLibrary.CloseDevice(); });
}

VANTU_API int32_t VANTU_CALL Vantu_DeviceWrite(const void *buffer, uint32_t length, uint32_t *written,
                                               int32_t unused) {
    return Guarded(0, [&] { return theLibrary.DeviceWrite(buffer, length, written, unused); });
}

VANTU_API int32_t VANTU_CALL Vantu_DeviceRead(void *buffer, uint32_t length, uint32_t *read, int32_t unused) {
    return Guarded(0, [&] { return theLibrary.DeviceRead(buffer, length, read, unused); });
}

VANTU_API int32_t VANTU_CALL Vantu_Write(VantuHandle pipe, const void *buffer, uint32_t length, uint32_t *written) {
    return Guarded(VANTU_WRITE_FAILED, [&] { return theLibrary.Write(pipe, buffer, length, written); });
}

VANTU_API int32_t VANTU_CALL Vantu_Read(VantuHandle pipe, void *buffer, uint32_t length, uint32_t *read) {
    return Guarded(VANTU_READ_FAILED, [&] { return theLibrary.Read(pipe, buffer, length, read); });
}

}  // extern "C"
