#include "binding/literals.h"

namespace velmoran::lit {

void loadEach(std::initializer_list<Item*> items) {
  for (Item* item : items) hostrt::rtInitLiteral(item);
}

VELMORAN_DEFINE_LITERALS(VELMORAN_COMMON_LITERALS, loadCommonLiterals, (void)0)

}  // namespace velmoran::lit
