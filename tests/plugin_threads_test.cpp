// The plug-in driven from several threads at once, as an application with
// worker threads would: first calls of the class functions, and whole sends.

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "hostrt/ops.h"
#include "plugin/class_functions.h"
#include "plugin_fixture.h"

namespace velmoran::testing {
namespace {

constexpr auto kClassFunctions = publicNames();
constexpr int kCount = int(kClassFunctions.size());

TEST(PluginThreads, EightThreadsRacingTheFirstCallsOfAllSixClassFunctions) {
  VELMORAN_IN_FRESH_PROCESS({
    loadPlugin();
    constexpr int kThreads = 8;
    std::vector<std::vector<Item>> seen(kThreads, std::vector<Item>(kCount));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&seen, t] {
        for (int i = 0; i < kCount; ++i) {
          int f = (t + i) % kCount;  // every thread starts with another class
          seen[size_t(t)][size_t(f)] = embed::callFunction(kClassFunctions[f]);
        }
      });
    }
    for (std::thread& t : threads) t.join();
    for (int f = 0; f < kCount; ++f) {
      ASSERT_TRUE(seen[0][size_t(f)].isObject()) << kClassFunctions[f];
      for (int t = 1; t < kThreads; ++t) {
        EXPECT_TRUE(hostrt::exactlyEqual(seen[size_t(t)][size_t(f)], seen[0][size_t(f)]))
            << kClassFunctions[f];
      }
    }
    EXPECT_TRUE(hostrt::exactlyEqual(embed::getMember(seen[0][5], "SendOrderInterface"),
                                     seen[0][0]));
  });
}

// Each thread sends its own orders with its own exporter and records into the
// one export directory, assigned once beforehand. All orders have the same
// length, so the file left behind is one whole order of one of them.
TEST(PluginThreads, ThreadsSendTheirOwnOrdersIntoOneExportDirectory) {
  TempDir dir;
  newParam(dir.path().string());
  constexpr int kThreads = 4, kSends = 25;
  std::set<std::string> orders;
  for (int t = 0; t < kThreads; ++t) {
    orders.insert("ORDDTLPART" + std::to_string(t) + "          0000001 00000" +
                  std::to_string(t + 1) + "\r\n\n");
  }
  std::atomic<int> failed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&failed, t] {
      for (int i = 0; i < kSends; ++i) {
        Item param = embed::newInstance(classObject("PARAM_STRUCTURE"));
        Item order = newOrder({newPosition({str("PART" + std::to_string(t)), num(1), num(t + 1)})});
        SendOutcome out = sendOrder(order, param);
        if (!out.result.isLogical() || !out.result.asLogical()) ++failed;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_TRUE(orders.count(readFile(dir.orderFile()))) << readFile(dir.orderFile());
}

}  // namespace
}  // namespace velmoran::testing
