// The whole command against a plain script: velmoran-send and
// bench/reference_send.py write the same order file from the same generated
// order, in alternating runs, at 100 to 10^6 positions.
//
// Each run is a child process; its wall time is measured around fork and
// wait, its peak memory and page faults are the kernel's account of that
// child (wait4's ru_maxrss, ru_minflt + ru_majflt). The table gives the median
// time, the largest peak and the median faults of each command per size, and
// the ratio of the medians. A first table gives the floor under every time:
// starting a process that does nothing, and each command's start alone. Both files are compared
// byte for byte once per size, so a faster command that writes other bytes
// does not count.
//
//   command_bench [SIZE...]     (default: 100 10000 100000 1000000; options
//                               meant for Google Benchmark are ignored)
//
// The environment variable VELMORAN_SEND, when set, names the velmoran-send
// to measure instead of this build's.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Run {
  double millis;    // wall time from fork to reaped child
  long peakKib;     // the child's peak resident set, KiB
  long faults;      // the child's page faults, minor and major
};

// The argument vector that writes ORDER's file into DIR.
using Command = std::vector<std::string> (*)(const fs::path& order, const fs::path& dir);

std::vector<std::string> ours(const fs::path& order, const fs::path& dir) {
  // VELMORAN_SEND names another build's program to measure, an earlier one say.
  const char* program = std::getenv("VELMORAN_SEND");
  return {program && *program ? program : VELMORAN_SEND_PATH, "--export-dir", dir.string(),
          order.string()};
}

std::vector<std::string> script(const fs::path& order, const fs::path& dir) {
  return {PYTHON_PATH, REFERENCE_SCRIPT, order.string(), dir.string()};
}

// Position i of the generated order: a part number with characters to strip,
// a quantity of 1 to 50, a mission number of 0, 1000 or 2000, and a remark.
void writeOrder(const fs::path& file, long positions) {
  std::ofstream out(file, std::ios::binary);
  out << "{\"order\": {\"orderPos\": [";
  for (long i = 1; i <= positions; ++i) {
    out << (i > 1 ? ",\n" : "\n") << "{\"partNo\": \"13-280 A." << i << "\", \"quantity\": "
        << (i % 50 + 1) << ", \"missionNo\": " << (i % 3) * 1000 << ", \"remark\": \"Eilt " << i
        << "\"}";
  }
  out << "]}}\n";
}

Run runArgs(std::vector<std::string> args) {
  std::vector<char*> cargs;
  for (auto& a : args) cargs.push_back(a.data());
  cargs.push_back(nullptr);

  std::fflush(stdout);  // or the child would write the parent's buffer again
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execvp(cargs[0], cargs.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "command_bench: %s failed (status %d)\n", args[0].c_str(), status);
    std::exit(1);
  }
  return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss,
          usage.ru_minflt + usage.ru_majflt};
}

Run runOnce(Command command, const fs::path& order, const fs::path& dir) {
  return runArgs(command(order, dir));
}

std::string slurp(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

template <typename T>
T median(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int roundsFor(long positions) {
  return positions <= 1000 ? 30 : positions <= 10000 ? 10 : positions <= 100000 ? 5 : 3;
}

std::string shownTime(double ms) {
  char buf[32];
  if (ms >= 1000) std::snprintf(buf, sizeof buf, "%.2f s", ms / 1000);
  else std::snprintf(buf, sizeof buf, "%.1f ms", ms);
  return buf;
}

// The floor under the whole-command times: a process that does nothing, and
// each command started to do nothing, as medians of alternating runs.
void printStartTable() {
  const char* program = std::getenv("VELMORAN_SEND");
  const std::vector<std::vector<std::string>> starts = {
      {"/bin/true"},
      {program && *program ? program : VELMORAN_SEND_PATH, "--version"},
      {PYTHON_PATH, "-c", "import json, os, sys"}};
  std::vector<std::vector<double>> ms(starts.size());
  std::vector<std::vector<long>> faults(starts.size());
  for (int round = 0; round < 30; ++round) {
    for (size_t i = 0; i < starts.size(); ++i) {
      Run r = runArgs(starts[i]);
      ms[i].push_back(r.millis);
      faults[i].push_back(r.faults);
    }
  }
  std::printf("| process start | time | faults |\n|---|---|---|\n");
  const char* shown[] = {"/bin/true", "velmoran-send --version", "Python, importing the script's modules"};
  for (size_t i = 0; i < starts.size(); ++i) {
    std::printf("| %s | %s | %ld |\n", shown[i], shownTime(median(ms[i])).c_str(),
                median(faults[i]));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-') sizes.push_back(std::atol(argv[i]));  // skip benchmark flags
  }
  if (sizes.empty()) sizes = {100, 10000, 100000, 1000000};

  fs::path work = fs::temp_directory_path() / ("velmoran-command-bench-" + std::to_string(getpid()));
  fs::create_directories(work / "cpp");
  fs::create_directories(work / "py");
  printStartTable();
  std::printf("| positions | velmoran-send | peak | faults | Python script | peak | faults | ratio |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (long positions : sizes) {
    fs::path order = work / "order.json";
    writeOrder(order, positions);
    std::vector<double> oursMs, scriptMs;
    std::vector<long> oursFaults, scriptFaults;
    long oursPeak = 0, scriptPeak = 0;
    for (int round = 0; round < roundsFor(positions); ++round) {
      Run a = runOnce(ours, order, work / "cpp");
      Run b = runOnce(script, order, work / "py");
      oursMs.push_back(a.millis);
      scriptMs.push_back(b.millis);
      oursFaults.push_back(a.faults);
      scriptFaults.push_back(b.faults);
      oursPeak = std::max(oursPeak, a.peakKib);
      scriptPeak = std::max(scriptPeak, b.peakKib);
    }
    if (slurp(work / "cpp" / "velmoran.txt") != slurp(work / "py" / "velmoran.txt")) {
      std::fprintf(stderr, "command_bench: the two files differ at %ld positions\n", positions);
      return 1;
    }
    double o = median(oursMs), s = median(scriptMs);
    std::printf("| %ld | %s | %.0f MB | %ld | %s | %.0f MB | %ld | %.1fx |\n", positions,
                shownTime(o).c_str(), oursPeak / 1024.0, median(oursFaults), shownTime(s).c_str(),
                scriptPeak / 1024.0, median(scriptFaults), s / o);
    std::fflush(stdout);
  }
  fs::remove_all(work);
  return 0;
}
