// Raising runtime errors, the per-thread unwind state and the process-wide
// error handler.

#include "hostrt/error.h"

#include <atomic>
#include <climits>
#include <mutex>

#include "error_internal.h"
#include "hostrt/frame.h"

// An error as the C interface hands it out: reference-counted contents.
struct RtError {
  std::atomic<int32_t> refs{1};  // holders: the unwind state, exceptions, callers
  hostrt::ErrorObject object;    // what went wrong
};

namespace hostrt {
namespace {

// An installed handler; the last holder disposes of its user data.
struct HandlerEntry {
  RtErrorHandler fn = nullptr;
  void* user = nullptr;
  void (*dispose)(void*) = nullptr;
  ~HandlerEntry() {
    if (dispose) dispose(user);
  }
};

}  // namespace
}  // namespace hostrt

// A hold on an installed handler, as handed to callers.
struct RtHandlerRef {
  std::shared_ptr<hostrt::HandlerEntry> entry;
};

namespace hostrt {
namespace {

HOSTRT_THREAD_LOCAL RtError* pending = nullptr;  // the unwind under way on this thread

std::mutex handlerMutex;
std::shared_ptr<HandlerEntry>& currentHandler() {
  static auto* handler = new std::shared_ptr<HandlerEntry>;  // null: the default, which unwinds
  return *handler;
}

std::shared_ptr<HandlerEntry> swapHandler(std::shared_ptr<HandlerEntry> next) {
  std::lock_guard<std::mutex> lock(handlerMutex);
  std::swap(currentHandler(), next);
  return next;
}

RtHandlerRef* hold(std::shared_ptr<HandlerEntry> entry) {
  return entry ? new RtHandlerRef{std::move(entry)} : nullptr;
}

// An error for failures that leave no memory to describe them.
RtError* outOfMemory() {
  static RtError* error = [] {
    auto* e = new RtError;
    e->refs = INT_MAX / 2;  // never freed
    e->object.code = kErrorInternal;
    e->object.description = "out of memory";
    e->object.operation = "internal";
    e->object.resumable = false;
    return e;
  }();
  rtErrorRetain(error);
  return error;
}

}  // namespace

constinit HOSTRT_THREAD_LOCAL int runtimeDepth = 0;

Item raise(ErrorObject error) {
  if (const Frame* frame = rtCurrentFrame()) {
    error.procedure = frame->procedure;
    error.line = frame->line;
  }
  if (error.code == kErrorInternal) error.resumable = false;
  std::shared_ptr<HandlerEntry> handler;
  {
    std::lock_guard<std::mutex> lock(handlerMutex);
    handler = currentHandler();
  }
  auto* raised = new RtError;
  raised->object = std::move(error);
  if (handler && handler->fn) {
    Item value;
    int resume;
    {
      ForeignCall call;
      resume = handler->fn(handler->user, raised, &value);
    }
    if (resume && raised->object.resumable) {
      rtErrorRelease(raised);
      return value;
    }
  }
  throw RuntimeError(raised);
}

void unwindFromException() noexcept {
  try {
    throw;
  } catch (const RuntimeError& e) {
    rtUnwind(e.handle());
  } catch (const std::bad_alloc&) {
    rtUnwind(outOfMemory());
  } catch (...) {
    // Anything else is a fault inside the runtime: it unwinds as an internal
    // error that no handler resumes.
    try {
      ErrorObject error;
      error.code = kErrorInternal;
      error.description = "internal failure in the runtime";
      error.operation = "internal";
      raise(std::move(error));
    } catch (const RuntimeError& e) {
      rtUnwind(e.handle());
    } catch (...) {
      rtUnwind(outOfMemory());
    }
  }
}

extern "C" int rtIsError() { return pending != nullptr; }

extern "C" RtError* rtTakeError() { return std::exchange(pending, nullptr); }

extern "C" void rtUnwind(RtError* error) {
  if (pending && pending != error) rtErrorRelease(pending);
  pending = error;
}

extern "C" void rtRaiseError(Item* result, int code, const char* description,
                             const char* operation, int argc, const Item* argv) {
  atBoundary([&] {
    ErrorObject error;
    error.code = code;
    error.description = description ? description : "";
    error.operation = operation ? operation : "";
    if (argc > 0 && argv) error.arguments.assign(argv, argv + argc);
    Item value = raise(std::move(error));
    if (result) *result = std::move(value);
  });
}

extern "C" RtError* rtErrorRetain(RtError* error) {
  if (error) error->refs.fetch_add(1, std::memory_order_relaxed);
  return error;
}

extern "C" void rtErrorRelease(RtError* error) {
  if (error && error->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete error;
}

extern "C" int rtErrorCode(const RtError* e) { return e->object.code; }
extern "C" const char* rtErrorDescription(const RtError* e) {
  return e->object.description.c_str();
}
extern "C" const char* rtErrorOperation(const RtError* e) { return e->object.operation.c_str(); }
extern "C" const char* rtErrorProcedure(const RtError* e) { return e->object.procedure.c_str(); }
extern "C" int rtErrorLine(const RtError* e) { return e->object.line; }
extern "C" int rtErrorResumable(const RtError* e) { return e->object.resumable; }
extern "C" int rtErrorArgumentCount(const RtError* e) { return int(e->object.arguments.size()); }
extern "C" void rtErrorArgument(Item* result, const RtError* e, int index) {
  const auto& args = e->object.arguments;
  *result = index >= 0 && size_t(index) < args.size() ? args[size_t(index)] : Item();
}

extern "C" RtHandlerRef* rtSetErrorHandler(RtErrorHandler fn, void* user,
                                           void (*dispose)(void*)) {
  return atBoundary([&]() -> RtHandlerRef* {
    std::shared_ptr<HandlerEntry> next;
    if (fn) {
      next = std::make_shared<HandlerEntry>();
      next->fn = fn;
      next->user = user;
      next->dispose = dispose;
    } else if (dispose) {
      dispose(user);
    }
    return hold(swapHandler(std::move(next)));
  });
}

extern "C" RtHandlerRef* rtRestoreErrorHandler(RtHandlerRef* handler) {
  std::shared_ptr<HandlerEntry> entry;
  if (handler) {
    entry = std::move(handler->entry);
    delete handler;
  }
  return atBoundary([&] { return hold(swapHandler(std::move(entry))); });
}

extern "C" RtHandlerRef* rtRetainHandler(RtHandlerRef* handler) {
  return handler ? atBoundary([&] { return new RtHandlerRef{handler->entry}; }) : nullptr;
}

extern "C" void rtReleaseHandler(RtHandlerRef* handler) { delete handler; }

}  // namespace hostrt
