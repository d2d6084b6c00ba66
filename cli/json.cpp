#include "cli/json.h"

#include <cmath>

#include "app/text.h"

namespace zelmora::cli {

std::string JsonWriter::quote(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    out += text::format("\\u%04x", static_cast<unsigned>(c));
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

void JsonWriter::newline() {
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
}

void JsonWriter::separator() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back())
            out_ += ',';
        first_.back() = false;
        newline();
    }
}

JsonWriter& JsonWriter::beginObject() {
    separator();
    out_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty)
        newline();
    out_ += '}';
    if (first_.empty())
        out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    separator();
    out_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty)
        newline();
    out_ += ']';
    if (first_.empty())
        out_ += '\n';
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view k) {
    separator();
    out_ += quote(k);
    out_ += ": ";
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view s) {
    separator();
    out_ += quote(s);
    return *this;
}

JsonWriter& JsonWriter::value(double d) {
    separator();
    if (!std::isfinite(d)) {
        out_ += "null";
    } else {
        out_ += text::format("%.10g", d);
    }
    return *this;
}

JsonWriter& JsonWriter::value(long long i) {
    separator();
    out_ += std::to_string(i);
    return *this;
}

JsonWriter& JsonWriter::value(unsigned long long i) {
    separator();
    out_ += std::to_string(i);
    return *this;
}

JsonWriter& JsonWriter::value(bool b) {
    separator();
    out_ += b ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separator();
    out_ += "null";
    return *this;
}

}  // namespace zelmora::cli
