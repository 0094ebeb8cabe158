#include "DeviceWriteSeam.h"

#include <utility>

#include "Vantu.h"

namespace {

int writesToGo = 0;
std::function<void()> pendingAction;

}  // namespace

void BeforeDeviceWrite(int count, std::function<void()> action) {
    writesToGo = count;
    pendingAction = std::move(action);
}

void ForgetDeviceWriteAction() {
    writesToGo = 0;
    pendingAction = nullptr;
}

extern "C" {

int32_t __real_Vantu_DeviceWrite(const void *buffer, uint32_t length, uint32_t *written, int32_t unused);

int32_t __wrap_Vantu_DeviceWrite(const void *buffer, uint32_t length, uint32_t *written, int32_t unused) {
    if (pendingAction && --writesToGo == 0) std::exchange(pendingAction, nullptr)();
    return __real_Vantu_DeviceWrite(buffer, length, written, unused);
}

}  // extern "C"
