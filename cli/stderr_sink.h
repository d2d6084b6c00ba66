#pragma once
// What the core would show in a message box goes to stderr, after an optional
// prefix ("zelmora-cli export: "); questions are printed and answered "no".

#include <cstdio>
#include <string>
#include <string_view>

#include "document/message_sink.h"

namespace zelmora::cli {

class StderrMessageSink : public MessageSink {
  public:
    explicit StderrMessageSink(std::string prefix = {}) : prefix(std::move(prefix)) {}
    void message(int, std::string_view text) override { print(text); }
    void messageBox(std::string_view, std::string_view text, MessageIcon) override { print(text); }
    bool askYesNo(std::string_view, std::string_view text) override {
        print(text);
        return false;
    }

    std::string prefix;

  private:
    void print(std::string_view text) const {
        std::fprintf(stderr, "%s%.*s\n", prefix.c_str(), static_cast<int>(text.size()),
                     text.data());
    }
};

}  // namespace zelmora::cli
