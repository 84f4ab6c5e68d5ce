// supplier_Structure and param_Structure. The supplier record is carried for
// the application; the parameter record's one member, zelxport, is
// class-level: one export directory shared by the class and all instances.

#include "binding/class_builder.h"
#include "model/literals.h"
#include "model/model.h"
#include "model/record_methods.h"

namespace velmoran {
namespace {

hostrt::Class* supplierClass = nullptr;
hostrt::Class* paramClass = nullptr;

}  // namespace
}  // namespace velmoran

VELMORAN_PUBLIC void SUPPLIER_STRUCTURE(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, supplierClass,
                    {__func__, "supplier_Structure", __LINE__, nullptr,
                     {
                         {"lr", kPublicMember},
                         {"name", kPublicMember},
                         {"name2", kPublicMember},
                         {"street", kPublicMember},
                         {"postcode", kPublicMember},
                         {"countrycode", kPublicMember},
                         {"town", kPublicMember},
                         {"telephone", kPublicMember},
                         {"fax", kPublicMember},
                         {"email", kPublicMember},
                         {"mobile", kPublicMember},
                         {"vfabfrage", kPublicMember},
                         {"user", kPublicMember},
                         {"pass", kPublicMember},
                         {"dealernumber", kPublicMember},
                     },
                     {
                         {"INIT", returnInstance<"@SUPPLIER_STRUCTURE@I@INIT">, kPublicMethod},
                         {"INITCLASS", returnClass<"@SUPPLIER_STRUCTURE@C@INITCLASS">,
                          kPublicClassMethod},
                     }});
}

VELMORAN_PUBLIC void PARAM_STRUCTURE(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, paramClass,
                    {__func__, "param_Structure", __LINE__, nullptr,
                     {
                         {"zelxport", kPublicClassMember},
                     },
                     {
                         {"INIT", returnInstance<"@PARAM_STRUCTURE@I@INIT">, kPublicMethod},
                         {"INITCLASS", returnClass<"@PARAM_STRUCTURE@C@INITCLASS">,
                          kPublicClassMethod},
                     }});
}
