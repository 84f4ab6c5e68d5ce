// The binding: what every layer of the plug-in uses, and nothing that knows
// of orders. This header gives the host runtime operations the plug-in uses;
// class_builder.h the find-or-create that every class function runs;
// literals.h the literal items and how a layer lists its own.
//
// The host runtime operations that the plug-in uses: items, classes, message
// sending, frames, errors, and the runtime's functions for strings, arrays,
// files and the clipboard.
#pragma once

#include "hostrt/clipboard.h"
#include "hostrt/error.h"
#include "hostrt/frame.h"
#include "hostrt/functions.h"
#include "hostrt/item.h"
#include "hostrt/object.h"
#include "hostrt/ops.h"

// Marks a function that the library exports: the class functions, which the
// application reaches by their public names.
#if defined(_WIN32)
#define VELMORAN_PUBLIC extern "C" __declspec(dllexport)
#else
#define VELMORAN_PUBLIC extern "C" __attribute__((visibility("default")))
#endif

namespace velmoran {

// A string whose bytes the plug-in may read directly: not a literal of a
// library that was never loaded, which the runtime's functions reject.
inline bool isLoadedString(const hostrt::Item& item) { return item.isString() && item.hasOps(); }

using hostrt::call;
using hostrt::guarded;
using hostrt::Item;
using hostrt::MethodFrame;
using hostrt::Name;
}  // namespace velmoran
