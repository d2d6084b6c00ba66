#pragma once
// The command-line front end: each command lives in its own cmd_*.cpp file
// and defines one CliCommand named kCommand_<file suffix>; the build lists
// them, so adding a command needs no edit elsewhere.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/result.h"

namespace zelmora::cli {

// Exit codes shared by every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work failed (a file could not be read, ...)
inline constexpr int kExitUsage = 2;    // the command line is wrong

class Args;

struct CliCommand {
    const char* name;
    const char* summary;  // one line for the list of commands
    const char* help;     // the whole usage text of the command
    int (*run)(Args& args);
};

// The arguments after the command name. Options are declared by the command
// before it reads them: flags take no value, options take one ("--method M"
// or "--method=M"). Anything else starting with "--" is an error.
class Args {
  public:
    Args(std::string command, std::vector<std::string> raw);

    // Declares the known options and splits the arguments; false (with an
    // error printed to stderr) when an unknown option or a missing value is
    // found.
    bool parse(const std::vector<std::string>& flags, const std::vector<std::string>& options);

    bool flag(const std::string& name) const;
    std::optional<std::string> option(const std::string& name) const;
    // All values of an option that may be repeated.
    std::vector<std::string> options(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }
    const std::string& command() const { return command_; }
    const std::vector<std::string>& raw() const { return raw_; }

    // Prints "zelmora-cli <command>: <message>" to stderr; returns kExitUsage.
    int usageError(const std::string& message) const;

  private:
    std::string command_;
    std::vector<std::string> raw_;
    std::vector<std::string> positional_;
    std::map<std::string, std::vector<std::string>> values_;
};

// The one way a failed piece of work reaches the person at the terminal: the
// line "zelmora-cli: <context><message>" on stderr. Returns kExitFailure, the
// exit code of a command whose work failed.
int failure(const Status& failed, const std::string& context = {});
// A failure the command found itself, reported the same way.
int failure(const std::string& message);

// Keeps the work log open for a command that changes data: the start line
// when it is made, the stop line when it ends.
class WorkLogSession {
  public:
    WorkLogSession();
    ~WorkLogSession();
    WorkLogSession(const WorkLogSession&) = delete;
    WorkLogSession& operator=(const WorkLogSession&) = delete;
};

// True when stderr is a terminal, for progress lines that rewrite themselves.
bool stderrIsTerminal();

}  // namespace zelmora::cli
