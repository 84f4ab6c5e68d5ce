// StripString: removes a list of strings from a text. The exporter passes
// every part number through it, so that blanks, hyphens, full stops, slashes,
// backslashes and commas never reach the order file.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "exporter/literals.h"
#include "exporter/velmoran_order.h"

namespace velmoran {

namespace {

using namespace hostrt;

// The default list's characters. Removing single bytes gives the same text in
// whatever order they go, so one pass over the text that drops all six gives
// what the six STRTRAN passes with the default list give.
constexpr std::string_view kDefaultCharacters = " -./\\,";

// Which bytes the default list removes, by byte value.
constexpr std::array<bool, 256> kRemovedByDefault = [] {
  std::array<bool, 256> removed{};
  for (char c : kDefaultCharacters) removed[uint8_t(c)] = true;
  return removed;
}();

bool removedByDefault(char c) { return kRemovedByDefault[uint8_t(c)]; }

// The default list, built anew for the call that needs it.
Item defaultList() {
  return call(ACREATE)(lit::kBlank, lit::kHyphen, lit::kFullStop, lit::kSlash, lit::kBackslash,
                       lit::kComma);
}

// The text without the default list's characters, in one pass; the text
// itself when it has none of them.
Item withoutDefaultCharacters(const Item& text) {
  std::string_view bytes = text.str();
  if (std::none_of(bytes.begin(), bytes.end(), removedByDefault)) return text;
  std::string kept(bytes.size(), ' ');
  kept.erase(std::remove_copy_if(bytes.begin(), bytes.end(), kept.begin(), removedByDefault),
             kept.end());
  return Item::string(kept);
}

// The text with every occurrence of each list element removed, elements in
// list order and the list's length taken again before every pass.
Item removeEach(Item text, const Item& list) {
  for (Item index = lit::kOne; lessOrEqual(index, call(LEN)(list)); increment(index)) {
    text = call(STRTRAN)(text, element(list, index), lit::kEmpty);
  }
  return text;
}

}  // namespace

// StripString(text [, list [, keepLength]]): text with every occurrence of
// each list element removed, elements applied in list order. With keepLength
// true the result is padded with blanks to the length of the original text.
//
// Without a list, a loaded string (every part number that send passes) loses
// the default characters in one pass: some thirty runtime calls fewer for
// each position. Any other text goes through the default list and STRTRAN,
// which raises the runtime's error for it.
void stripString(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameClassMethod, "@VELMORANORDER@C@STRIPSTRING", 3, argc, argv);
  Item text = f.param(1);
  Item list = f.param(2);
  Item keepLength = f.param(3);
  if (exactlyEqual(keepLength, lit::kNil)) keepLength = lit::kFalse;
  if (!exactlyEqual(list, lit::kNil)) {
    text = removeEach(text, list);
  } else if (isLoadedString(text)) {
    text = withoutDefaultCharacters(text);
  } else {
    text = removeEach(text, defaultList());
  }
  if (isTrue(keepLength)) text = call(PADR)(text, call(LEN)(f.param(1)));
  rtReturnItem(result, &text);
}

}  // namespace velmoran
