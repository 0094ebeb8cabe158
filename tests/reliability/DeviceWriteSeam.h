// A device that vanishes between two writes of the host. The host writes a
// frame and what follows it (a write unit's data, the identify frame after
// the open) without waiting in between, so no server can take the device
// away at that moment every time. This executable is linked with
// --wrap=Vantu_DeviceWrite, which lets a test act in the host's own thread
// just before a chosen write.
#pragma once

#include <functional>

// Runs `action` just before the `count`-th Vantu_DeviceWrite from now (1 =
// the next one), once; the write itself then goes ahead.
void BeforeDeviceWrite(int count, std::function<void()> action);

// Forgets an action that has not run.
void ForgetDeviceWriteAction();
