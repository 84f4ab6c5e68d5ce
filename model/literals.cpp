#include "model/literals.h"

namespace velmoran::lit {

VELMORAN_DEFINE_LITERALS(VELMORAN_MODEL_LITERALS, loadModelLiterals, loadCommonLiterals())

}  // namespace velmoran::lit
