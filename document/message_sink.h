#pragma once
// How the core tells the operator something and asks a question, without a
// window of its own: the GUI shows message boxes, the command-line tool prints
// to stderr, tests record what was said.

#include <string>
#include <string_view>
#include <vector>

namespace zelmora {

enum class MessageIcon { Information, Warning, Error, Question };

// Numbers of the string-table messages of the chromatogram file.
inline constexpr int kMsgPassportRewriteError = 176;  // "Ошибка чтения паспорта, хроматограмма %1."
inline constexpr int kMsgOpenError = 180;  // "Ошибка открытия хроматограммы %1."
inline constexpr int kMsgSaveError = 181;  // "Ошибка сохранения хроматограммы %1."

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // A message of the string table, `resourceId`, with its text filled in.
    virtual void message(int resourceId, std::string_view text) = 0;
    // A message box with its own caption (no owner window).
    virtual void messageBox(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
    // A yes/no question; true for "yes".
    virtual bool askYesNo(std::string_view caption, std::string_view text) = 0;
};

// Says nothing and answers "no".
class SilentMessageSink : public MessageSink {
  public:
    void message(int, std::string_view) override {}
    void messageBox(std::string_view, std::string_view, MessageIcon) override {}
    bool askYesNo(std::string_view, std::string_view) override { return false; }
};

// Keeps everything that was said, for tests and for batch tools that print
// the messages at the end. Not shared between threads.
class RecordingMessageSink : public MessageSink {
  public:
    struct Entry {
        int resourceId = 0;  // 0 for a message box or a question
        std::string caption;
        std::string text;
        MessageIcon icon = MessageIcon::Information;
    };

    void message(int resourceId, std::string_view text) override;
    void messageBox(std::string_view caption, std::string_view text, MessageIcon icon) override;
    bool askYesNo(std::string_view caption, std::string_view text) override;

    std::vector<Entry> entries;
    bool answer = false;  // the answer given to every question
};

// For work that runs without an operator (automatic exports after a
// recording): every message becomes a work-log line, "! " for errors and
// "? " for warnings, and every question is answered "no".
class WorkLogMessageSink : public MessageSink {
  public:
    void message(int resourceId, std::string_view text) override;
    void messageBox(std::string_view caption, std::string_view text, MessageIcon icon) override;
    bool askYesNo(std::string_view caption, std::string_view text) override;
};

// The string-table message `resourceId` with "%1" replaced by `argument`.
std::string messageText(int resourceId, std::string_view argument);

}  // namespace zelmora
