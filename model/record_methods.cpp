#include "model/record_methods.h"

namespace velmoran {

void returnReceiver(const char* procedure, int frameKind, Item* result, int argc,
                    const Item* argv) {
  MethodFrame f(frameKind, procedure, 0, argc, argv);
  hostrt::rtReturnItem(result, &f.self());
}

}  // namespace velmoran
