#include "Simulator.h"

#include <utility>

#include "DeviceRegistry.h"

namespace sim {

Simulator::Simulator(const ChipModel &chip, ServerOptions options) : firmware_(chip), options_(std::move(options)) {}

Simulator::~Simulator() { Stop(); }

bool Simulator::Start(std::string *error) {
    // A server that the firmware dropped has ended by itself; starting again
    // always begins from a fresh registration.
    Stop();
    auto server = std::make_unique<DeviceServer>(firmware_, options_);
    if (!server->Register(error)) return false;
    server_ = std::move(server);
    thread_ = std::thread([server = server_.get()] { server->Serve(); });
    return true;
}

void Simulator::Stop() {
    if (!server_) return;
    server_->Stop();
    thread_.join();
    server_.reset();
}

std::string Simulator::MemberPath() const {
    return vantu::registry::MemberPath(options_.vendorId, options_.productId, options_.instance);
}

}  // namespace sim
