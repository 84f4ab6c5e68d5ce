// loader FIRST.dll SECOND.dll EXPECT_MOVED: loads both, then checks that the
// second one's section holds its relocated export addresses.
#include <windows.h>
#include <cstdio>
#include <cstring>
#include "pub.h"
int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HMODULE first = LoadLibraryA(argv[1]);
  HMODULE mod = LoadLibraryA(argv[2]);
  if (!first || !mod) return std::printf("LoadLibrary failed %lu\n", GetLastError()), 1;
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(reinterpret_cast<char*>(mod) +
                                                  reinterpret_cast<IMAGE_DOS_HEADER*>(mod)->e_lfanew);
  bool moved = reinterpret_cast<DWORD>(mod) != nt->OptionalHeader.ImageBase;
  std::printf("%s at %p, preferred %08lx\n", argv[2], (void*)mod, nt->OptionalHeader.ImageBase);
  const PubSection* pub = nullptr;
  IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++s)
    if (std::memcmp(s->Name, ".selfpub", 8) == 0 && s->Misc.VirtualSize == sizeof(PubSection))
      pub = reinterpret_cast<const PubSection*>(reinterpret_cast<char*>(mod) + s->VirtualAddress);
  if (!pub) return std::printf("no .selfpub of %u bytes\n", unsigned(sizeof(PubSection))), 1;
  int bad = moved != (argv[3][0] == '1');
  for (int ordinal = 1; ordinal <= 3; ++ordinal) {
    PubEntry e;
    std::memcpy(&e, &pub->entries[ordinal - 1], sizeof e);
    FARPROC by_ordinal = GetProcAddress(mod, MAKEINTRESOURCEA(ordinal));
    FARPROC by_name = GetProcAddress(mod, e.name);
    bool ok = reinterpret_cast<FARPROC>(e.fn) == by_ordinal && by_ordinal == by_name && e.fn() == ordinal;
    std::printf("%d %-5s %p %s\n", ordinal, e.name, reinterpret_cast<void*>(e.fn), ok ? "ok" : "WRONG");
    bad += !ok;
  }
  std::printf("moved=%d %s\n", moved, bad ? "FAIL" : "OK");
  return bad ? 1 : 0;
}
