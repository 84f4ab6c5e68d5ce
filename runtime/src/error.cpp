// Raising runtime errors and the process-wide error handler.

#include "hostrt/error.h"

#include <mutex>

#include "hostrt/frame.h"

namespace hostrt {

namespace {

std::mutex handlerMutex;
ErrorHandler& currentHandler() {
  static ErrorHandler handler;  // empty: the default, which unwinds
  return handler;
}

std::string describe(const ErrorObject& error) {
  std::string text = error.description;
  if (!error.procedure.empty()) {
    text += " (" + error.procedure + ", line " + std::to_string(error.line) + ")";
  }
  return text;
}

}  // namespace

RuntimeError::RuntimeError(std::shared_ptr<const ErrorObject> error)
    : error_(std::move(error)), message_(describe(*error_)) {}

ErrorHandler rtSetErrorHandler(ErrorHandler handler) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  ErrorHandler previous = std::move(currentHandler());
  currentHandler() = std::move(handler);
  return previous;
}

Item rtRaiseError(ErrorObject error) {
  if (const Frame* frame = rtCurrentFrame()) {
    error.procedure = frame->procedure;
    error.line = frame->line;
  }
  ErrorHandler handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = currentHandler();
  }
  if (handler) {
    ErrorDecision decision = handler(error);
    if (decision.resume && error.resumable) return std::move(decision.value);
  }
  rtUnwind(std::make_shared<const ErrorObject>(std::move(error)));
}

void rtUnwind(std::shared_ptr<const ErrorObject> error) { throw RuntimeError(std::move(error)); }

Item raiseError(int code, std::string description, std::string operation,
                std::vector<Item> arguments) {
  ErrorObject error;
  error.code = code;
  error.description = std::move(description);
  error.operation = std::move(operation);
  error.arguments = std::move(arguments);
  return rtRaiseError(std::move(error));
}

}  // namespace hostrt
