// std::thread, std::mutex and std::shared_mutex (absent from the win32 thread
// model of GCC 12), and a portable header-only library.
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>
#include <cstdio>
#include <nlohmann/json.hpp>
int main() {
  std::mutex m;
  std::shared_mutex sm;
  int count = 0;
  std::vector<std::thread> ts;
  for (int i = 0; i < 8; ++i)
    ts.emplace_back([&] {
      for (int k = 0; k < 1000; ++k) {
        std::lock_guard lock(m);
        std::shared_lock read(sm);
        ++count;
      }
    });
  for (auto& t : ts) t.join();
  auto j = nlohmann::json::parse(R"({"n": 8000})");
  std::printf("count %d\n", count);
  return count == j["n"].get<int>() ? 0 : 1;
}
