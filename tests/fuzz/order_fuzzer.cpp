// libFuzzer target: arbitrary bytes as an order file, through the JSON-to-
// records path and, when the input is valid, a real send into a temporary
// directory. Every input must end in a clear error or in an order file whose
// every record is well formed; a crash, a sanitizer report, a malformed
// record, or another outcome when the text is read in small chunks (and so
// parsed on a thread of its own) is a finding.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/order_json.h"
#include "host/order_sender.h"
#include "host/plugin_loader.h"

namespace {

const std::string& exportDir() {
  static const std::string dir = [] {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "velmoran-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  return dir;
}

void loadPluginOnce() {
  static const bool loaded = [] {
    velmoran::host::Status s = velmoran::host::loadPlugin(VELMORAN_PLUGIN_PATH);
    if (!s.ok()) {
      std::fprintf(stderr, "%s\n", s.toString().c_str());
      std::abort();
    }
    return true;
  }();
  (void)loaded;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// ORDDTL, 15 columns of part number without any stripped character, 7 columns
// of quantity, a blank, then 6 digits or a remark without line breaks.
bool wellFormed(const std::string& record) {
  if (record.size() < 29 || record.compare(0, 6, "ORDDTL") != 0) return false;
  for (size_t i = 6; i < 21; ++i) {
    if (std::string_view("-./\\,\r\n").find(record[i]) != std::string_view::npos) return false;
  }
  for (size_t i = 21; i < 28; ++i) {
    if (!isDigit(record[i]) && !(i == 21 && record[i] == '-')) return false;
  }
  if (record[28] != ' ') return false;
  return record.find_first_of("\r\n", 29) == std::string::npos;
}

void checkOrderFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  std::string text = bytes.str();
  const std::string end = "\r\n\n";
  size_t at = 0;
  while (at < text.size()) {
    size_t next = text.find(end, at);
    if (next == std::string::npos || !wellFormed(text.substr(at, next - at))) {
      std::fprintf(stderr, "malformed record at byte %zu\n", at);
      std::abort();
    }
    at = next + end.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  loadPluginOnce();
  velmoran::host::OrderOptions options;
  options.exportDir = exportDir();
  velmoran::host::OrderRecords records;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  velmoran::host::Status built = velmoran::host::buildOrder(text, options, &records);
  // Read in small chunks, the text is parsed on a thread of its own: it must
  // end the same way, with the same warnings.
  velmoran::host::OrderRecords again;
  velmoran::host::Status builtAhead = velmoran::host::buildOrder(text, options, &again, 7);
  if (builtAhead.toString() != built.toString() || again.warnings != records.warnings) {
    std::fprintf(stderr, "read in chunks: %s\nread whole: %s\n", builtAhead.toString().c_str(),
                 built.toString().c_str());
    std::abort();
  }
  if (!built.ok()) return 0;
  std::filesystem::path file = std::filesystem::path(exportDir()) / "velmoran.txt";
  std::filesystem::remove(file);
  velmoran::host::SendOutcome outcome = velmoran::host::sendOrder(records);
  if (outcome.status == velmoran::host::kExitWritten) checkOrderFile(file);
  // Written or not, no temporary file stays behind.
  for (const auto& entry : std::filesystem::directory_iterator(exportDir())) {
    if (entry.path().filename() != "velmoran.txt") {
      std::fprintf(stderr, "left behind: %s\n", entry.path().c_str());
      std::abort();
    }
  }
  return 0;
}
