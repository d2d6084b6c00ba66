#pragma once
// A small streaming JSON writer for the --json output of the commands.

#include <string>
#include <string_view>
#include <vector>

namespace zelmora::cli {

class JsonWriter {
  public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view k);
    JsonWriter& value(std::string_view s);
    JsonWriter& value(const char* s) { return value(std::string_view(s)); }
    JsonWriter& value(const std::string& s) { return value(std::string_view(s)); }
    JsonWriter& value(double d);
    JsonWriter& value(int i) { return value(static_cast<long long>(i)); }
    JsonWriter& value(long i) { return value(static_cast<long long>(i)); }
    JsonWriter& value(long long i);
    JsonWriter& value(unsigned long long i);
    JsonWriter& value(unsigned long i) { return value(static_cast<unsigned long long>(i)); }
    JsonWriter& value(unsigned i) { return value(static_cast<unsigned long long>(i)); }
    JsonWriter& value(bool b);
    JsonWriter& null();
    template <typename T>
    JsonWriter& field(std::string_view k, const T& v) {
        key(k);
        return value(v);
    }

    const std::string& str() const { return out_; }

    static std::string quote(std::string_view s);

  private:
    void separator();
    void newline();

    std::string out_;
    std::vector<bool> first_;  // per open container: no element written yet
    bool afterKey_ = false;
};

}  // namespace zelmora::cli
