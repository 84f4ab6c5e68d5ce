// Standard streams on POSIX: bytes, whatever they are connected to.

#include "host/console.h"

namespace velmoran::host {

void writeText(std::FILE* stream, std::string_view text, uint32_t) {
  std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace velmoran::host
