// The model's literal items (binding/literals.h tells how literals work).
#pragma once

#include "binding/literals.h"

#define VELMORAN_MODEL_LITERALS(X) \
  X(kContractName, "SendOrderInterface")

namespace velmoran::lit {

// Loads the common literals and the model's.
VELMORAN_DECLARE_LITERALS(VELMORAN_MODEL_LITERALS, loadModelLiterals)

}  // namespace velmoran::lit
