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

namespace velmoran {
using hostrt::call;
using hostrt::guarded;
using hostrt::Item;
using hostrt::MethodFrame;
using hostrt::Name;
}  // namespace velmoran
