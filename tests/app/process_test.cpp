// Splitting a configured command line, running a program to its end, and the
// scratch file that is gone afterwards.

#include "app/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "app/temporary_file.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

TEST(Process, CommandLineWords) {
    using W = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("  prog  a\tb "), (W{"prog", "a", "b"}));
    EXPECT_EQ(splitCommandLine("\"/opt/my tools/prog\" \"два слова\" x"),
              (W{"/opt/my tools/prog", "два слова", "x"}));
    EXPECT_EQ(splitCommandLine("a \"\" b"), (W{"a", "", "b"}));
    EXPECT_EQ(splitCommandLine("x\"y z\"w"), (W{"xy zw"}));
    EXPECT_EQ(splitCommandLine("prog \"open to the end"), (W{"prog", "open to the end"}));
    EXPECT_TRUE(splitCommandLine(" \t ").empty());
}

TEST(Process, ExitCodesSignalsAndStartFailures) {
    Result<ProcessResult> r = runProcess({"sh", "-c", "exit 7"});  // found on PATH
    EXPECT_TRUE(r);
    EXPECT_TRUE(r->exited);
    EXPECT_EQ(r->exitCode, 7);
    EXPECT_FALSE(r->succeeded());

    EXPECT_TRUE(runProcess({"/bin/sh", "-c", "[ \"$1\" = 'a b;c' ]", "sh", "a b;c"})->succeeded());

    r = runProcess({"/bin/sh", "-c", "kill -TERM $$"});
    EXPECT_TRUE(r->signalled);
    EXPECT_EQ(r->signalNumber, SIGTERM);
    EXPECT_FALSE(r->succeeded());

    r = runProcess({"/no/such/program"});
    EXPECT_FALSE(r);
    EXPECT_EQ(r.message(), std::strerror(ENOENT));
    EXPECT_FALSE(runProcess({}));

    // A child that is never waited for explicitly is reaped by its owner.
    { Result<ChildProcess> child = ChildProcess::start({"/bin/true"}); }
}

TEST(TemporaryFileTest, SuffixContentRemovalAndTmpdir) {
    test::TempDir dir;
    fs::path kept;
    {
        Result<TemporaryFile> f = TemporaryFile::create("<x/>", "export-", ".xml", dir.path());
        ASSERT_TRUE(f);
        kept = f->path();
        EXPECT_EQ(kept.parent_path(), dir.path());
        EXPECT_EQ(kept.extension(), ".xml");
        EXPECT_EQ(test::readFile(kept), "<x/>");
        // Two files never share a name.
        Result<TemporaryFile> g = TemporaryFile::create("", "export-", ".xml", dir.path());
        ASSERT_TRUE(g);
        EXPECT_NE(g->path(), kept);
    }
    EXPECT_FALSE(fs::exists(kept));
    EXPECT_TRUE(fs::is_empty(dir.path()));

    Result<TemporaryFile> missing = TemporaryFile::create("x", "a", ".xml", dir / "missing");
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.message().empty());

    const char* old = std::getenv("TMPDIR");
    const std::string saved = old ? old : "";
    ::setenv("TMPDIR", dir.path().c_str(), 1);
    EXPECT_EQ(temporaryFolder(), dir.path());
    ::setenv("TMPDIR", (dir / "missing").c_str(), 1);
    EXPECT_EQ(temporaryFolder(), fs::path("/tmp"));
    if (old)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace zelmora
