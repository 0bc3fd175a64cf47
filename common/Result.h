// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one way host libraries report failure: a value, or an error whose
// message is one line naming what is wrong. Nothing here throws; callers test
// the result and pass the error on (adding where it came from) or print it.
#pragma once

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace sio {

struct Error {
  std::string Message;
};

// The error a function gives back: `return Fail("bad signature");`.
inline Error Fail(std::string Message) { return Error{std::move(Message)}; }

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

  // The same failure with Context in front: "volume at 0x1000: bad checksum".
  Error Within(const std::string& Context) const {
    return Error{Context + ": " + Failure().Message};
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
  Error Within(const std::string& Context) const {
    return Error{Context + ": " + Failure().Message};
  }

private:
  bool Failed = false;
  Error Failure_;
};

} // namespace sio
