#include "document/message_sink.h"

#include "app/work_log.h"

namespace zelmora {
namespace {

std::string logLine(std::string_view caption, std::string_view text, MessageIcon icon) {
    std::string line;
    switch (icon) {
        case MessageIcon::Information:
            line = "  ";
            break;
        case MessageIcon::Warning:
        case MessageIcon::Question:
            line = "? ";
            break;
        case MessageIcon::Error:
            line = "! ";
            break;
    }
    if (!caption.empty()) {
        line += caption;
        line += ": ";
    }
    line += text;
    return line;
}

}  // namespace

void RecordingMessageSink::message(int resourceId, std::string_view text) {
    entries.push_back({resourceId, {}, std::string(text), MessageIcon::Error});
}

void RecordingMessageSink::messageBox(std::string_view caption, std::string_view text,
                                      MessageIcon icon) {
    entries.push_back({0, std::string(caption), std::string(text), icon});
}

bool RecordingMessageSink::askYesNo(std::string_view caption, std::string_view text) {
    entries.push_back({0, std::string(caption), std::string(text), MessageIcon::Question});
    return answer;
}

void WorkLogMessageSink::message(int, std::string_view text) {
    CWorkLog::instance().write(logLine({}, text, MessageIcon::Error));
}

void WorkLogMessageSink::messageBox(std::string_view caption, std::string_view text,
                                    MessageIcon icon) {
    CWorkLog::instance().write(logLine(caption, text, icon));
}

bool WorkLogMessageSink::askYesNo(std::string_view caption, std::string_view text) {
    CWorkLog::instance().write(logLine(caption, text, MessageIcon::Question));
    return false;
}

std::string messageText(int resourceId, std::string_view argument) {
    std::string pattern;
    switch (resourceId) {
        case kMsgPassportRewriteError:
            pattern = "Ошибка чтения паспорта, хроматограмма %1.";
            break;
        case kMsgOpenError:
            pattern = "Ошибка открытия хроматограммы %1.";
            break;
        case kMsgSaveError:
            pattern = "Ошибка сохранения хроматограммы %1.";
            break;
        default:
            return std::string(argument);
    }
    const std::size_t at = pattern.find("%1");
    pattern.replace(at, 2, argument);
    return pattern;
}

}  // namespace zelmora
