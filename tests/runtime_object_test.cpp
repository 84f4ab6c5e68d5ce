// The runtime's object model, frames and error recovery, with classes built
// by the test itself.

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <functional>
#include <future>
#include <set>
#include <thread>
#include <vector>

#include "item_storage.h"  // white-box: the array storage
#include "hostrt/embed.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "hostrt/inspect.h"
#include "hostrt/object.h"
#include "runtime_testing.h"

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
  ClassLockGuard lock;
  if (Class* found = rtFindClass("Counter")) {
    rtReturnObject(result, found);
    return;
  }
  Class* cls = rtCreateClass("Counter", 2, 3, 5, 0, nullptr, 0, 0, 0);
  rtDefineMember(cls, "count", kPublicMember);
  rtDefineMember(cls, "total", kPublicClassMember);
  rtDefineMember(cls, "hidden", kInternalMember);
  rtDefineMethod(cls, "init", guarded<counterInit>, kPublicMethod);
  rtDefineMethod(cls, "bump", guarded<counterBump>, kPublicMethod);
  rtDefineMethod(cls, "secret", guarded<counterSecret>, kInternalMethod);
  rtDefineMethod(cls, "fail", guarded<counterFail>, kPublicMethod);
  rtDefineMethod(cls, "INITCLASS", guarded<counterInitClass>, kPublicClassMethod);
  rtEndClassDefinition(cls);
  rtRegisterClass(cls);
  rtCallInitClass(cls);
  counterClass = cls;
  rtReturnObject(result, cls);
}

Item counterObject() {
  Item cls;
  COUNTER(&cls, 0, nullptr);
  return cls;
}

class ScopedHandler {
 public:
  explicit ScopedHandler(ErrorHandler h) : previous_(setErrorHandler(std::move(h))) {}
  ~ScopedHandler() { setErrorHandler(std::move(previous_)); }

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
  embed::setMember(after, embed::Name("COUNT"), Item::integer(8));
  EXPECT_EQ(embed::getMember(after, embed::Name("Count")).asInteger(), 8);
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
           [&] { embed::send(counter, embed::Name("secret")); },
           [&] { embed::getMember(counter, embed::Name("hidden")); },
           [&] { embed::setMember(counter, embed::Name("Hidden"), Item()); },
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
  EXPECT_THROW((rtDefineMember(cls, "x", 0x3), checkUnwind()), RuntimeError);  // not a member flag
  EXPECT_THROW((rtEndClassDefinition(cls), checkUnwind()), RuntimeError);     // declared a method it lacks
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

// --- results written into an item that is also an operand

const std::string kLong(60, 'L');  // held in a heap buffer, not inline, and so is half of it

TEST(RuntimeAliasing, AResultMayLiveInsideItsOwnOperand) {
  static const Name kCount("count");
  const Item one = Item::integer(1);
  struct Case {
    const char* what;
    std::function<Item()> run;  // the item that ends up as the result
  };
  const Case cases[] = {
      {"x := x:count", [] {
         Item x = embed::newInstance(counterObject(), {Item::string(kLong)});
         rtGetMember(&x, &x, &kCount);
         return x;
       }},
      {"rtAssign a := a[1]", [] {
         Item a = Item::array({Item::string(kLong)});
         rtAssign(&a, &a.arrayData()->elements[0]);
         return a;
       }},
      {"rtGetElement a := a[1]", [&one] {
         Item a = Item::array({Item::string(kLong)});
         rtGetElement(&a, &a, &one);
         return a;
       }},
      {"rtReturnItem a := a[1]", [] {
         Item a = Item::array({Item::string(kLong)});
         rtReturnItem(&a, &a.arrayData()->elements[0]);
         return a;
       }},
      {"move a := a[1]", [] {
         Item a = Item::array({Item::string(kLong)});
         a = std::move(a.arrayData()->elements[0]);
         return a;
       }},
      {"a += a, its own buffer growing", [] {
         Item a = Item::string(kLong.substr(kLong.size() / 2));
         appendInPlace(a, a);
         return a;
       }},
      {"rtAppendBytes of a's own bytes, its buffer growing", [] {
         Item a = Item::string(kLong.substr(kLong.size() / 2));
         size_t size = 0;
         const char* bytes = rtStringBytes(&a, &size);
         rtAppendBytes(&a, bytes, size);
         return a;
       }},
  };
  for (const Case& c : cases) {
    Item result = c.run();
    ASSERT_TRUE(result.isString()) << c.what << ": " << result.kindName();
    EXPECT_EQ(result.str(), kLong) << c.what;
  }
}

// --- a resumed error gives the handler's value as the result

TEST(RuntimeErrors, AResumedMemberReadYieldsTheHandlersValue) {
  using testing::ResumeWith;
  Item counter = embed::newInstance(counterObject());
  struct Case {
    const char* what;
    Item object;
    const char* member;
  };
  const Case cases[] = {
      {"missing member", counter, "nothing"},
      {"internal member from outside", counter, "hidden"},
      {"instance member through the class", counterObject(), "count"},
      {"member of a number", Item::integer(3), "count"},
  };
  ResumeWith resume(Item::string("resumed"));
  for (const Case& c : cases) {
    Name name(c.member);
    Item result = Item::string("previous");
    rtGetMember(&result, &c.object, &name);
    EXPECT_EQ(result.isString() ? result.str() : "(not a string)", "resumed") << c.what;
  }
  EXPECT_EQ(ResumeWith::raised(), 4);
}

// A literal of a library never loaded cannot be copied into a member: the
// first assignment looks the name up the checked way, the second takes the
// short way for a known name. Both leave the error as the thread's unwind,
// as every entry point does, and no exception leaves the C function.
TEST(RuntimeErrors, AnUnloadedLiteralIsNotAssignedToAMember) {
  Item counter = embed::newInstance(counterObject(), {Item::integer(4)});
  const Name count("count");
  Item unloaded(kLiteral, "never loaded");
  for (int i = 0; i < 2; ++i) {
    EXPECT_NO_THROW(rtSetMember(&counter, &count, &unloaded)) << i;
    EXPECT_EQ(testing::raisedBy([] { checkUnwind(); }).code, kErrorNotLoaded) << i;
  }
  EXPECT_EQ(embed::getMember(counter, "count").asInteger(), 4);
}

TEST(RuntimeErrors, AResumedClassOfGivesTheClassOfTheHandlersObject) {
  Item counter = embed::newInstance(counterObject());
  testing::ResumeWith resume(counter);
  Item number = Item::integer(3);
  EXPECT_EQ(rtClassOf(&number), counterClass);
}

// --- no error handler runs while an internal lock is held

TEST(RuntimeErrors, AHandlerMayUseTheRegistryWhenADefinitionFails) {
  counterObject();
  std::promise<Class*> found;
  std::thread([&found] {
    Class* seen = nullptr;
    ScopedHandler handler([&seen](const ErrorObject&) {
      seen = rtFindClass("Counter");
      return ErrorDecision::unwind();
    });
    inspect::failNextMethodDefinition("Hooked");
    Class* cls = rtCreateClass("Hooked", 0, 0, 1, 0, nullptr, 0, 0, 0);
    EXPECT_THROW((rtDefineMethod(cls, "m", guarded<counterSecret>, kPublicMethod), checkUnwind()),
                 RuntimeError);
    found.set_value(seen);
  }).detach();
  std::future<Class*> result = found.get_future();
  if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
    std::fprintf(stderr, "the error handler deadlocked on the registry\n");
    std::_Exit(1);
  }
  EXPECT_EQ(result.get(), counterClass);
}

// --- frames

int frameLine = 0;

void tooManyParameters(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@TEST@I@WIDE", MethodFrame::kMaxSlots, argc, argv);
  *result = f.param(1);
}

void slotPastTheFrame(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@TEST@I@PAST", 1, argc, argv);
  *result = f.param(MethodFrame::kMaxSlots);
}

// exactlyEqual and a send of laid-out arguments note their lines: the failed
// send is reported at its own line, not at the exactlyEqual before it.
void linesNoted(Item* result, int argc, const Item* argv) {
  static const Name kMissing("missing");
  MethodFrame f(kFrameInstanceMethod, "@TEST@I@LINES", 0, argc, argv);
  exactlyEqual(f.self(), f.self());
  EXPECT_EQ(rtCurrentFrame()->line, __LINE__ - 1);
  frameLine = __LINE__ + 1;
  *result = send(kMissing, argc, argv);
}

TEST(RuntimeFrames, FramesRefuseWhatTheyCannotHoldAndNoteEveryLine) {
  Item counter = embed::newInstance(counterObject());
  struct Case {
    const char* what;
    RtFunction method;
    int code;
    const char* procedure;
  };
  const Case cases[] = {
      {"more parameters than slots", tooManyParameters, kErrorArgument, "@TEST@I@WIDE"},
      {"a slot past the frame", slotPastTheFrame, kErrorArgument, "@TEST@I@PAST"},
      {"a send of laid-out arguments", linesNoted, kErrorNoMethod, "@TEST@I@LINES"},
  };
  for (const Case& c : cases) {
    Item result;
    ErrorObject e = testing::raisedBy([&] { c.method(&result, 1, &counter); });
    EXPECT_EQ(e.code, c.code) << c.what;
    EXPECT_EQ(e.procedure, c.procedure) << c.what;
    EXPECT_EQ(rtCurrentFrame(), nullptr) << c.what;
  }
  EXPECT_EQ(testing::raisedBy([&] { Item r; linesNoted(&r, 1, &counter); }).line, frameLine);
  testing::ResumeWith resume(Item::string("stand-in"));
  Item result;
  slotPastTheFrame(&result, 1, &counter);
  EXPECT_EQ(result.str(), "stand-in");
}

// --- declared counts

TEST(RuntimeClasses, DefinitionsAreCheckedAgainstTheDeclaredCounts) {
  struct Case {
    const char* name;
    int members, methods;  // declared
    int defineMembers, defineMethods;
    bool endsWell;
  };
  const Case cases[] = {
      {"Exact", 2, 1, 2, 1, true},
      {"MoreMembers", 1, 1, 2, 1, false},
      {"MoreMethods", 1, 1, 1, 2, false},
      {"HugeDeclared", INT_MAX, INT_MAX, 1, 1, false},  // bounded by what is defined
  };
  for (const Case& c : cases) {
    ErrorObject e = testing::raisedBy([&] {
      Class* cls = rtCreateClass(c.name, 0, c.members, c.methods, 0, nullptr, 0, 0, 0);
      for (int i = 0; i < c.defineMembers; ++i) {
        rtDefineMember(cls, ("m" + std::to_string(i)).c_str(), kPublicClassMember);
      }
      for (int i = 0; i < c.defineMethods; ++i) {
        rtDefineMethod(cls, ("f" + std::to_string(i)).c_str(), guarded<counterSecret>,
                       kPublicMethod);
      }
      rtEndClassDefinition(cls);
      checkUnwind();
    });
    EXPECT_EQ(e.code, c.endsWell ? 0 : int(kErrorClassDefinition)) << c.name;
  }
}

// --- threads

// Two threads assign long strings to the class-level total while two others
// read it through their own instances: every reading is one whole value.
TEST(RuntimeThreads, ClassLevelMembersAreReadAndAssignedWhole) {
  Item cls = counterObject();
  const std::set<std::string> values = {std::string(40, 'a'), std::string(60, 'b')};
  embed::setMember(cls, "total", Item::string(*values.begin()));
  std::atomic<int> torn{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Item mine = embed::newInstance(cls);
      const std::string& value = *std::next(values.begin(), t % 2);
      for (int i = 0; i < 20000; ++i) {
        if (t < 2) {
          embed::setMember(mine, "total", Item::string(value));
        } else {
          Item seen = embed::getMember(mine, "total");
          if (!seen.isString() || !values.count(std::string(seen.str()))) ++torn;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(torn.load(), 0);
}

// Threads raise errors that the handler resumes, each with its own value,
// while another thread keeps replacing the handler.
TEST(RuntimeThreads, ErrorsAreRaisedAndResumedOnEveryThread) {
  Item counter = embed::newInstance(counterObject());
  auto echo = [](const ErrorObject& e) {
    return ErrorDecision::resumeWith(e.arguments.empty() ? Item() : e.arguments.back());
  };
  ScopedHandler handler(echo);
  std::atomic<bool> done{false};
  std::thread replacer([&] {
    while (!done) setErrorHandler(echo);
  });
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      Item mine = Item::string("thread " + std::to_string(t) + std::string(30, '.'));
      for (int i = 0; i < 300; ++i) {
        if (!exactlyEqual(add(Item::integer(1), mine), mine)) ++wrong;
        if (!isTrue(Item::logical(true))) ++wrong;
        Item c = embed::newInstance(counterObject());
        if (!exactlyEqual(embed::getMember(c, "nothing"), c)) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  done = true;
  replacer.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace hostrt
