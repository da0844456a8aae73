#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace bm {

// A failure as the platform describes it: one line a user can act on.
struct Error {
  std::string description;
};

// A value or the Error that prevented it. Nothing crosses the seam by throwing.
template <class T>
class Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Error error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const Error& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, Error> state_;
};

// Success or an Error.
class Status {
 public:
  Status() = default;
  Status(Error error) : error_(std::move(error)) {}
  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

}  // namespace bm
