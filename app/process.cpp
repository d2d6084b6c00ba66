#include "app/process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char** environ;

namespace zelmora {

Result<ChildProcess> ChildProcess::start(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty())
        return Status::failure(std::strerror(ENOENT));
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    // posix_spawnp reports a program that cannot be executed as an error of
    // its own (glibc waits for the exec), so a wrong name is never mistaken
    // for a program that ran and failed.
    const int rc = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (rc != 0)
        return Status::failure(std::strerror(rc));
    ChildProcess child;
    child.pid_ = pid;
    return child;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(std::exchange(other.pid_, -1)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (running())
            wait();
        pid_ = std::exchange(other.pid_, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    if (running())
        wait();
}

ProcessResult ChildProcess::wait() {
    ProcessResult r;
    if (!running())
        return r;
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    pid_ = -1;
    if (got < 0)
        return r;  // reaped elsewhere: neither an exit code nor a signal is known
    if (WIFEXITED(status)) {
        r.exited = true;
        r.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signalled = true;
        r.signalNumber = WTERMSIG(status);
    }
    return r;
}

Result<ProcessResult> runProcess(const std::vector<std::string>& argv) {
    Result<ChildProcess> child = ChildProcess::start(argv);
    if (!child)
        return child.status();
    return child->wait();
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;  // a word has begun (possibly an empty quoted one)
    bool quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

}  // namespace zelmora
