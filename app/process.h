#pragma once
// Running an outside program of the laboratory (the export program that takes
// the results of an analysis) and waiting for it. The program gets an argument
// list, never a shell command line, so that file names with blanks, quotes or
// shell characters reach it as they are.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"

namespace zelmora {

// How a program that was started ended.
struct ProcessResult {
    bool exited = false;  // ended by itself with exitCode
    int exitCode = -1;
    bool signalled = false;  // killed by the signal signalNumber
    int signalNumber = 0;

    bool succeeded() const { return exited && exitCode == 0; }
};

// A started child process. The destructor waits for a child that was not
// waited for, so that no zombie is left behind on any path.
class ChildProcess {
  public:
    // Starts argv[0] with the arguments argv[1...]; a name without "/" is
    // looked up on PATH. The child inherits the environment and the standard
    // streams. A program that cannot be started is a failure saying why (the
    // system's text of the error).
    static Result<ChildProcess> start(const std::vector<std::string>& argv);

    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Waits until the child ends (a signal arriving meanwhile does not end the
    // wait) and tells how it ended.
    ProcessResult wait();

  private:
    ChildProcess() = default;

    pid_t pid_ = -1;
};

// Starts the program and waits for it; a failure when it cannot be started.
Result<ProcessResult> runProcess(const std::vector<std::string>& argv);

// Splits a configured command line into words: blanks and tabs separate words,
// double quotes group a text with blanks into one word (the quotes themselves
// are dropped, "" gives an empty word, a quote left open runs to the end).
std::vector<std::string> splitCommandLine(std::string_view line);

}  // namespace zelmora
