// CodePage: converts the UTF-8 text of an order file into the application's
// 8-bit code page, the form in which the records hold their strings.
//
// The POSIX build converts with iconv and accepts iconv's code page names in
// any letter case; a Windows build can provide the same interface on top of
// MultiByteToWideChar/WideCharToMultiByte. "UTF-8" keeps the bytes unchanged.
//
// Thread safety: one CodePage per thread; convert() keeps conversion state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/status.h"

namespace velmoran::host {

class CodePage {
 public:
  CodePage();  // keeps the bytes, as "UTF-8" does, until open() gives another
  CodePage(CodePage&&) noexcept;
  CodePage& operator=(CodePage&&) noexcept;
  ~CodePage();

  // A converter from UTF-8 to the named code page into *page. On failure the
  // status says why ("unknown code page ...") and *page is unchanged.
  static Status open(std::string_view name, CodePage* page);

  const std::string& name() const { return name_; }
  // The Windows number of the code page (65001 for UTF-8); 0 where code
  // pages have no numbers (POSIX).
  uint32_t windowsId() const { return windowsId_; }

  // Converts valid UTF-8 text into *out. Fails, naming the character, when
  // the code page cannot hold one of them; *out is then unspecified.
  Status convert(std::string_view utf8, std::string* out);

 private:
  struct Converter;
  CodePage(std::string name, std::unique_ptr<Converter> converter);

  std::string name_;                       // as the user gave it
  std::unique_ptr<Converter> converter_;   // null: bytes are kept (UTF-8)
  uint32_t windowsId_ = 0;
};

}  // namespace velmoran::host
