// CodePage on iconv.

#include "host/codepage.h"
#include "host/field_names.h"

#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace velmoran::host {

namespace {

bool isUtf8Name(std::string_view name) { return foldCase(name) == "utf-8"; }

// The code point of the UTF-8 sequence that starts the text, as "U+XXXX".
std::string codePointAt(std::string_view text) {
  auto byte = [&](size_t i) { return i < text.size() ? unsigned(uint8_t(text[i])) : 0u; };
  unsigned lead = byte(0);
  int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  unsigned cp = extra == 0 ? lead : lead & (0x3Fu >> extra);
  for (int i = 1; i <= extra; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", cp);
  return buf;
}

}  // namespace

struct CodePage::Converter {
  iconv_t cd;
  bool asciiKept = false;  // the code page writes ASCII text as the same bytes
  ~Converter() { iconv_close(cd); }
};

namespace {

// Eight bytes at a time: a byte of 0x80 or more sets a high bit of the word.
bool isAscii(std::string_view text) {
  constexpr uint64_t kHighBits = 0x8080808080808080;
  uint64_t any = 0;
  size_t i = 0;
  for (; i + sizeof any <= text.size(); i += sizeof any) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    any |= word;
  }
  for (; i < text.size(); ++i) any |= static_cast<unsigned char>(text[i]);
  return (any & kHighBits) == 0;
}

}  // namespace

void CodePage::DeleteConverter::operator()(Converter* converter) const { delete converter; }

Status CodePage::open(std::string_view name, CodePage* page) {
  std::string text(name);
  if (isUtf8Name(name)) {
    *page = CodePage(text, nullptr);
    return Status();
  }
  // Suffixes such as //TRANSLIT would silently change or drop characters.
  iconv_t cd = text.empty() || text.find('/') != std::string::npos
                   ? iconv_t(-1)
                   : iconv_open(text.c_str(), "UTF-8");
  if (cd == iconv_t(-1)) return Status::invalidInput("unknown code page \"" + text + "\"");
  *page = CodePage(text, ConverterPtr(new Converter{cd}));
  // Most code pages keep ASCII as it is; for those, ASCII text needs no iconv.
  std::string ascii, converted;
  for (int c = 0; c < 0x80; ++c) ascii += char(c);
  page->converter_->asciiKept = page->convert(ascii, &converted).ok() && converted == ascii;
  return Status();
}

bool CodePage::keepsAsIs(std::string_view utf8) const {
  return !converter_ || (converter_->asciiKept && isAscii(utf8));
}

Status CodePage::convert(std::string_view utf8, std::string* out) {
  if (keepsAsIs(utf8)) {
    out->assign(utf8);
    return Status();
  }
  iconv_t cd = converter_->cd;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  out->assign(utf8.size() + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  size_t used = 0;
  // Converts the input, then (in == nullptr) writes any closing shift sequence.
  for (bool input = true;;) {
    char* dst = out->data() + used;
    size_t outLeft = out->size() - used;
    size_t rc = input ? iconv(cd, &in, &inLeft, &dst, &outLeft)
                      : iconv(cd, nullptr, nullptr, &dst, &outLeft);
    used = out->size() - outLeft;
    if (rc == size_t(-1) && errno == E2BIG) {
      out->resize(out->size() * 2);
    } else if (rc == size_t(-1)) {
      std::string_view rest = utf8.substr(size_t(in - utf8.data()));
      return Status::invalidInput("the character " + codePointAt(rest) +
                                  " cannot be written in code page " + name_);
    } else if (input) {
      input = false;
    } else {
      break;
    }
  }
  out->resize(used);
  return Status();
}

}  // namespace velmoran::host
