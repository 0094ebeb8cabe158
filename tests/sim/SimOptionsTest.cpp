// kestro-sim's command line and image files, without a server.
#include "SimOptions.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaseName.h"

namespace sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<SimOptions> Parse(std::vector<std::string_view> args, std::string *error = nullptr) {
    std::string ignored;
    return ParseSimOptions(args, error != nullptr ? error : &ignored);
}

TEST(SimOptionsTest, DefaultsServeABlankMx25l12845WithoutFaults) {
    const auto options = Parse({});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->chip, FindChipModel("MX25L12845"));
    EXPECT_EQ(options->instance, "kestro-sim-0");
    EXPECT_EQ(options->latency.count(), 0);
    EXPECT_TRUE(options->imagePath.empty());
    EXPECT_TRUE(options->savePath.empty());
    EXPECT_FALSE(options->help || options->listChips || options->logFrames);
    const Faults &f = options->faults;
    EXPECT_EQ(f.dropAtUnit, 0u);
    EXPECT_FALSE(f.noReplyTo || f.wrongEcho || f.headerLength || f.ackJunkEndless);
    EXPECT_EQ(f.ackJunk, 0u);
    EXPECT_EQ(f.failEraseBlock, 0u);
}

struct AcceptedCase {
    const char *name;
    std::vector<std::string_view> args;
    std::function<void(const SimOptions &)> check;
};

void PrintTo(const AcceptedCase &c, std::ostream *out) { *out << c.name; }

class AcceptedOptionsTest : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedOptionsTest, SetTheirField) {
    std::string error;
    const auto options = Parse(GetParam().args, &error);
    ASSERT_TRUE(options) << error;
    GetParam().check(*options);
}

INSTANTIATE_TEST_SUITE_P(
    Options, AcceptedOptionsTest,
    ::testing::Values(
        AcceptedCase{"ChipAnyCase", {"--chip", "sst25vf016b"},
                     [](const SimOptions &o) { EXPECT_EQ(o.chip->name, "SST25VF016B"); }},
        AcceptedCase{"ChipWithEquals", {"--chip=24C64"}, [](const SimOptions &o) { EXPECT_EQ(o.chip->name, "24C64"); }},
        AcceptedCase{"ImageAndSave", {"--image", "in.bin", "--save=out.bin"},
                     [](const SimOptions &o) {
                         EXPECT_EQ(o.imagePath, "in.bin");
                         EXPECT_EQ(o.savePath, "out.bin");
                     }},
        AcceptedCase{"Instance", {"--instance", "bench-1"},
                     [](const SimOptions &o) { EXPECT_EQ(o.instance, "bench-1"); }},
        AcceptedCase{"Latency", {"--latency-us", "1000"},
                     [](const SimOptions &o) { EXPECT_EQ(o.latency.count(), 1000); }},
        AcceptedCase{"Flags", {"--log-frames", "--list-chips", "-h", "--wrong-echo"},
                     [](const SimOptions &o) {
                         EXPECT_TRUE(o.logFrames);
                         EXPECT_TRUE(o.listChips);
                         EXPECT_TRUE(o.help);
                         EXPECT_TRUE(o.faults.wrongEcho);
                     }},
        AcceptedCase{"DropAtUnit", {"--drop-at-unit", "65535"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.dropAtUnit, 65535u); }},
        AcceptedCase{"NoReplyPlainHex", {"--no-reply", "fc"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.noReplyTo, std::optional<std::uint8_t>(0xFC)); }},
        AcceptedCase{"NoReplyPrefixedHex", {"--no-reply=0x20"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.noReplyTo, std::optional<std::uint8_t>(0x20)); }},
        AcceptedCase{"HeaderLengthZero", {"--header-length", "0"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.headerLength, std::optional<std::uint32_t>(0)); }},
        AcceptedCase{"AckJunkCount", {"--ack-junk", "3"},
                     [](const SimOptions &o) {
                         EXPECT_EQ(o.faults.ackJunk, 3u);
                         EXPECT_FALSE(o.faults.ackJunkEndless);
                     }},
        AcceptedCase{"AckJunkEndless", {"--ack-junk", "endless"},
                     [](const SimOptions &o) { EXPECT_TRUE(o.faults.ackJunkEndless); }},
        AcceptedCase{"LastValueWins", {"--ack-junk", "endless", "--ack-junk", "2"},
                     [](const SimOptions &o) {
                         EXPECT_EQ(o.faults.ackJunk, 2u);
                         EXPECT_FALSE(o.faults.ackJunkEndless);
                     }},
        AcceptedCase{"FailEraseBlockLast", {"--fail-erase-block", "256"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.failEraseBlock, 256u); }},
        AcceptedCase{"DropOnIdentify", {"--drop-on", "20"},
                     [](const SimOptions &o) {
                         EXPECT_EQ(o.faults.dropOnCommand, std::optional<std::uint8_t>(0x20));
                         EXPECT_FALSE(o.faults.noReplyTo);
                     }},
        AcceptedCase{"ReplyPaddingLargest", {"--reply-padding=65535"},
                     [](const SimOptions &o) { EXPECT_EQ(o.faults.replyPadding, 65535u); }}),
    CaseName());

struct RefusedCase {
    const char *name;
    std::vector<std::string_view> args;
    const char *reason;  // part of the error text
};

void PrintTo(const RefusedCase &c, std::ostream *out) { *out << c.name; }

class RefusedOptionsTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedOptionsTest, GiveAReason) {
    std::string error;
    EXPECT_FALSE(Parse(GetParam().args, &error));
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Options, RefusedOptionsTest,
    ::testing::Values(
        RefusedCase{"UnknownOption", {"--chips"}, "unknown option '--chips'"},
        RefusedCase{"Positional", {"MX25L12845"}, "unexpected argument 'MX25L12845'"},
        RefusedCase{"MissingValue", {"--chip"}, "--chip needs a value"},
        RefusedCase{"UnknownChip", {"--chip", "W25Q64"}, "no chip model 'W25Q64'"},
        RefusedCase{"EmptyImageName", {"--image="}, "--image needs a file name"},
        RefusedCase{"FlagWithValue", {"--wrong-echo=1"}, "--wrong-echo takes no value"},
        RefusedCase{"InstanceEmpty", {"--instance", ""}, "--instance"},
        RefusedCase{"InstanceWithSlash", {"--instance", "a/b"}, "--instance"},
        RefusedCase{"InstanceWithHash", {"--instance", "a#b"}, "--instance"},
        RefusedCase{"NotANumber", {"--latency-us", "fast"}, "--latency-us: 'fast' is not a number"},
        RefusedCase{"Negative", {"--drop-at-unit", "-1"}, "from 1 to 65535"},
        RefusedCase{"TrailingJunk", {"--drop-at-unit", "12u"}, "from 1 to 65535"},
        RefusedCase{"EmptyNumber", {"--header-length="}, "--header-length"},
        RefusedCase{"UnitZero", {"--drop-at-unit", "0"}, "from 1 to 65535"},
        RefusedCase{"UnitPast16Bits", {"--drop-at-unit", "65536"}, "from 1 to 65535"},
        RefusedCase{"Overflow", {"--drop-at-unit", "99999999999999999999999"}, "from 1 to 65535"},
        RefusedCase{"EraseBlockZero", {"--fail-erase-block", "0"}, "from 1 to 256"},
        RefusedCase{"EraseBlockPastIndexByte", {"--fail-erase-block", "257"}, "from 1 to 256"},
        RefusedCase{"HeaderLengthPast16Bits", {"--header-length", "65536"}, "from 0 to 65535"},
        RefusedCase{"AckJunkWord", {"--ack-junk", "forever"}, "or endless"},
        RefusedCase{"LatencyTooLong", {"--latency-us", "60000001"}, "from 0 to 60000000"},
        RefusedCase{"NoReplyPastAByte", {"--no-reply", "100"}, "00 to FF"},
        RefusedCase{"NoReplyNotHex", {"--no-reply", "xyz"}, "00 to FF"},
        RefusedCase{"NoReplyPrefixOnly", {"--no-reply", "0x"}, "00 to FF"},
        RefusedCase{"DropOnPastAByte", {"--drop-on", "1FF"}, "--drop-on: '1FF' is not a command code"},
        RefusedCase{"ReplyPaddingPastTheLargest", {"--reply-padding", "65536"}, "0 to 65535"}),
    CaseName());

TEST(SimUsageTest, NamesEveryOption) {
    const std::string usage = SimUsage();
    for (const char *option : {"--chip", "--list-chips", "--image", "--save", "--instance", "--latency-us",
                               "--log-frames", "--drop-at-unit", "--drop-on", "--no-reply", "--wrong-echo", "--header-length",
                               "--ack-junk", "--fail-erase-block", "--reply-padding", "--help"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

class ImageFileTest : public ::testing::Test {
protected:
    ImageFileTest() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestro-sim-test-XXXXXX").string();
        folder_ = ::mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~ImageFileTest() override {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::string PathOf(const char *name) const { return (folder_ / name).string(); }

    void WriteFile(const char *name, const Bytes &bytes) const {
        std::ofstream(PathOf(name), std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    Bytes ReadFile(const std::string &path) const {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path folder_;
};

TEST_F(ImageFileTest, LoadsFilesUpToTheCapacity) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{100}, std::size_t{8192}}) {
        const Bytes bytes(size, 0xCC);
        WriteFile("image.bin", bytes);
        Bytes image{1, 2, 3};
        std::string error;
        ASSERT_TRUE(LoadImageFile(PathOf("image.bin"), 8192, &image, &error)) << error;
        EXPECT_EQ(image, bytes);
    }
}

TEST_F(ImageFileTest, RefusesALargerFileAndAMissingOne) {
    WriteFile("image.bin", Bytes(8193, 0xCC));
    Bytes image;
    std::string error;
    EXPECT_FALSE(LoadImageFile(PathOf("image.bin"), 8192, &image, &error));
    EXPECT_NE(error.find("larger than the chip"), std::string::npos) << error;

    EXPECT_FALSE(LoadImageFile(PathOf("missing.bin"), 8192, &image, &error));
    EXPECT_NE(error.find("cannot open image"), std::string::npos) << error;

    EXPECT_FALSE(LoadImageFile(folder_.string(), 8192, &image, &error)) << "a folder is no image";
}

TEST_F(ImageFileTest, SaveReplacesTheFileAndLeavesNoTemporary) {
    WriteFile("image.bin", Bytes(10, 0x11));
    const Bytes image(4096, 0xCC);
    std::string error;
    ASSERT_TRUE(SaveImageFile(PathOf("image.bin"), image, &error)) << error;
    EXPECT_EQ(ReadFile(PathOf("image.bin")), image);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 1);
}

TEST_F(ImageFileTest, SaveIntoAMissingFolderFailsWithAReason) {
    std::string error;
    EXPECT_FALSE(SaveImageFile(PathOf("no-such-folder/image.bin"), Bytes(16, 0xCC), &error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
}

}  // namespace
}  // namespace sim
