// Output to the outside world: the order file and the clipboard.

#include "exporter/literals.h"
#include "exporter/velmoran_order.h"

namespace velmoran {

namespace {

// The temporary file while text2File holds it open. Should a runtime error
// unwind through text2File, it is closed, which removes it, so that nothing
// half-written stays behind.
class OpenTempFile {
 public:
  explicit OpenTempFile(const Item& handle) : handle_(handle) {}
  ~OpenTempFile() {
    if (!open_) return;
    try {
      Call{hostrt::FCLOSE}(handle_);
    } catch (...) {
      // Already unwinding; the first error is the one the caller sees.
    }
  }
  OpenTempFile(const OpenTempFile&) = delete;
  OpenTempFile& operator=(const OpenTempFile&) = delete;

  // The file is committed or closed by its owner from here on.
  void handOver() { open_ = false; }

 private:
  Item handle_;        // the handle FCREATETEMP returned
  bool open_ = true;   // still to be cleaned up on unwinding
};

// The clipboard object while Clipboard holds it. Should a runtime error
// unwind through Clipboard, the object is closed and destroyed, so that the
// system clipboard is not left open.
class OpenClipboard {
 public:
  OpenClipboard(const Item& board, const Name& close, const Name& destroy)
      : board_(board), close_(close), destroy_(destroy) {}
  ~OpenClipboard() {
    if (!open_) return;
    try {
      hostrt::send(board_, close_);
      hostrt::send(board_, destroy_);
    } catch (...) {
      // Already unwinding; the first error is the one the caller sees.
    }
  }
  OpenClipboard(const OpenClipboard&) = delete;
  OpenClipboard& operator=(const OpenClipboard&) = delete;

  // Closed and destroyed by its owner from here on.
  void handOver() { open_ = false; }

 private:
  Item board_;            // the clipboard object
  const Name& close_;     // its messages
  const Name& destroy_;
  bool open_ = true;      // still to be given back on unwinding
};

}  // namespace

// text2File(name, text): replaces the file by exactly the text. True when the
// whole text was written and the file put in place; otherwise false, and no
// file of that name is left. An earlier file of that name is erased first in
// any case, so that after a failure none is mistaken for this one.
//
// The text goes to a temporary file beside the named one, which FCOMMIT
// flushes to disk and renames over the name in one step: at every instant
// the named file is absent or complete, whatever signal or failure strikes,
// and of two writers at once the last rename wins with a whole file. After a
// failure FERROR tells the system's reason.
void text2File(Item* result, int argc, const Item* argv) {
  using namespace hostrt;
  MethodFrame f(kFrameInstanceMethod, "@VELMORANORDER@I@TEXT2FILE", 2, argc, argv);
  const Item& fileName = f.param(1);
  const Item& text = f.param(2);
  Item written = lit::kTrue;
  Call{FERASE}(fileName);
  Item handle = Call(FCREATETEMP)(fileName);
  if (equal(handle, lit::kMinusOne)) {
    written = lit::kFalse;
  } else {
    OpenTempFile guard(handle);
    Item count = Call(FWRITE)(handle, text);
    bool complete = equal(count, Call(LEN)(text));
    guard.handOver();
    // A short write leaves FCOMMIT the write's error: it removes the file.
    bool committed = isTrue(Call(FCOMMIT)(handle));
    if (!complete || !committed) {
      written = lit::kFalse;
      if (committed) Call{FERASE}(fileName);
    }
  }
  rtReturnItem(result, &written);
}

// Clipboard(text): puts the text on the clipboard ("" for nil). The outcome
// is not looked at; the clipboard object lives only within this call, and the
// system clipboard is given back on every path: should a runtime error unwind
// between open and close, the object is closed and destroyed on the way out.
void clipboard(Item* result, int argc, const Item* argv) {
  using namespace hostrt;
  static const Name kNew("New"), kCreate("create"), kOpen("open"), kClear("clear"),
      kSetBuffer("setBuffer"), kClose("close"), kDestroy("destroy");
  MethodFrame f(kFrameInstanceMethod, "@VELMORANORDER@I@CLIPBOARD", 1, argc, argv);
  Item board = send(Call(SYSCLIPBOARD)(), kNew);
  Item text = f.param(1);
  if (exactlyEqual(text, lit::kNil)) text = lit::kEmpty;
  OpenClipboard guard(board, kClose, kDestroy);
  send(board, kCreate);
  send(board, kOpen);
  send(board, kClear);
  send(board, kSetBuffer, {text});
  guard.handOver();
  send(board, kClose);
  send(board, kDestroy);
  board = lit::kNil;
  rtReturnNil(result);
}

}  // namespace velmoran
