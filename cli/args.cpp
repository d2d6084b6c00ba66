#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "app/program_settings.h"
#include "app/work_log.h"
#include "cli/cli.h"

namespace zelmora::cli {

Args::Args(std::string command, std::vector<std::string> raw)
    : command_(std::move(command)), raw_(std::move(raw)) {}

bool Args::parse(const std::vector<std::string>& flags, const std::vector<std::string>& options) {
    positional_.clear();
    values_.clear();
    auto known = [](const std::vector<std::string>& list, const std::string& s) {
        return std::find(list.begin(), list.end(), s) != list.end();
    };
    bool onlyPositional = false;
    for (std::size_t i = 0; i < raw_.size(); ++i) {
        const std::string& a = raw_[i];
        if (onlyPositional || a.size() < 2 || a[0] != '-' || a == "-") {
            positional_.push_back(a);
            continue;
        }
        if (a == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = a;
        std::optional<std::string> inlineValue;
        if (const auto eq = a.find('='); eq != std::string::npos && a.rfind("--", 0) == 0) {
            name = a.substr(0, eq);
            inlineValue = a.substr(eq + 1);
        }
        if (known(flags, name) && !inlineValue) {
            values_[name].push_back("1");
        } else if (known(options, name)) {
            if (inlineValue) {
                values_[name].push_back(*inlineValue);
            } else if (i + 1 < raw_.size()) {
                values_[name].push_back(raw_[++i]);
            } else {
                usageError("у параметра " + name + " нет значения");
                return false;
            }
        } else {
            usageError("неизвестный параметр " + a + " (см. --help)");
            return false;
        }
    }
    return true;
}

bool Args::flag(const std::string& name) const {
    return values_.count(name) != 0;
}

std::optional<std::string> Args::option(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end() || it->second.empty())
        return std::nullopt;
    return it->second.back();
}

std::vector<std::string> Args::options(const std::string& name) const {
    auto it = values_.find(name);
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

int Args::usageError(const std::string& message) const {
    std::fprintf(stderr, "zelmora-cli %s: %s\n", command_.c_str(), message.c_str());
    return kExitUsage;
}

int failure(const Status& failed, const std::string& context) {
    std::fprintf(stderr, "zelmora-cli: %s%s\n", context.c_str(), failed.message().c_str());
    return kExitFailure;
}

int failure(const std::string& message) {
    return failure(Status::failure(message));
}

WorkLogSession::WorkLogSession() {
    CWorkLog::instance().start(programOptions().logFolder(), versionNumber(), buildDateText());
}

WorkLogSession::~WorkLogSession() {
    CWorkLog::instance().stop();
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace zelmora::cli
