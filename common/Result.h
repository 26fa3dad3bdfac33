// Outcome types for operations that can fail with a message for the user or the log.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace pvrj {

// Success, or failure with a message.
class Status {
 public:
  static Status success() { return Status(true, {}); }
  static Status failure(std::string message) { return Status(false, std::move(message)); }

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const std::string& message() const { return message_; }

 private:
  Status(bool ok, std::string message) : ok_(ok), message_(std::move(message)) {}
  bool ok_;
  std::string message_;
};

// A value, or a failure message.
template <class T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: implicit on purpose
  static Result failure(std::string message) {
    Result r;
    r.message_ = std::move(message);
    return r;
  }

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return *value_; }
  T& value() & { return *value_; }
  T&& value() && { return std::move(*value_); }
  const T* operator->() const { return &*value_; }
  T* operator->() { return &*value_; }
  const std::string& message() const { return message_; }
  Status status() const { return ok() ? Status::success() : Status::failure(message_); }

 private:
  Result() = default;
  std::optional<T> value_;
  std::string message_;
};

}  // namespace pvrj
