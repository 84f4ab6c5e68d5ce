// Puts argv[1] on the clipboard as CF_TEXT and reads it back in the same process.
#include <windows.h>
#include <cstdio>
#include <cstring>
int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* text = argv[1];
  std::size_t n = std::strlen(text) + 1;
  if (!OpenClipboard(nullptr) || !EmptyClipboard()) return std::printf("open/empty failed\n"), 1;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, n);
  std::memcpy(GlobalLock(h), text, n);
  GlobalUnlock(h);
  if (!SetClipboardData(CF_TEXT, h)) return std::printf("set failed %lu\n", GetLastError()), 1;
  CloseClipboard();
  if (!OpenClipboard(nullptr)) return std::printf("reopen failed\n"), 1;
  HANDLE got = GetClipboardData(CF_TEXT);
  bool same = got && std::strcmp(static_cast<const char*>(GlobalLock(got)), text) == 0;
  if (got) GlobalUnlock(got);
  CloseClipboard();
  std::printf("clipboard %s\n", same ? "OK" : "WRONG");
  return same ? 0 : 1;
}
