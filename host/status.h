// Status: the outcome of a step of velmoran-send, ok or an error with a
// message for people. Every fallible host function returns one; the error's
// code decides the command's exit status, its message is the line printed.
//
// Thread safety: a value; distinct objects may be used from any thread.
#pragma once

#include <string>
#include <utility>

namespace velmoran::host {

class Status {
 public:
  enum class Code {
    kOk,
    kUsage,         // the command line is wrong
    kInvalidInput,  // the order file, its reading or its conversion
    kNoPlugin,      // the plug-in cannot be loaded
    kRuntime,       // a runtime error unwound out of the plug-in
  };

  Status() = default;  // ok

  static Status usage(std::string message) { return {Code::kUsage, std::move(message)}; }
  static Status invalidInput(std::string message) {
    return {Code::kInvalidInput, std::move(message)};
  }
  static Status noPlugin(std::string message) { return {Code::kNoPlugin, std::move(message)}; }
  static Status runtime(std::string message) { return {Code::kRuntime, std::move(message)}; }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // The line for people: the message, "ok" when there is none.
  std::string toString() const { return ok() ? "ok" : message_; }

  // The same error with `prefix` before its message ("--codepage: ...").
  Status prefixed(const std::string& prefix) const { return {code_, prefix + message_}; }

 private:
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace velmoran::host
