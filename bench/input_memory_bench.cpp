// Peak memory of velmoran-send against the size of its input: each order
// shape at a few sizes, the program run as a child process and its peak
// resident set read with wait4. Fails (status 1) when a run exceeds the bound
// that --help states: kFactor times the input size plus kBase.
//
// Shapes: empty positions ({} each, the most records per byte), filled
// positions, and an unused member holding a long array of numbers or of
// empty strings (the most values per byte).

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr double kFactor = 100;               // bytes of memory per byte of input
constexpr double kBase = 32.0 * 1024 * 1024;  // the program itself

// An order file of about `size` bytes made of repeated `item`s.
std::string order(const std::string& head, const std::string& item, const std::string& tail,
                  size_t size) {
  std::string text = head;
  while (text.size() + item.size() + tail.size() < size) {
    if (text.size() > head.size()) text += ',';
    text += item;
  }
  return text + tail;
}

// Peak resident set of one run in bytes, or -1 when it did not end normally.
long peakOf(const std::filesystem::path& input, const std::filesystem::path& dir) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(127);
    execl(VELMORAN_SEND, VELMORAN_SEND, "--export-dir", dir.c_str(), input.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) > 3) {
    return -1;
  }
  return usage.ru_maxrss * 1024L;
}

}  // namespace

int main() {
  const struct {
    const char* name;
    std::string head, item, tail;
  } shapes[] = {
      {"empty positions", R"({"order": {"lines": 0, "orderPos": [)", "{}", "]}}"},
      {"filled positions", R"({"order": {"orderPos": [)",
       R"({"partNo": "13-280 A.1", "quantity": 2, "missionNo": 4711, "remark": "Eilt"})", "]}}"},
      {"array of numbers", R"({"order": {"lines": 0, "orderNo": [)", "0", "]}}"},
      {"array of strings", R"({"order": {"lines": 0, "orderNo": [)", R"("")", "]}}"},
  };
  std::string pattern = (std::filesystem::temp_directory_path() / "velmoran-mem-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 2;
  const std::filesystem::path dir = pattern, input = dir / "order.json";
  bool within = true;
  std::printf("%-18s %10s %12s %10s %12s\n", "shape", "input MiB", "peak MiB", "peak/input",
              "bound MiB");
  for (const auto& shape : shapes) {
    for (size_t mib : {1, 2, 4}) {
      const std::string text = order(shape.head, shape.item, shape.tail, mib << 20);
      std::ofstream(input, std::ios::binary) << text;
      long peak = peakOf(input, dir);
      double bound = kFactor * double(text.size()) + kBase;
      within = within && peak > 0 && double(peak) <= bound;
      std::printf("%-18s %10.1f %12.1f %10.1f %12.1f%s\n", shape.name, text.size() / 1048576.0,
                  peak / 1048576.0, double(peak) / double(text.size()), bound / 1048576.0,
                  peak > 0 && double(peak) <= bound ? "" : "  EXCEEDED");
    }
  }
  std::filesystem::remove_all(dir);
  return within ? 0 : 1;
}
