// The clipboard class SYSCLIPBOARD, driven as the application drives it:
// through the embedding API, by public names.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hostrt/embed.h"
#include "runtime_testing.h"

namespace hostrt {
namespace {

using namespace hostrt::testing;

Item newClipboard() { return embed::send(embed::callFunction("SYSCLIPBOARD"), "New"); }

// The whole sequence a plug-in runs to put a text on the clipboard.
void putText(const std::string& text) {
  Item clip = newClipboard();
  embed::send(clip, "create");
  if (embed::send(clip, "open").asLogical()) {
    embed::send(clip, "clear");
    embed::send(clip, "setBuffer", {str(text)});
    embed::send(clip, "close");
  }
  embed::send(clip, "destroy");
}

TEST(Clipboard, RoundTrip) {
  putText("C:\\export\\velmoran.txt");
  EXPECT_EQ(embed::clipboardText(), "C:\\export\\velmoran.txt");
  putText("second");
  EXPECT_EQ(embed::clipboardText(), "second");
}

TEST(Clipboard, ClassIsBuiltOnceAndNamesIgnoreCase) {
  Item cls = embed::callFunction("SYSCLIPBOARD");
  EXPECT_TRUE(cls.isObject());
  EXPECT_TRUE(exactlyEqual(cls, embed::callFunction("sysclipboard")));
  Item clip = embed::send(cls, "NEW");
  embed::send(clip, "CREATE");
  EXPECT_TRUE(embed::send(clip, "Open").asLogical());
  embed::send(clip, "SETBUFFER", {str("any case")});
  embed::send(clip, "Close");
  embed::send(clip, "DESTROY");
  EXPECT_EQ(embed::clipboardText(), "any case");
}

TEST(Clipboard, ClearEmptiesAndNothingHappensWithoutOpen) {
  putText("kept");
  Item clip = newClipboard();
  embed::send(clip, "create");
  embed::send(clip, "setBuffer", {str("not open yet")});
  embed::send(clip, "clear");
  EXPECT_EQ(embed::clipboardText(), "kept");
  ASSERT_TRUE(embed::send(clip, "open").asLogical());
  embed::send(clip, "clear");
  EXPECT_EQ(embed::clipboardText(), "");
  embed::send(clip, "close");
  embed::send(clip, "setBuffer", {str("after close")});
  embed::send(clip, "destroy");
  EXPECT_EQ(embed::clipboardText(), "");
}

TEST(Clipboard, SetBufferNeedsAString) {
  putText("before");
  Item clip = newClipboard();
  embed::send(clip, "create");
  embed::send(clip, "open");
  for (const Item& bad : {num(5), Item(), Item::array({})}) {
    ErrorObject e = raisedBy([&] { embed::send(clip, "setBuffer", {bad}); });
    EXPECT_EQ(e.code, kErrorWrongKind) << bad.kindName();
    EXPECT_EQ(e.operation, "setBuffer");
  }
  EXPECT_EQ(raisedBy([&] { embed::send(clip, "setBuffer"); }).code, kErrorWrongKind);
  {
    ResumeWith resume(str("resumed"));
    EXPECT_EQ(embed::send(clip, "setBuffer", {num(5)}).str(), "resumed");
  }
  embed::send(clip, "close");
  embed::send(clip, "destroy");
  EXPECT_EQ(embed::clipboardText(), "before");
}

// Threads race to build the class and to fill the clipboard; every reading
// must be one whole text that some thread stored.
TEST(Clipboard, SeveralThreads) {
  constexpr int kThreads = 8, kRounds = 200;
  std::set<std::string> texts;
  for (int t = 0; t < kThreads; ++t) texts.insert("thread " + std::to_string(t) + std::string(40, '.'));
  std::atomic<int> torn{0};
  std::vector<Item> classes(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      classes[size_t(t)] = embed::callFunction("SYSCLIPBOARD");
      std::string mine = *std::next(texts.begin(), t);
      for (int i = 0; i < kRounds; ++i) {
        putText(mine);
        std::string seen = embed::clipboardText();
        if (!seen.empty() && !texts.count(seen)) ++torn;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_TRUE(texts.count(embed::clipboardText()));
  for (const Item& cls : classes) EXPECT_TRUE(exactlyEqual(cls, classes[0]));
}

}  // namespace
}  // namespace hostrt
