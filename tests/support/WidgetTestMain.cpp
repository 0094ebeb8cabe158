// Test main for suites that need a QApplication and may register simulated
// programmers: windows go to the offscreen platform unless another is asked
// for, and each test process gets a device registry of its own.
#include <filesystem>
#include <system_error>

#include <QApplication>
#include <gtest/gtest.h>
#include <stdlib.h>

int main(int argc, char **argv) {
    char folder[] = "/tmp/kestro-test-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 2;
    }
    setenv("XDG_RUNTIME_DIR", folder, 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
