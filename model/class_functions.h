// The library's six public class functions. Each returns its class object,
// building and registering the class on the first call. The application
// reaches them through the runtime by their public names.
#pragma once

#include "binding/host_runtime.h"

#if defined(_WIN32)
#define VELMORAN_PUBLIC extern "C" __declspec(dllexport)
#else
#define VELMORAN_PUBLIC extern "C" __attribute__((visibility("default")))
#endif

VELMORAN_PUBLIC void SENDORDERINTERFACE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void ORDER_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void ORDERPOSITION_STRUCTURE(hostrt::Item* result, int argc,
                                             const hostrt::Item* argv);
VELMORAN_PUBLIC void SUPPLIER_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void PARAM_STRUCTURE(hostrt::Item* result, int argc, const hostrt::Item* argv);
VELMORAN_PUBLIC void VELMORANORDER(hostrt::Item* result, int argc, const hostrt::Item* argv);
