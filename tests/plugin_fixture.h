// Shared helpers for the tests that drive the plug-in as the application does:
// the library is loaded with dlopen (its entry point registers it with the
// runtime) and everything is reached by public name through the runtime.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hostrt/embed.h"
#include "hostrt/error.h"
#include "hostrt/inspect.h"
#include "hostrt/item.h"

namespace velmoran::testing {

using hostrt::Item;
namespace embed = hostrt::embed;
namespace inspect = hostrt::inspect;

// Loads the plug-in once per process; returns the dlopen handle.
void* loadPlugin();

// The class object behind a public class function name, e.g. "VELMORANORDER".
Item classObject(const char* publicName);

inline Item str(std::string_view s) { return Item::string(s); }
inline Item num(int64_t n) { return Item::integer(n); }

struct Position {
  Item partNo = str("");
  Item quantity = num(0);
  Item missionNo = str("");
  Item remark = str("");
};

// A new orderPosition_Structure with the four members the exporter reads.
Item newPosition(const Position& p);
// A new order_Structure with these positions; lines defaults to their number.
Item newOrder(const std::vector<Item>& positions, std::optional<int64_t> lines = {});
// A new param_Structure whose class-level zelxport is set to dir.
Item newParam(const std::string& dir);

// Sends an order with a new exporter; returns {result, exporter}.
struct SendOutcome {
  Item result;
  Item exporter;
  std::string message() const;
};
SendOutcome sendOrder(const Item& order, const Item& param);

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  // The order file's path as the exporter composes it: directory + "\velmoran.txt".
  std::string orderFileName() const { return path_.string() + "\\velmoran.txt"; }
  std::filesystem::path orderFile() const { return path_ / "velmoran.txt"; }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Installs an error handler for the scope of the object.
class ScopedErrorHandler {
 public:
  explicit ScopedErrorHandler(hostrt::ErrorHandler handler);
  ~ScopedErrorHandler();

 private:
  hostrt::ErrorHandler previous_;
};

// Runs body in a freshly started copy of the test binary (no class built yet)
// and expects it to exit with 0; used for first-call behaviour.
#define VELMORAN_IN_FRESH_PROCESS(body)                                         \
  do {                                                                          \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                             \
    EXPECT_EXIT(                                                                \
        {                                                                       \
          body;                                                                 \
          std::exit(::testing::Test::HasFailure() ? 1 : 0);                     \
        },                                                                      \
        ::testing::ExitedWithCode(0), "");                                      \
  } while (0)

}  // namespace velmoran::testing
