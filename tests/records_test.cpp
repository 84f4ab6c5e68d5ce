// The record classes the application fills: order, position, supplier and
// the parameter record with its class-level export directory.

#include "plugin_fixture.h"

namespace velmoran::testing {
namespace {

TEST(Records, NewOrderAndSupplierHoldNilInEveryMember) {
  struct Case {
    const char* classFunction;
    std::vector<const char*> members;
  };
  const Case cases[] = {
      {"ORDER_STRUCTURE", {"orderNo", "dealerNumber", "orderType", "lines", "supplier", "orderPos"}},
      {"SUPPLIER_STRUCTURE",
       {"lr", "name", "name2", "street", "postcode", "countrycode", "town", "telephone", "fax",
        "email", "mobile", "vfabfrage", "user", "pass", "dealernumber"}},
  };
  for (const Case& c : cases) {
    Item cls = classObject(c.classFunction);
    Item record = embed::newInstance(cls);
    std::string declared;
    for (const char* member : c.members) {
      EXPECT_TRUE(embed::getMember(record, member).isNil()) << c.classFunction << "." << member;
      EXPECT_EQ(inspect::memberFlags(cls, member), 0x133u) << member;
      declared += (declared.empty() ? "" : ",") + std::string(member);
    }
    EXPECT_EQ(inspect::memberNames(cls), declared);
  }
}

TEST(Records, ANewPositionCarriesItsOwnDefaults) {
  Item cls = classObject("ORDERPOSITION_STRUCTURE");
  Item first = embed::newInstance(cls);
  Item second = embed::newInstance(cls);
  for (const char* member : {"partNo", "description", "size", "color", "ean", "orig", "custName",
                             "custForename", "missionNo", "vin", "remark"}) {
    Item value = embed::getMember(first, member);
    ASSERT_TRUE(value.isString()) << member;
    EXPECT_EQ(value.str(), "") << member;
  }
  for (const char* member : {"quantity", "custNo"}) {
    Item value = embed::getMember(first, member);
    ASSERT_TRUE(value.isInteger()) << member;
    EXPECT_EQ(value.asInteger(), 0) << member;
  }
  embed::setMember(first, "partNo", str("A-1"));
  embed::setMember(first, "quantity", num(3));
  EXPECT_EQ(embed::getMember(second, "partNo").str(), "");
  EXPECT_EQ(embed::getMember(second, "quantity").asInteger(), 0);
  EXPECT_EQ(inspect::methodNames(cls), "init,INITCLASS");
}

TEST(Records, MemberNamesMatchInAnyCaseAndTakeAnyKindOfItem) {
  Item order = embed::newInstance(classObject("ORDER_STRUCTURE"));
  Item positions = Item::array({num(1)});
  embed::setMember(order, "OrderPos", positions);
  EXPECT_TRUE(hostrt::exactlyEqual(embed::getMember(order, "orderPos"), positions));
  Item supplier = embed::newInstance(classObject("SUPPLIER_STRUCTURE"));
  embed::setMember(supplier, "DealerNumber", str("4711"));
  EXPECT_EQ(embed::getMember(supplier, "dealernumber").str(), "4711");
  Item position = embed::newInstance(classObject("ORDERPOSITION_STRUCTURE"));
  embed::setMember(position, "partNo", num(12));
  embed::setMember(position, "quantity", str("three"));
  embed::setMember(position, "remark", Item::logical(true));
  EXPECT_EQ(embed::getMember(position, "PARTNO").asInteger(), 12);
  EXPECT_EQ(embed::getMember(position, "quantity").str(), "three");
}

TEST(Records, ExportDirectoryIsOneValueForTheClassAndEveryInstance) {
  Item cls = classObject("PARAM_STRUCTURE");
  EXPECT_EQ(inspect::memberFlags(cls, "zelxport"), 0x333u);
  Item before = embed::newInstance(cls);
  embed::setMember(cls, "zelxport", Item());
  EXPECT_TRUE(embed::getMember(before, "zelxport").isNil());
  embed::setMember(before, "ZELXPORT", str("C:\\one"));
  Item after = embed::newInstance(cls);
  for (const Item& holder : {cls, before, after}) {
    EXPECT_EQ(embed::getMember(holder, "zelxport").str(), "C:\\one");
  }
  embed::setMember(cls, "zelxport", str("C:\\two"));
  EXPECT_EQ(embed::getMember(before, "zelxport").str(), "C:\\two");
  EXPECT_EQ(embed::getMember(embed::newInstance(cls), "zelxport").str(), "C:\\two");
}

TEST(RecordsFirstCall, ExportDirectoryIsNilUntilAssigned) {
  VELMORAN_IN_FRESH_PROCESS({
    Item cls = classObject("PARAM_STRUCTURE");
    EXPECT_TRUE(embed::getMember(embed::newInstance(cls), "zelxport").isNil());
    EXPECT_TRUE(embed::getMember(cls, "zelxport").isNil());
  });
}

}  // namespace
}  // namespace velmoran::testing
