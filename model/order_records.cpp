// order_Structure and orderPosition_Structure: the order head with its
// positions, as the application fills them. Open records of public members;
// a new position starts with a default in every member.

#include "binding/class_builder.h"
#include "model/literals.h"
#include "model/model.h"
#include "model/record_methods.h"

namespace velmoran {
namespace {

// The members of a new position, in the order init assigns them, with their defaults.
struct PositionDefault {
  Name member;
  const Item& value;
};
const PositionDefault kPositionDefaults[] = {
    {Name("partNo"), lit::kEmpty},       {Name("description"), lit::kEmpty},
    {Name("size"), lit::kEmpty},         {Name("color"), lit::kEmpty},
    {Name("ean"), lit::kEmpty},          {Name("orig"), lit::kEmpty},
    {Name("quantity"), lit::kZero},      {Name("custNo"), lit::kZero},
    {Name("custName"), lit::kEmpty},     {Name("custForename"), lit::kEmpty},
    {Name("missionNo"), lit::kEmpty},    {Name("vin"), lit::kEmpty},
    {Name("remark"), lit::kEmpty},
};

void positionInit(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameInstanceMethod, "@ORDERPOSITION_STRUCTURE@I@INIT", 0, argc, argv);
  for (const PositionDefault& d : kPositionDefaults) hostrt::setMember(f.self(), d.member, d.value);
  hostrt::rtReturnItem(result, &f.self());
}

hostrt::Class* orderClass = nullptr;
hostrt::Class* positionClass = nullptr;

}  // namespace
}  // namespace velmoran

VELMORAN_PUBLIC void ORDER_STRUCTURE(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, orderClass,
                    {__func__, "order_Structure", __LINE__, nullptr,
                     {
                         {"orderNo", kPublicMember},
                         {"dealerNumber", kPublicMember},
                         {"orderType", kPublicMember},
                         {"lines", kPublicMember},
                         {"supplier", kPublicMember},
                         {"orderPos", kPublicMember},
                     },
                     {
                         {"INIT", returnInstance<"@ORDER_STRUCTURE@I@INIT">, kPublicMethod},
                         {"INITCLASS", returnClass<"@ORDER_STRUCTURE@C@INITCLASS">,
                          kPublicClassMethod},
                     }});
}

VELMORAN_PUBLIC void ORDERPOSITION_STRUCTURE(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, positionClass,
                    {__func__, "orderPosition_Structure", __LINE__, nullptr,
                     {
                         {"partNo", kPublicMember},
                         {"description", kPublicMember},
                         {"size", kPublicMember},
                         {"color", kPublicMember},
                         {"ean", kPublicMember},
                         {"orig", kPublicMember},
                         {"quantity", kPublicMember},
                         {"custNo", kPublicMember},
                         {"custName", kPublicMember},
                         {"custForename", kPublicMember},
                         {"missionNo", kPublicMember},
                         {"vin", kPublicMember},
                         {"remark", kPublicMember},
                     },
                     {
                         {"init", positionInit, kPublicMethod},
                         {"INITCLASS", returnClass<"@ORDERPOSITION_STRUCTURE@C@INITCLASS">,
                          kPublicClassMethod},
                     }});
}
