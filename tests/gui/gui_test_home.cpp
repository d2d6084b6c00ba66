// Every Qt test program keeps its settings, work log and data in a folder of
// its own. ctest gives each one a folder; a test started by hand gets a
// fresh temporary one here, before main() reads any setting, so it never
// writes into the user's real settings or work log.

#include <cstdlib>
#include <string>

namespace {

const bool kHomeSet = [] {
    const char* home = std::getenv("ZELMORA_HOME");
    if (home != nullptr && home[0] != '\0')
        return false;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/zelmora-guitest-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        std::abort();  // no folder of its own: never fall back to the real home
    return ::setenv("ZELMORA_HOME", pattern.c_str(), 1) == 0;
}();

}  // namespace
