// CodePage on Win32: UTF-8 to UTF-16 with MultiByteToWideChar, then to the
// code page with WideCharToMultiByte, without best-fit substitutes.
//
// Names are matched without regard to letter case: CPnnn, WINDOWS-nnn and
// IBMnnn name code page nnn; ISO-8859-n (also ISO8859-n, ISO_8859-n), LATIN1,
// LATIN9 and US-ASCII name the system's ISO and ASCII code pages; UTF-8 (or
// UTF8) keeps the bytes. A name the system has no code page for is unknown.
//
// The results are those of the iconv build. One difference of the tables is
// bridged: Windows maps the C1 controls U+0080 to U+009F to the bytes of the
// ANSI code pages (874, 1250 to 1258) that define no character, so that text
// survives a round trip; those code pages define no such character, and iconv
// refuses them, so they are refused here too.
//
// Code pages whose conversions Windows cannot check without best-fit
// substitutes (UTF-7, the ISO-2022 and ISCII ones, GB18030, Symbol) are
// refused when opened.

#include "host/codepage.h"
#include "host/field_names.h"
#include "host/utf16_win32.h"

#include <windows.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace velmoran::host {

namespace {

constexpr UINT kKeepBytes = CP_UTF8;

// The number after `prefix` when `name` is prefix + digits only; 0 otherwise.
UINT numberAfter(const std::string& name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
  unsigned long n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > 65535) return 0;
    n = n * 10 + unsigned(name[i] - '0');
  }
  return n <= 65535 ? UINT(n) : 0;
}

// The Windows code page of an iconv-style name, 0 when there is none.
UINT codePageOf(std::string_view given) {
  const std::string name = foldCase(given);
  if (name == "utf-8" || name == "utf8") return kKeepBytes;
  if (name == "us-ascii" || name == "ascii") return 20127;
  if (name == "latin1") return 28591;
  if (name == "latin9") return 28605;
  for (std::string_view prefix : {"cp", "windows-", "ibm"}) {
    if (UINT cp = numberAfter(name, prefix)) return cp;
  }
  for (std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-"}) {
    UINT part = numberAfter(name, prefix);
    if (part >= 1 && part <= 16) return 28590 + part;
  }
  return 0;
}

bool isAnsiCodePage(UINT cp) { return cp == 874 || (cp >= 1250 && cp <= 1258); }

// Code pages for which Windows refuses WC_NO_BEST_FIT_CHARS and the check for
// a used default character: every text would be refused, so none can be
// checked, and the code page is refused instead.
bool isUncheckable(UINT cp) {
  return (cp >= 50220 && cp <= 50229) || cp == 52936 || cp == 54936 ||
         (cp >= 57002 && cp <= 57011) || cp == 65000 || cp == 42;
}

std::string codePointName(uint32_t cp) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", unsigned(cp));
  return buf;
}

// The code point at wide[i], and how many UTF-16 units it takes.
uint32_t codePointAt(const std::wstring& wide, size_t i, size_t* units) {
  uint32_t c = uint16_t(wide[i]);
  if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
    uint32_t low = uint16_t(wide[i + 1]);
    if (low >= 0xDC00 && low < 0xE000) {
      *units = 2;
      return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
  }
  *units = 1;
  return c;
}

// Converts UTF-16 units to the code page. False when one of them has no
// character there.
bool narrow(UINT cp, const wchar_t* wide, int count, std::string* out) {
  out->clear();
  if (count == 0) return true;
  BOOL usedDefault = FALSE;
  int size = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide, count, nullptr, 0, nullptr,
                                 &usedDefault);
  if (size <= 0 || usedDefault) return false;
  out->resize(size_t(size));
  size = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, wide, count, out->data(), size, nullptr,
                             &usedDefault);
  return size == int(out->size()) && !usedDefault;
}

}  // namespace

struct CodePage::Converter {
  UINT codePage;
};

void CodePage::DeleteConverter::operator()(Converter* converter) const { delete converter; }

Status CodePage::open(std::string_view name, CodePage* page) {
  std::string text(name);
  UINT cp = codePageOf(name);
  if (cp == kKeepBytes) {
    *page = CodePage(text, nullptr);
    page->windowsId_ = CP_UTF8;
    return Status();
  }
  if (isUncheckable(cp)) {
    return Status::invalidInput("code page \"" + text +
                                "\" is not supported: Windows cannot check its conversions");
  }
  if (cp == 0 || !IsValidCodePage(cp)) {
    return Status::invalidInput("unknown code page \"" + text + "\"");
  }
  *page = CodePage(text, ConverterPtr(new Converter{cp}));
  page->windowsId_ = cp;
  return Status();
}

bool CodePage::keepsAsIs(std::string_view) const { return !converter_; }

Status CodePage::convert(std::string_view utf8, std::string* out) {
  if (keepsAsIs(utf8)) {
    out->assign(utf8);
    return Status();
  }
  const UINT cp = converter_->codePage;
  if (utf8.size() > size_t(INT_MAX)) return Status::invalidInput("the text is too long");
  std::wstring wide;
  if (!utf8ToUtf16(utf8, &wide)) return Status::invalidInput("the text is not valid UTF-8");
  bool c1Refused = isAnsiCodePage(cp);
  bool hasC1 = false;
  for (wchar_t c : wide) hasC1 |= c >= 0x80 && c <= 0x9F;
  if (!(c1Refused && hasC1) && narrow(cp, wide.data(), int(wide.size()), out)) return Status();

  // Find the first character the code page cannot hold, to name it.
  std::string one;
  for (size_t i = 0, units = 1; i < wide.size(); i += units) {
    uint32_t c = codePointAt(wide, i, &units);
    bool refused = (c1Refused && c >= 0x80 && c <= 0x9F) ||
                   !narrow(cp, wide.data() + i, int(units), &one);
    if (refused) {
      return Status::invalidInput("the character " + codePointName(c) +
                                  " cannot be written in code page " + name_);
    }
  }
  return Status::invalidInput("the text cannot be written in code page " + name_);
}

}  // namespace velmoran::host
