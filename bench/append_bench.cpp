// Building a text by appending in place, and the per-call cost of the
// formatting functions that compose every order record.

#include <benchmark/benchmark.h>

#include "hostrt/functions.h"
#include "hostrt/ops.h"

namespace hostrt {
namespace {

// 10^6 appends of an 8-byte piece: linear when the buffer grows geometrically.
void BM_AppendMillion(benchmark::State& state) {
  const Item piece = Item::string("abcdefgh");
  for (auto _ : state) {
    Item text = Item::string("");
    for (int i = 0; i < 1000000; ++i) appendInPlace(text, piece);
    benchmark::DoNotOptimize(text.str().data());
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_AppendMillion)->Unit(benchmark::kMillisecond);

void BM_Padr(benchmark::State& state) {
  const Item text = Item::string("4711-0815/A");
  const Item width = Item::integer(15);
  const Item argv[] = {text, width};
  for (auto _ : state) {
    Item result;
    PADR(&result, 2, argv);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_Padr);

void BM_StrzeroInteger(benchmark::State& state) {
  const Item argv[] = {Item::integer(42), Item::integer(7), Item::integer(0)};
  for (auto _ : state) {
    Item result;
    STRZERO(&result, 3, argv);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_StrzeroInteger);

void BM_StrzeroFloat(benchmark::State& state) {
  const Item argv[] = {Item::real(3.14159), Item::integer(8), Item::integer(2)};
  for (auto _ : state) {
    Item result;
    STRZERO(&result, 3, argv);
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_StrzeroFloat);

}  // namespace
}  // namespace hostrt
