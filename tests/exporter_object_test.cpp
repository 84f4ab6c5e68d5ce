// The contract SendOrderInterface and the exporter object VelmoranOrder:
// defaults, init, accessors, class-level methods, registration and access.

#include <thread>

#include "plugin_fixture.h"

namespace velmoran::testing {
namespace {

const char kPurpose[] = "Velmoran Bestellungdatei (neues Format ab 2014)";

Item newExporter() { return embed::newInstance(classObject("VELMORANORDER")); }

TEST(ExporterObject, NewExporterHasItsDefaults) {
  Item exporter = newExporter();
  Item message = embed::send(exporter, "getResultMessage");
  ASSERT_TRUE(message.isString());
  EXPECT_EQ(message.str(), "");
  EXPECT_EQ(inspect::send(exporter, "getLineEnd").str(), "\x0D\x0A\x0A");
  EXPECT_EQ(inspect::send(exporter, "getSeparator").str(), ";");
  EXPECT_TRUE(inspect::send(exporter, "getOrderfile").isNil());
  EXPECT_TRUE(inspect::getMember(exporter, "order").isNil());
}

TEST(ExporterObject, InitReturnsTheExporterAndResetsAllButTheOrderFile) {
  Item exporter = newExporter();
  inspect::send(exporter, "setResultMessage", {str("old message")});
  inspect::send(exporter, "setLineEnd", {str("|")});
  inspect::send(exporter, "setSeparator", {str(",")});
  inspect::send(exporter, "setOrderfile", {str("C:\\x\\velmoran.txt")});
  Item order = str("an order");

  Item returned = embed::send(exporter, "init", {order});

  EXPECT_TRUE(hostrt::exactlyEqual(returned, exporter));
  EXPECT_EQ(embed::send(returned, "getResultMessage").str(), "");
  EXPECT_EQ(inspect::send(exporter, "getLineEnd").str(), "\r\n\n");
  EXPECT_EQ(inspect::send(exporter, "getSeparator").str(), ";");
  EXPECT_EQ(inspect::send(exporter, "getOrderfile").str(), "C:\\x\\velmoran.txt");
  EXPECT_EQ(inspect::getMember(exporter, "order").str(), "an order");
  embed::send(exporter, "init");
  EXPECT_TRUE(inspect::getMember(exporter, "order").isNil());
}

TEST(ExporterObject, SettersReturnNilAndGettersTheValueUnchanged) {
  Item exporter = newExporter();
  const char* pairs[][2] = {{"setOrderfile", "getOrderfile"},
                            {"setSeparator", "getSeparator"},
                            {"setLineEnd", "getLineEnd"},
                            {"setResultMessage", "getResultMessage"}};
  for (auto& [setter, getter] : pairs) {
    SCOPED_TRACE(setter);
    Item value = Item::array({num(1), str("x")});
    EXPECT_TRUE(inspect::send(exporter, setter, {value}).isNil());
    EXPECT_TRUE(hostrt::exactlyEqual(inspect::send(exporter, getter), value));
    EXPECT_TRUE(inspect::send(exporter, setter).isNil());
    EXPECT_TRUE(inspect::send(exporter, getter).isNil());
  }
}

TEST(ExporterObject, PurposeAndContractNameFromClassObjectsAndInstances) {
  Item exporterClass = classObject("VELMORANORDER");
  Item contractClass = classObject("SENDORDERINTERFACE");
  for (const Item& receiver : {exporterClass, newExporter()}) {
    Item purpose = embed::send(receiver, "getPurpose");
    EXPECT_EQ(purpose.str(), kPurpose);
    EXPECT_EQ(purpose.str().size(), 47u);
    EXPECT_EQ(embed::send(receiver, "derivedFrom").str(), "SendOrderInterface");
  }
  EXPECT_EQ(embed::send(contractClass, "derivedFrom").str(), "SendOrderInterface");
}

TEST(ExporterObject, ClassFunctionsReturnOneClassObjectEach) {
  for (const char* name : {"SENDORDERINTERFACE", "VELMORANORDER"}) {
    Item first = classObject(name);
    Item second = classObject(name);
    EXPECT_TRUE(hostrt::exactlyEqual(first, second)) << name;
  }
}

TEST(ExporterObject, MembersAndMethodsAreRegisteredInOrderWithTheirFlags) {
  Item cls = classObject("VELMORANORDER");
  EXPECT_EQ(inspect::memberNames(cls), "order,separator,lineEnd,OrderFile,ResultMessage");
  EXPECT_EQ(inspect::methodNames(cls),
            "text2File,setOrderfile,getOrderfile,setSeparator,getSeparator,setLineEnd,"
            "getLineEnd,setResultMessage,Clipboard,StripString,init,send,getResultMessage,"
            "getPurpose,derivedFrom,INITCLASS");
  EXPECT_EQ(inspect::memberFlags(cls, "order"), 0x131u);
  EXPECT_EQ(inspect::methodFlags(cls, "text2File"), 0x1u);
  EXPECT_EQ(inspect::methodFlags(cls, "StripString"), 0x21u);
  EXPECT_EQ(inspect::methodFlags(cls, "send"), 0x3u);
  EXPECT_EQ(inspect::methodFlags(cls, "getPurpose"), 0x23u);
  Item contract = classObject("SENDORDERINTERFACE");
  EXPECT_EQ(inspect::methodNames(contract),
            "send,getPurpose,getResultMessage,derivedFrom,INIT,INITCLASS");
  EXPECT_EQ(inspect::methodFlags(contract, "send"), 0x83u);
}

TEST(ExporterObject, MethodNamesMatchInAnyLetterCase) {
  Item exporter = newExporter();
  inspect::send(exporter, "SETORDERFILE", {str("a")});
  EXPECT_EQ(inspect::send(exporter, "getOrderFile").str(), "a");
  EXPECT_EQ(embed::send(exporter, "GETRESULTMESSAGE").str(), "");
  EXPECT_EQ(embed::send(exporter, "GetPurpose").str(), kPurpose);
}

TEST(ExporterObject, TheApplicationCannotReachInternalMembersOrMethods) {
  Item exporter = newExporter();
  for (const char* method : {"setResultMessage", "setOrderfile", "getLineEnd", "text2File",
                             "Clipboard", "StripString"}) {
    try {
      embed::send(exporter, method, {str("x")});
      ADD_FAILURE() << method << " was not refused";
    } catch (const hostrt::RuntimeError& e) {
      EXPECT_EQ(e.error().code, hostrt::kErrorAccess) << method;
    }
  }
  EXPECT_EQ(embed::memberNames(classObject("VELMORANORDER")), "");  // none is public
  EXPECT_THROW(embed::getMember(exporter, "ResultMessage"), hostrt::RuntimeError);
  EXPECT_THROW(embed::setMember(exporter, "order", num(1)), hostrt::RuntimeError);
}

TEST(ExporterObject, AbstractMethodsOfTheContractHaveNoCode) {
  Item contract = embed::newInstance(classObject("SENDORDERINTERFACE"));
  try {
    embed::send(contract, "send");
    ADD_FAILURE() << "abstract send ran";
  } catch (const hostrt::RuntimeError& e) {
    EXPECT_EQ(e.error().code, hostrt::kErrorAbstract);
  }
}

TEST(ExporterObjectFirstCall, RequestingTheExporterFirstCreatesTheContract) {
  VELMORAN_IN_FRESH_PROCESS({
    loadPlugin();
    Item exporterClass = embed::callFunction("VELMORANORDER");
    Item contract = embed::callFunction("SENDORDERINTERFACE");
    EXPECT_TRUE(hostrt::exactlyEqual(embed::getMember(exporterClass, "SendOrderInterface"),
                                     contract));
  });
}

TEST(ExporterObjectFirstCall, AFailedBuildLeavesTheLockFreeAndALaterCallSucceeds) {
  VELMORAN_IN_FRESH_PROCESS({
    loadPlugin();
    inspect::failNextMethodDefinition("VelmoranOrder");
    try {
      embed::callFunction("VELMORANORDER");
      ADD_FAILURE() << "the injected failure did not arrive";
    } catch (const hostrt::RuntimeError& e) {
      EXPECT_EQ(e.error().procedure, "VELMORANORDER");
    }
    // The lock must be free for another thread, and the class buildable again.
    std::thread other([] { EXPECT_TRUE(embed::callFunction("VELMORANORDER").isObject()); });
    other.join();
    EXPECT_EQ(embed::send(embed::callFunction("VELMORANORDER"), "getPurpose").str(), kPurpose);
  });
}

TEST(ExporterObjectFirstCall, EightThreadsRacingTheFirstCallBuildOneClass) {
  VELMORAN_IN_FRESH_PROCESS({
    loadPlugin();
    std::vector<Item> seen(8);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([&seen, i] { seen[size_t(i)] = embed::callFunction("VELMORANORDER"); });
    }
    for (std::thread& t : threads) t.join();
    for (const Item& cls : seen) EXPECT_TRUE(hostrt::exactlyEqual(cls, seen[0]));
  });
}

}  // namespace
}  // namespace velmoran::testing
