// kestro-sim: serves one simulated programmer until SIGINT or SIGTERM, or
// until an injected fault drops the device.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceServer.h"
#include "Firmware.h"
#include "SimOptions.h"

namespace {

constexpr int kExitServeFailed = 1;
constexpr int kExitBadInput = 2;

// Null once Serve() has returned: a late signal then only counts.
std::atomic<sim::DeviceServer *> g_server{nullptr};
static_assert(std::atomic<sim::DeviceServer *>::is_always_lock_free);
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    g_stopSignal = signal;
    if (sim::DeviceServer *server = g_server.load()) server->Stop();
}

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // A host that closes its end mid-reply must not kill the server.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace

int main(int argc, char **argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = sim::ParseSimOptions(args, &error);
    if (!options) {
        std::fprintf(stderr, "kestro-sim: %s\n", error.c_str());
        return kExitBadInput;
    }
    if (options->help) {
        std::fputs(sim::SimUsage().c_str(), stdout);
        return 0;
    }
    if (options->listChips) {
        std::fputs(sim::ChipListing().c_str(), stdout);
        return 0;
    }

    const sim::ChipModel &chip = *options->chip;
    sim::Firmware firmware(chip);
    if (!options->imagePath.empty()) {
        std::vector<std::uint8_t> image;
        if (!sim::LoadImageFile(options->imagePath, chip.capacity, &image, &error)) {
            std::fprintf(stderr, "kestro-sim: %s\n", error.c_str());
            return kExitBadInput;
        }
        firmware.SetImage(std::move(image));
    }
    firmware.SetFaults(options->faults);
    firmware.SetFrameLog(options->logFrames);

    sim::ServerOptions serverOptions;
    serverOptions.instance = options->instance;
    serverOptions.latency = options->latency;
    sim::DeviceServer server(firmware, serverOptions);
    if (!server.Register(&error)) {
        std::fprintf(stderr, "kestro-sim: cannot serve the device: %s\n", error.c_str());
        return kExitServeFailed;
    }

    g_server.store(&server);
    InstallStopHandlers();
    std::printf("kestro-sim: serving %.*s (%u KiB) at %s\n", static_cast<int>(chip.name.size()), chip.name.data(),
                chip.capacity / 1024, server.MemberPath().c_str());
    std::fflush(stdout);

    server.Serve();
    g_server.store(nullptr);

    int status = 0;
    if (!options->savePath.empty()) {
        if (sim::SaveImageFile(options->savePath, firmware.Image(), &error)) {
            std::printf("kestro-sim: image saved to %s\n", options->savePath.c_str());
        } else {
            std::fprintf(stderr, "kestro-sim: %s\n", error.c_str());
            status = kExitServeFailed;
        }
    }
    std::printf("kestro-sim: %s\n", g_stopSignal != 0 ? "stopped" : "the device was dropped; stopped");
    return status;
}
