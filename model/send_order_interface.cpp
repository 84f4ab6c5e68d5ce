// SendOrderInterface: the contract an order-sending plug-in fulfils towards
// the application. Abstract send, getPurpose and getResultMessage; a
// class-level derivedFrom that names the contract.

#include "binding/class_builder.h"
#include "model/literals.h"
#include "model/model.h"
#include "model/record_methods.h"

namespace velmoran {
namespace {

void derivedFrom(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameClassMethod, "@SENDORDERINTERFACE@C@DERIVEDFROM", 0, argc, argv);
  hostrt::rtReturnItem(result, &lit::kContractName);
}

hostrt::Class* theClass = nullptr;

}  // namespace
}  // namespace velmoran

VELMORAN_PUBLIC void SENDORDERINTERFACE(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, theClass,
                    {__func__, "SendOrderInterface", __LINE__, nullptr, {},
                     {
                         {"send", nullptr, kAbstractMethod},
                         {"getPurpose", nullptr, kAbstractMethod},
                         {"getResultMessage", nullptr, kAbstractMethod},
                         {"derivedFrom", derivedFrom, kPublicClassMethod},
                         {"INIT", returnInstance<"@SENDORDERINTERFACE@I@INIT">, kPublicMethod},
                         {"INITCLASS", returnClass<"@SENDORDERINTERFACE@C@INITCLASS">,
                          kPublicClassMethod},
                     }});
}
