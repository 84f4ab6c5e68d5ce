// The runtime's object model, frames and error recovery, with classes built
// by the test itself.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "hostrt/embed.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "hostrt/inspect.h"
#include "hostrt/object.h"

namespace hostrt {
namespace {

std::atomic<int> initClassRuns{0};
int failingLine = 0;

void counterInitClass(Item* result, int argc, const Item* argv) {
  static const Name kTotal("total");
  MethodFrame f(kFrameClassMethod, "@COUNTER@C@INITCLASS", 0, argc, argv);
  ++initClassRuns;
  setMember(f.self(), kTotal, Item::integer(0));
  *result = f.self();
}

// bump(step): adds step to the shared total and to its own count, returns the count.
void counterBump(Item* result, int argc, const Item* argv) {
  static const Name kCount("COUNT"), kTotal("Total"), kSecret("secret");
  MethodFrame f(kFrameInstanceMethod, "@COUNTER@I@BUMP", 1, argc, argv);
  Item step = f.param(1).isNil() ? Item::integer(100) : f.param(1);
  setMember(f.self(), kCount, add(getMember(f.self(), kCount), step));
  setMember(f.self(), kTotal, add(getMember(f.self(), kTotal), step));
  send(f.self(), kSecret);
  *result = getMember(f.self(), kCount);
}

void counterSecret(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@COUNTER@I@SECRET", 0, argc, argv);
  *result = Item::logical(true);
}

// fail(): a wrong-kind addition, then marks that it went on.
void counterFail(Item* result, int argc, const Item* argv) {
  static const Name kCount("count");
  MethodFrame f(kFrameInstanceMethod, "@COUNTER@I@FAIL", 0, argc, argv);
  failingLine = __LINE__ + 1;
  Item sum = add(Item::integer(1), Item::string("x"));
  setMember(f.self(), kCount, sum);
  *result = Item::string("went on");
}

void counterInit(Item* result, int argc, const Item* argv) {
  static const Name kCount("count");
  MethodFrame f(kFrameInstanceMethod, "@COUNTER@I@INIT", 1, argc, argv);
  setMember(f.self(), kCount, f.param(1).isNil() ? Item::integer(0) : f.param(1));
  *result = f.self();
}

Class* counterClass = nullptr;

// The test's own class function, with the runtime's find-or-create protocol.
void COUNTER(Item* result, int, const Item*) {
  rtClassLock();
  if (Class* found = rtFindClass("Counter")) {
    rtReturnObject(result, found);
    rtClassUnlock();
    return;
  }
  Class* cls = rtCreateClass("Counter", 2, 3, 5, 0, nullptr, 0, 0, 0);
  rtDefineMember(cls, "count", kPublicMember);
  rtDefineMember(cls, "total", kPublicClassMember);
  rtDefineMember(cls, "hidden", kInternalMember);
  rtDefineMethod(cls, "init", counterInit, kPublicMethod);
  rtDefineMethod(cls, "bump", counterBump, kPublicMethod);
  rtDefineMethod(cls, "secret", counterSecret, kInternalMethod);
  rtDefineMethod(cls, "fail", counterFail, kPublicMethod);
  rtDefineMethod(cls, "INITCLASS", counterInitClass, kPublicClassMethod);
  rtEndClassDefinition(cls);
  rtRegisterClass(cls);
  rtCallInitClass(cls);
  counterClass = cls;
  rtReturnObject(result, cls);
  rtClassUnlock();
}

Item counterObject() {
  Item cls;
  COUNTER(&cls, 0, nullptr);
  return cls;
}

class ScopedHandler {
 public:
  explicit ScopedHandler(ErrorHandler h) : previous_(rtSetErrorHandler(std::move(h))) {}
  ~ScopedHandler() { rtSetErrorHandler(std::move(previous_)); }

 private:
  ErrorHandler previous_;
};

TEST(RuntimeObjects, ClassLevelMembersAreSharedByTheClassAndEveryInstance) {
  Item cls = counterObject();
  embed::setMember(cls, "total", Item::integer(0));
  Item before = embed::newInstance(cls);
  embed::send(before, "bump", {Item::integer(5)});
  Item after = embed::newInstance(cls, {Item::integer(7)});
  EXPECT_EQ(embed::getMember(after, "count").asInteger(), 7);
  EXPECT_EQ(embed::send(after, "bump", {Item::integer(2)}).asInteger(), 9);
  for (const Item& holder : {cls, before, after}) {
    EXPECT_EQ(embed::getMember(holder, "TOTAL").asInteger(), 7);
  }
}

TEST(RuntimeObjects, MissingParametersAreNil) {
  Item counter = embed::newInstance(counterObject());
  EXPECT_EQ(embed::send(counter, "bump").asInteger(), 100);
}

TEST(RuntimeObjects, InternalMethodsAndMembersOnlyFromTheirOwnClass) {
  Item counter = embed::newInstance(counterObject());
  EXPECT_NO_THROW(embed::send(counter, "bump", {Item::integer(1)}));  // calls secret inside
  for (auto attempt : std::vector<std::function<void()>>{
           [&] { embed::send(counter, "secret"); },
           [&] { embed::getMember(counter, "hidden"); },
           [&] { embed::setMember(counter, "Hidden", Item()); },
       }) {
    try {
      attempt();
      ADD_FAILURE() << "not refused";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.error().code, kErrorAccess);
    }
  }
  EXPECT_TRUE(inspect::send(counter, "secret").asLogical());
}

TEST(RuntimeObjects, UnknownMessagesAndMembersAreRuntimeErrors) {
  Item counter = embed::newInstance(counterObject());
  EXPECT_THROW(embed::send(counter, "nothing"), RuntimeError);
  EXPECT_THROW(embed::getMember(counter, "nothing"), RuntimeError);
  EXPECT_THROW(embed::send(Item::integer(3), "bump"), RuntimeError);
  EXPECT_THROW(embed::getMember(counterObject(), "count"), RuntimeError);  // instance member
}

TEST(RuntimeErrors, UnwindingReachesTheCallerWithProcedureAndLine) {
  Item counter = embed::newInstance(counterObject());
  try {
    embed::send(counter, "fail");
    ADD_FAILURE() << "no error";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.error().code, kErrorWrongKind);
    EXPECT_EQ(e.error().procedure, "@COUNTER@I@FAIL");
    EXPECT_EQ(e.error().line, failingLine);
    EXPECT_EQ(e.error().operation, "+");
    ASSERT_EQ(e.error().arguments.size(), 2u);
    EXPECT_EQ(e.error().arguments[1].str(), "x");
  }
  EXPECT_EQ(rtCurrentFrame(), nullptr);  // every frame was unlinked
}

TEST(RuntimeErrors, AResumedErrorContinuesAfterTheFailedOperation) {
  Item counter = embed::newInstance(counterObject());
  std::string seenProcedure;
  ScopedHandler handler([&](const ErrorObject& e) {
    seenProcedure = e.procedure;
    return ErrorDecision::resumeWith(Item::integer(42));
  });
  EXPECT_EQ(embed::send(counter, "fail").str(), "went on");
  EXPECT_EQ(embed::getMember(counter, "count").asInteger(), 42);
  EXPECT_EQ(seenProcedure, "@COUNTER@I@FAIL");
}

TEST(RuntimeErrors, ClassDefinitionErrorsCannotBeResumed) {
  ScopedHandler handler([](const ErrorObject&) { return ErrorDecision::resumeWith(Item()); });
  Class* cls = rtCreateClass("Broken", 0, 0, 1, 0, nullptr, 0, 0, 0);
  EXPECT_THROW(rtDefineMember(cls, "x", 0x3), RuntimeError);  // not a member flag
  EXPECT_THROW(rtEndClassDefinition(cls), RuntimeError);      // declared a method it lacks
}

TEST(RuntimeClasses, EightThreadsRacingTheFirstCallBuildTheClassOnce) {
  std::vector<std::thread> threads;
  std::vector<Item> seen(8);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&seen, i] { COUNTER(&seen[size_t(i)], 0, nullptr); });
  }
  for (std::thread& t : threads) t.join();
  for (const Item& cls : seen) EXPECT_TRUE(exactlyEqual(cls, seen[0]));
  EXPECT_EQ(initClassRuns.load(), 1);
}

TEST(RuntimeClasses, TheClassLockAdmitsItsHolderAgain) {
  rtClassLock();
  rtClassLock();
  rtClassUnlock();
  std::atomic<bool> taken{false};
  std::thread other([&] {
    rtClassLock();
    taken = true;
    rtClassUnlock();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(taken.load());
  rtClassUnlock();
  other.join();
  EXPECT_TRUE(taken.load());
}

}  // namespace
}  // namespace hostrt
