#pragma once
// The one way the core reports an expected failure — a damaged file, a device
// that does not answer, a refused database write: `Status` is success or a
// failure with the message the operator is shown; `Result<T>` is a value or
// such a failure. Each front end turns a failed result into its own message
// (a message box in the desktop program, a line on stderr in the command-line
// tool) in one place.
//
// Exceptions stay for programming errors and out-of-memory.

#include <optional>
#include <string>
#include <utility>

namespace zelmora {

// Success, or a failure with its message.
class Status {
  public:
    Status() = default;
    // A failure; an empty message is replaced by a generic one so that a
    // failure never reaches the operator as an empty box.
    static Status failure(std::string message) {
        Status s;
        s.failed_ = true;
        s.message_ = message.empty() ? std::string("ошибка") : std::move(message);
        return s;
    }
    explicit operator bool() const { return !failed_; }
    bool ok() const { return !failed_; }
    const std::string& message() const { return message_; }

  private:
    bool failed_ = false;
    std::string message_;
};

// A value or a failure message.
template <typename T>
class Result {
  public:
    Result(T value) : value_(std::move(value)) {}
    Result(Status failure) : status_(std::move(failure)) {}
    explicit operator bool() const { return value_.has_value(); }
    bool ok() const { return value_.has_value(); }
    const T& value() const& { return *value_; }
    T& value() & { return *value_; }
    T&& value() && { return std::move(*value_); }
    const T& operator*() const { return *value_; }
    T& operator*() { return *value_; }
    const T* operator->() const { return &*value_; }
    T* operator->() { return &*value_; }
    const Status& status() const { return status_; }
    const std::string& message() const { return status_.message(); }

  private:
    std::optional<T> value_;
    Status status_;
};

}  // namespace zelmora
