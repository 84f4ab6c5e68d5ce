// libFuzzer target: arbitrary bytes as an order file, through the JSON-to-
// records path and, when the input is valid, a real send into a temporary
// directory. Every input must end in a clear error or in an order file whose
// every record is well formed; a crash, a sanitizer report or a malformed
// record is a finding. So is a text that the fast JSON reader reads other
// than nlohmann's parser does: other events, or a text it accepts that the
// parser refuses.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/json_reader.h"
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

// Writes down every event, one line each, with the value it carries.
class EventLog : public velmoran::host::JsonHandler {
 public:
  explicit EventLog(std::string_view text) : JsonHandler(text) {}
  std::string log;

  bool null() override { return add("null", ""); }
  bool boolean(bool v) override { return add("bool", v ? "1" : "0"); }
  bool number_integer(number_integer_t v) override { return add("int", std::to_string(v)); }
  bool number_unsigned(number_unsigned_t v) override { return add("uint", std::to_string(v)); }
  bool number_float(number_float_t v, const string_t&) override {
    char bits[32];
    std::snprintf(bits, sizeof bits, "%a", v);
    return add("float", bits);
  }
  bool string(string_t& v) override { return add("string", v); }
  bool key(string_t& v) override { return add("key", v); }
  bool start_object(size_t) override { return add("{", ""); }
  bool end_object() override { return add("}", ""); }
  bool start_array(size_t) override { return add("[", ""); }
  bool end_array() override { return add("]", ""); }

 private:
  bool add(const char* event, const std::string& value) {
    log.append(event).append(" ").append(std::to_string(value.size())).append(":").append(value);
    log += '\n';
    return true;
  }
};

void checkFastReader(std::string_view text) {
  EventLog fast(text), parsed(text);
  velmoran::host::Status fastStatus;
  if (!velmoran::host::readJsonFast(text, &fast, &fastStatus)) return;  // declined
  velmoran::host::Status parsedStatus = velmoran::host::readJson(text, &parsed);
  if (!parsedStatus.ok() || fast.log != parsed.log) {
    std::fprintf(stderr, "the fast reader accepts what the parser reads otherwise: %s\n",
                 parsedStatus.toString().c_str());
    std::abort();
  }
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
  checkFastReader(std::string_view(reinterpret_cast<const char*>(data), size));
  velmoran::host::OrderOptions options;
  options.exportDir = exportDir();
  velmoran::host::OrderRecords records;
  velmoran::host::Status built = velmoran::host::buildOrder(
      std::string_view(reinterpret_cast<const char*>(data), size), options, &records);
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
