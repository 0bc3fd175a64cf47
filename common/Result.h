// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one way host libraries report failure: a value, or an error whose
// message is one line naming what is wrong. Nothing here throws; callers test
// the result and pass the error on (adding where it came from) or print it.
#pragma once

#include <cassert>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace sio {

// What went wrong, as far as the one who asked must act on it.
enum class ErrorKind : uint8_t {
  BadInput, // malformed or out-of-range input: a file's bytes, a field, an argument
  Refused,  // well-formed input the operation will not take: a clash, no room, no way to do it
  Failed,   // a check found a difference, or a run did not go as it must
  Io,       // a file, device, socket or process could not be opened, read, written or run
};

// The exit code a command ends with for an error of this kind: 1 for a
// difference or failed check, 2 for what the user must change first.
constexpr int ExitCodeFor(ErrorKind Kind) {
  return Kind == ErrorKind::Failed ? 1 : 2;
}

// The kind's name, for test output and messages: "bad input", "refused", ...
constexpr const char* KindName(ErrorKind Kind) {
  switch (Kind) {
  case ErrorKind::BadInput:
    return "bad input";
  case ErrorKind::Refused:
    return "refused";
  case ErrorKind::Failed:
    return "failed";
  case ErrorKind::Io:
    return "I/O";
  }
  return "?";
}

struct Error {
  std::string Message;
  ErrorKind Kind = ErrorKind::BadInput;
  // A held signal that stopped the work (0: none): the program reports the
  // error, then ends by that signal (RunMain).
  int Signal = 0;
};

// The error a function gives back: `return Fail("bad signature");` for input
// it cannot read, `return Fail(ErrorKind::Refused, "no room")` for any other.
inline Error Fail(std::string Message) {
  return Error{std::move(Message)};
}
inline Error Fail(ErrorKind Kind, std::string Message) {
  return Error{std::move(Message), Kind};
}

template <typename T> class [[nodiscard]] Result {
public:
  Result(T Value) : State(std::in_place_index<0>, std::move(Value)) {}
  Result(Error Failure) : State(std::in_place_index<1>, std::move(Failure)) {}

  bool Ok() const { return State.index() == 0; }
  explicit operator bool() const { return Ok(); }

  T& Value() & {
    assert(Ok());
    return std::get<0>(State);
  }
  const T& Value() const& {
    assert(Ok());
    return std::get<0>(State);
  }
  T&& Value() && {
    assert(Ok());
    return std::get<0>(std::move(State));
  }
  T* operator->() { return &Value(); }
  const T* operator->() const { return &Value(); }
  T& operator*() & { return Value(); }
  const T& operator*() const& { return Value(); }

  const Error& Failure() const {
    assert(!Ok());
    return std::get<1>(State);
  }
  const std::string& Message() const { return Failure().Message; }
  ErrorKind Kind() const { return Failure().Kind; }

  // The same failure with Context in front: "volume at 0x1000: bad checksum".
  Error Within(const std::string& Context) const {
    return Error{Context + ": " + Failure().Message, Failure().Kind, Failure().Signal};
  }

private:
  std::variant<T, Error> State;
};

template <> class [[nodiscard]] Result<void> {
public:
  Result() = default;
  Result(Error Failure) : Failed(true), Failure_(std::move(Failure)) {}

  bool Ok() const { return !Failed; }
  explicit operator bool() const { return Ok(); }
  const Error& Failure() const {
    assert(Failed);
    return Failure_;
  }
  const std::string& Message() const { return Failure().Message; }
  ErrorKind Kind() const { return Failure().Kind; }
  Error Within(const std::string& Context) const {
    return Error{Context + ": " + Failure().Message, Failure().Kind, Failure().Signal};
  }

private:
  bool Failed = false;
  Error Failure_;
};

} // namespace sio
