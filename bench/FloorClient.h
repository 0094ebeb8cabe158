// The least a host can do for a chip transfer: the same messages on the same
// pipes as the chip routines, with plain blocking socket calls and nothing
// else. The chip routines are measured against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace bench {

class FloorClient {
public:
    FloorClient() = default;
    ~FloorClient();
    FloorClient(const FloorClient &) = delete;
    FloorClient &operator=(const FloorClient &) = delete;

    // Connects to the member's PIPE01, then PIPE00, as a host does
    // (docs/device-registry.md). False when either can't be reached.
    bool Connect(const std::string &memberPath);

    // Reads units 1, 2, ... of `unitBytes` until `destination` is full: a
    // read frame, the 4-byte header, the payload straight into place.
    bool Read(std::span<std::uint8_t> destination, std::size_t unitBytes);

    // Writes `image` (a whole number of units) unit by unit: a write frame,
    // the unit's bytes, the one-byte acknowledgement.
    bool Write(std::span<const std::uint8_t> image, std::size_t unitBytes);

private:
    bool SendFrame(std::uint8_t code, std::size_t unit, std::size_t unitBytes);

    int writePipe_ = -1;
    int readPipe_ = -1;
};

}  // namespace bench
