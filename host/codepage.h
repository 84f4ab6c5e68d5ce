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
#include <utility>

#include "host/status.h"

namespace velmoran::host {

class CodePage {
 public:
  CodePage() = default;  // keeps the bytes, as "UTF-8" does, until open() gives another

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
  // True when convert() would give the text's own bytes (UTF-8 kept, or
  // ASCII in a code page that keeps it), so that the text serves as it is.
  bool keepsAsIs(std::string_view utf8) const;

 private:
  // The platform's converter, defined with open() and convert(); the deleter
  // is there too, so that moving and destroying a CodePage need not see it.
  struct Converter;
  struct DeleteConverter {
    void operator()(Converter* converter) const;
  };
  using ConverterPtr = std::unique_ptr<Converter, DeleteConverter>;

  CodePage(std::string name, ConverterPtr converter)
      : name_(std::move(name)), converter_(std::move(converter)) {}

  std::string name_;        // as the user gave it
  ConverterPtr converter_;  // null: bytes are kept (UTF-8)
  uint32_t windowsId_ = 0;
};

}  // namespace velmoran::host
