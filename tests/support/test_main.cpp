// Every test binary runs with ZELMORA_HOME pointing at a fresh temporary
// folder, so that no test reads or writes the real settings or folders.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelmora-test-XXXXXX").string();
    const char* dir = ::mkdtemp(tmpl.data());
    if (dir == nullptr)
        return 1;
    ::setenv("ZELMORA_HOME", dir, 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    if (std::getenv("ZELMORA_KEEP_TEST_HOME") == nullptr)
        std::filesystem::remove_all(dir, ec);
    return rc;
}
