#include "SimOptions.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

// Units travel in 16 bits, erase block indexes in 8, the read header's length in 16.
constexpr std::uint64_t kMaxUnit = 0xFFFF;
constexpr std::uint64_t kMaxEraseBlock = 256;
constexpr std::uint64_t kMaxHeaderLength = 0xFFFF;
// Every junk byte is a message of its own held in memory until sent.
constexpr std::uint64_t kMaxAckJunk = 0xFFFF;
constexpr std::uint64_t kMaxLatencyUs = 60'000'000;
// A padded read reply stays within one message the pipe can carry.
constexpr std::uint64_t kMaxReplyPadding = 0xFFFF;

constexpr std::array<std::string_view, 5> kFlags = {"--help", "-h", "--list-chips", "--wrong-echo", "--log-frames"};
constexpr std::array<std::string_view, 12> kOptionsWithValue = {
    "--chip",     "--image",         "--save",          "--instance", "--latency-us",       "--drop-at-unit",
    "--drop-on",  "--no-reply",      "--header-length", "--ack-junk", "--fail-erase-block", "--reply-padding"};

std::optional<std::uint64_t> ParseUnsigned(std::string_view text, int base) {
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, status] = std::from_chars(text.data(), end, value, base);
    if (status != std::errc() || stop != end) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted.append(1, '\'').append(text).append(1, '\'');
    return quoted;
}

struct FileCloser {
    void operator()(std::FILE *file) const { std::fclose(file); }
};

bool WriteAll(int fd, const std::uint8_t *data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

std::optional<SimOptions> ParseSimOptions(std::span<const std::string_view> args, std::string *error) {
    SimOptions options;
    const auto fail = [error](std::string reason) -> std::optional<SimOptions> {
        if (error != nullptr) *error = std::move(reason);
        return std::nullopt;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!arg.starts_with("--") && arg != "-h") return fail("unexpected argument " + Quoted(arg) + " (see --help)");

        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto equals = arg.find('='); equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            inlineValue = arg.substr(equals + 1);
        }
        const std::string option(name);

        if (std::ranges::find(kFlags, name) != kFlags.end()) {
            if (inlineValue) return fail(option + " takes no value");
            if (name == "--help" || name == "-h") options.help = true;
            if (name == "--list-chips") options.listChips = true;
            if (name == "--wrong-echo") options.faults.wrongEcho = true;
            if (name == "--log-frames") options.logFrames = true;
            continue;
        }

        if (std::ranges::find(kOptionsWithValue, name) == kOptionsWithValue.end()) {
            return fail("unknown option " + Quoted(name) + " (see --help)");
        }

        std::string_view value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return fail(option + " needs a value (see --help)");
        }

        std::string numberError;
        const auto number = [&](std::uint64_t min, std::uint64_t max) -> std::optional<std::uint64_t> {
            const auto parsed = ParseUnsigned(value, 10);
            if (parsed && *parsed >= min && *parsed <= max) return parsed;
            numberError = option + ": " + Quoted(value) + " is not a number from " + std::to_string(min) + " to " +
                          std::to_string(max);
            return std::nullopt;
        };

        if (name == "--chip") {
            options.chip = FindChipModel(value);
            if (options.chip == nullptr) return fail("--chip: no chip model " + Quoted(value) + " (see --list-chips)");
        } else if (name == "--image" || name == "--save") {
            if (value.empty()) return fail(option + " needs a file name");
            (name == "--image" ? options.imagePath : options.savePath) = value;
        } else if (name == "--instance") {
            // The name becomes part of a folder name whose fields are split at '#'.
            if (value.empty() || value.find_first_of("/#") != std::string_view::npos || value == "." || value == "..") {
                return fail("--instance: " + Quoted(value) + " is not a usable name (not empty, no '/' or '#')");
            }
            options.instance = value;
        } else if (name == "--latency-us") {
            const auto us = number(0, kMaxLatencyUs);
            if (!us) return fail(numberError);
            options.latency = std::chrono::microseconds(*us);
        } else if (name == "--drop-at-unit") {
            const auto unit = number(1, kMaxUnit);
            if (!unit) return fail(numberError);
            options.faults.dropAtUnit = static_cast<std::uint32_t>(*unit);
        } else if (name == "--drop-on" || name == "--no-reply") {
            const auto code = ParseUnsigned(value, 16);
            if (!code || *code > 0xFF)
                return fail(std::string(name) + ": " + Quoted(value) + " is not a command code (hex, 00 to FF)");
            (name == "--drop-on" ? options.faults.dropOnCommand : options.faults.noReplyTo) =
                static_cast<std::uint8_t>(*code);
        } else if (name == "--header-length") {
            const auto length = number(0, kMaxHeaderLength);
            if (!length) return fail(numberError);
            options.faults.headerLength = static_cast<std::uint32_t>(*length);
        } else if (name == "--ack-junk") {
            if (value == "endless") {
                options.faults.ackJunk = 0;
                options.faults.ackJunkEndless = true;
            } else {
                const auto count = number(0, kMaxAckJunk);
                if (!count) return fail(numberError + ", or endless");
                options.faults.ackJunk = static_cast<std::uint32_t>(*count);
                options.faults.ackJunkEndless = false;
            }
        } else if (name == "--fail-erase-block") {
            const auto block = number(1, kMaxEraseBlock);
            if (!block) return fail(numberError);
            options.faults.failEraseBlock = static_cast<std::uint32_t>(*block);
        } else if (name == "--reply-padding") {
            const auto count = number(0, kMaxReplyPadding);
            if (!count) return fail(numberError);
            options.faults.replyPadding = static_cast<std::uint32_t>(*count);
        }
    }
    return options;
}

std::string SimUsage() {
    return "usage: kestro-sim [options]\n"
           "Serves a simulated Kestro USB programmer until SIGINT or SIGTERM.\n"
           "\n"
           "  --chip NAME             chip in the socket (default MX25L12845; see --list-chips)\n"
           "  --list-chips            list the chip models and exit\n"
           "  --image FILE            initial chip contents; a shorter file is padded with FF\n"
           "  --save FILE             write the chip contents to FILE on exit\n"
           "  --instance NAME         instance name of the device (default kestro-sim-0)\n"
           "  --latency-us N          replies wait for the next tick of an N-microsecond clock\n"
           "                          (1000 ~ the frames of full-speed USB)\n"
           "  --log-frames            print one line per received message\n"
           "  --help, -h              show this text and exit\n"
           "\n"
           "faults:\n"
           "  --drop-at-unit N        the device vanishes at the read/write frame of unit N\n"
           "                          or the erase frame of block N\n"
           "  --drop-on CODE          the device vanishes at a frame with command CODE (hex)\n"
           "  --no-reply CODE         frames with command CODE (hex) get no reply\n"
           "  --wrong-echo            replies to command frames start with a wrong byte\n"
           "  --header-length N       read headers announce N payload bytes, and N follow\n"
           "  --ack-junk N|endless    N zero bytes before each write acknowledgement;\n"
           "                          endless: zero bytes and never the acknowledgement\n"
           "  --fail-erase-block N    the erase of block N (1-based) reports failure\n"
           "  --reply-padding N       every reply carries N more 00 bytes than it should\n"
           "\n"
           "exit status: 0 after a normal stop, 1 when the device can't be served or saved,\n"
           "2 for a bad command line or image file\n";
}

std::string ChipListing() {
    std::string text;
    for (const ChipModel &chip : ChipModels()) {
        char line[160];
        std::snprintf(
            line, sizeof line, "%-12.*s %-10s %6u KiB  erase block %3u KiB  JEDEC %02X %02X %02X  ID %02X %02X\n",
            static_cast<int>(chip.name.size()), chip.name.data(),
            chip.kind == ChipKind::SpiNor ? "SPI NOR" : "I2C EEPROM", chip.capacity / 1024, chip.eraseBlock / 1024,
            chip.jedecId[0], chip.jedecId[1], chip.jedecId[2], chip.id90[0], chip.id90[1]);
        text += line;
    }
    return text;
}

bool LoadImageFile(const std::string &path, std::uint32_t capacity, std::vector<std::uint8_t> *image,
                   std::string *error) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot open image " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    // One byte more than fits tells a too-large file without reading all of it.
    std::vector<std::uint8_t> bytes(std::size_t{capacity} + 1);
    const std::size_t count = std::fread(bytes.data(), 1, bytes.size(), file.get());
    if (std::ferror(file.get())) {
        *error = "cannot read image " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    if (count > capacity) {
        *error = "image " + Quoted(path) + " is larger than the chip (" + std::to_string(capacity) + " bytes)";
        return false;
    }
    bytes.resize(count);
    *image = std::move(bytes);
    return true;
}

bool SaveImageFile(const std::string &path, const std::vector<std::uint8_t> &image, std::string *error) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        *error = "cannot create a temporary file beside " + Quoted(path) + ": " + std::strerror(errno);
        return false;
    }
    bool written = ::fchmod(fd, 0644) == 0 && WriteAll(fd, image.data(), image.size()) && ::fsync(fd) == 0;
    int writeErrno = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written) {
        *error = "cannot write " + Quoted(temporary) + ": " + std::strerror(writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot rename " + Quoted(temporary) + " to " + Quoted(path) + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace sim
