// send for orders of 10^3 to 10^6 positions, against a plain C++ loop that
// formats the same bytes directly and writes them with one write(2).
//
// The order is built outside the timed region. The ratio of the two is the
// price of composing the file through the runtime (sends, member look-ups,
// item copies) rather than in straight C++.

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "hostrt/embed.h"

namespace {

using hostrt::Item;
namespace embed = hostrt::embed;

struct Fixture {
  std::string dir;
  Item exporter;
  Item param;
};

Fixture& fixture() {
  static Fixture* f = [] {
    if (!dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL)) {
      std::fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
      std::exit(1);
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "velmoran-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::exit(1);
    auto* fx = new Fixture{pattern, embed::newInstance(embed::callFunction("VELMORANORDER")),
                           embed::newInstance(embed::callFunction("PARAM_STRUCTURE"))};
    embed::setMember(fx->param, "zelxport", Item::string(pattern));
    return fx;
  }();
  return *f;
}

// Position i: a part number with characters to strip, a quantity, and every
// other position a mission number, the others a remark.
std::string partNo(int64_t i) { return "13-" + std::to_string(i % 1000) + " A.1"; }

Item buildOrder(int64_t positions) {
  Item positionClass = embed::callFunction("ORDERPOSITION_STRUCTURE");
  std::vector<Item> list;
  list.reserve(size_t(positions));
  for (int64_t i = 0; i < positions; ++i) {
    Item p = embed::newInstance(positionClass);
    embed::setMember(p, "partNo", Item::string(partNo(i)));
    embed::setMember(p, "quantity", Item::integer(i % 100 + 1));
    if (i % 2) {
      embed::setMember(p, "missionNo", Item::integer(4711));
    } else {
      embed::setMember(p, "remark", Item::string("Eilt"));
    }
    list.push_back(p);
  }
  Item order = embed::newInstance(embed::callFunction("ORDER_STRUCTURE"));
  embed::setMember(order, "orderPos", Item::array(std::move(list)));
  embed::setMember(order, "lines", Item::integer(positions));
  return order;
}

void BM_Send(benchmark::State& state) {
  Fixture& fx = fixture();
  Item order = buildOrder(state.range(0));
  for (auto _ : state) {
    Item result = embed::send(fx.exporter, "send", {order, fx.param});
    if (!result.isLogical() || !result.asLogical()) state.SkipWithError("send failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The same bytes, formatted in plain C++ and written with one write(2).
void BM_PlainLoop(benchmark::State& state) {
  Fixture& fx = fixture();
  std::string path = fx.dir + "/plain.txt";
  for (auto _ : state) {
    std::string text;
    char field[16];
    for (int64_t i = 0; i < state.range(0); ++i) {
      std::string part;
      for (char c : partNo(i)) {
        if (c != ' ' && c != '-' && c != '.' && c != '/' && c != '\\' && c != ',') part += c;
      }
      part.resize(15, ' ');
      text += "ORDDTL";
      text += part;
      std::snprintf(field, sizeof field, "%07lld ", static_cast<long long>(i % 100 + 1));
      text += field;
      text += (i % 2) ? "004711" : "Eilt";
      text += "\r\n\n";
    }
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, text.data(), text.size()) != ssize_t(text.size())) {
      state.SkipWithError("write failed");
    }
    if (fd >= 0) close(fd);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Send)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainLoop)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
