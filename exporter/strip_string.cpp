// StripString: removes a list of strings from a text. The exporter passes
// every part number through it, so that blanks, hyphens, full stops, slashes,
// backslashes and commas never reach the order file.

#include "exporter/literals.h"
#include "exporter/velmoran_order.h"

namespace velmoran {

// StripString(text [, list [, keepLength]]): text with every occurrence of
// each list element removed, elements applied in list order. The default list
// is built anew on every call. With keepLength true the result is padded with
// blanks to the length of the original text.
void stripString(Item* result, int argc, const Item* argv) {
  using namespace hostrt;
  MethodFrame f(kFrameClassMethod, "@VELMORANORDER@C@STRIPSTRING", 3, argc, argv);
  Item text = f.param(1);
  Item list = f.param(2);
  Item keepLength = f.param(3);
  if (exactlyEqual(list, lit::kNil)) {
    list = Call(ACREATE)(lit::kBlank, lit::kHyphen, lit::kFullStop, lit::kSlash, lit::kBackslash,
                         lit::kComma);
  }
  if (exactlyEqual(keepLength, lit::kNil)) keepLength = lit::kFalse;
  for (Item index = lit::kOne; lessOrEqual(index, Call(LEN)(list)); increment(index)) {
    text = Call(STRTRAN)(text, element(list, index), lit::kEmpty);
  }
  if (isTrue(keepLength)) text = Call(PADR)(text, Call(LEN)(f.param(1)));
  rtReturnItem(result, &text);
}

}  // namespace velmoran
