// The model: the contract SendOrderInterface, which every order-sending
// plug-in fulfils towards the application, and the record classes through
// which the application hands over an order (order_Structure,
// orderPosition_Structure, supplier_Structure, param_Structure).
//
// Each class is reached through its class function, which returns the class
// object, building and registering the class on the first call.
#pragma once

#include "binding/host_runtime.h"

VELMORAN_PUBLIC void SENDORDERINTERFACE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void ORDER_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void ORDERPOSITION_STRUCTURE(hostrt::Item* result, int argc,
                                             const hostrt::Item* argv);
VELMORAN_PUBLIC void SUPPLIER_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void PARAM_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
