// Helpers shared by the Windows test programs: UTF-16 paths, the system
// clipboard read from outside the runtime, a thread that holds the
// clipboard, and the code page the test runs under.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace velmoran::testing {

// The text in a code page, from UTF-16.
inline std::string narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return "";
  int size = WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string out(size_t(size > 0 ? size : 0), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

inline std::string utf8(const std::wstring& wide) { return narrow(wide, CP_UTF8); }

// Opens the clipboard for this thread, trying for a while: another program of
// the prefix may be looking at it.
inline bool openClipboard(HWND window = nullptr) {
  for (int i = 0; i < 200; ++i) {
    if (OpenClipboard(window)) return true;
    Sleep(10);
  }
  return false;
}

// The clipboard's data in one format, as bytes; empty when it has none.
inline std::string clipboardData(UINT format) {
  if (!openClipboard()) return "(clipboard not available)";
  std::string bytes;
  if (HANDLE h = GetClipboardData(format)) {
    if (const char* data = static_cast<const char*>(GlobalLock(h))) {
      bytes.assign(data, GlobalSize(h));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return bytes;
}

// The CF_UNICODETEXT on the clipboard, up to its terminating NUL.
inline std::wstring clipboardUnicode() {
  std::string bytes = clipboardData(CF_UNICODETEXT);
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

// Holds the system clipboard on a thread of its own, with a window of that
// thread, from construction until release() or destruction.
class ClipboardHolder {
 public:
  ClipboardHolder() {
    thread_ = std::thread([this] {
      HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                    GetModuleHandleW(nullptr), nullptr);
      bool opened = window && openClipboard(window);
      std::unique_lock<std::mutex> lock(mutex_);
      state_ = opened ? kHolding : kFailed;
      changed_.notify_all();
      changed_.wait(lock, [this] { return state_ == kReleasing; });
      if (opened) CloseClipboard();
      if (window) DestroyWindow(window);
    });
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return state_ != kStarting; });
  }
  ClipboardHolder(const ClipboardHolder&) = delete;
  ClipboardHolder& operator=(const ClipboardHolder&) = delete;
  ~ClipboardHolder() { release(); }

  bool holding() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_ == kHolding;
  }
  void release() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      state_ = kReleasing;
      changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  enum State { kStarting, kHolding, kFailed, kReleasing };
  std::mutex mutex_;
  std::condition_variable changed_;
  State state_ = kStarting;
  std::thread thread_;
};

// The tests also run under a Russian locale (LC_ALL=ru_RU.UTF-8), where the
// ANSI code page is 1251, not 1252. Checks that wine took the locale up: a
// test that meant to run there and ran under 1252 would prove nothing.
inline void expectAnsiCodePageAsConfigured() {
  const char* locale = std::getenv("LC_ALL");
  if (locale && std::string(locale).rfind("ru_RU", 0) == 0) {
    ASSERT_EQ(GetACP(), 1251u) << "wine did not take up LC_ALL=" << locale;
  }
}

}  // namespace velmoran::testing
