// Test main for suites that register simulated programmers: each test process
// gets a device registry of its own, so neither a simulator that a person is
// running nor a parallel test process can be seen.
#include <filesystem>
#include <system_error>

#include <gtest/gtest.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char folder[] = "/tmp/kestro-test-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 2;
    }
    setenv("XDG_RUNTIME_DIR", folder, 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
