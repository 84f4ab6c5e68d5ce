// send: composes the supplier's fixed-column order file from an order and
// writes it into the export directory.
//
// One ORDDTL record per position, fields back to back with no separator:
//
//   columns 1-6    "ORDDTL"
//   columns 7-21   part number without blanks, - . / \ and commas, padded or cut to 15
//   columns 22-28  quantity, 7 digits with leading zeros
//   column  29     one blank
//   from 30        mission number, 6 digits, when it is greater than 0;
//                  otherwise the remark as stored, when it is not empty
//   then           the line end: carriage return, line feed, line feed
//
// The whole text is composed in memory and written with one call, so nothing
// reaches the file before the last record is complete. Three guards keep a
// position from corrupting the file: a line break inside a part number or a
// remark is written as a blank, so one position is always one record; an
// unset mission number (nil or blank) counts as none; and a number too wide
// for its columns is a runtime error rather than a field of asterisks.

#include <algorithm>
#include <string>
#include <string_view>

#include "exporter/literals.h"
#include "exporter/velmoran_order.h"

namespace velmoran {

namespace {

using namespace hostrt;

const Name kZelxport("zelxport");
const Name kLines("lines");
const Name kOrderPos("orderPos");
const Name kPartNo("partNo");
const Name kQuantity("quantity");
const Name kMissionNo("missionNo");
const Name kRemark("remark");

// The text with each carriage return and line feed replaced by a blank. A
// loaded string is mapped in one pass, and is itself the result when it has
// neither; any other item goes to STRTRAN, which raises the runtime's error.
Item withoutLineBreaks(const Item& text) {
  if (isLoadedString(text)) {
    auto isLineBreak = [](char c) { return c == '\r' || c == '\n'; };
    std::string_view bytes = text.str();
    if (std::none_of(bytes.begin(), bytes.end(), isLineBreak)) return text;
    std::string flat(bytes);
    std::replace_if(flat.begin(), flat.end(), isLineBreak, ' ');
    return Item::string(flat);
  }
  Item flat = call(STRTRAN)(text, lit::kCarriageReturn, lit::kBlank);
  return call(STRTRAN)(flat, lit::kLineFeed, lit::kBlank);
}

// A number through STRZERO, or a runtime error when it did not fit its
// digits. A handler that resumes supplies the field's text.
Item numberField(const Item& field, const char* member, const Item& digits, const Item& index) {
  if (!field.isString() || field.str().find('*') == std::string_view::npos) return field;
  std::string position = index.isInteger() ? std::to_string(index.asInteger()) : "?";
  return raiseError(kErrorUser,
                    std::string(member) + " of position " + position + " does not fit into " +
                        std::to_string(digits.asInteger()) + " digits",
                    std::string("STRZERO ") + member, {field, index});
}

// An unset mission number: nil, or a string with nothing but white space.
bool noMissionNumber(const Item& missionNo) {
  if (exactlyEqual(missionNo, lit::kNil)) return true;
  return missionNo.isString() && isTrue(call(EMPTY)(missionNo));
}

// The last field: the mission number, else the remark, else nothing.
Item missionOrRemark(const Item& position, const Item& index) {
  Item missionNo = getMember(position, kMissionNo);
  if (!noMissionNumber(missionNo) && greater(missionNo, lit::kZero)) {
    Item field = call(STRZERO)(missionNo, lit::kMissionNoDigits);
    return numberField(field, "missionNo", lit::kMissionNoDigits, index);
  }
  Item remark = getMember(position, kRemark);
  if (!isTrue(call(EMPTY)(remark))) return withoutLineBreaks(remark);
  return lit::kEmpty;
}

// The part number without the characters StripString removes, in its columns.
Item partNoField(const Item& self, const Item& position) {
  Item partNo = withoutLineBreaks(getMember(position, kPartNo));
  return call(PADR)(send(self, names::kStripString, {partNo}), lit::kPartNoColumns);
}

// The quantity in its digits and the blank after it, joined before appending.
Item quantityField(const Item& position, const Item& index) {
  Item field = call(STRZERO)(getMember(position, kQuantity), lit::kQuantityDigits, lit::kZero);
  return add(numberField(field, "quantity", lit::kQuantityDigits, index), lit::kBlank);
}

void appendRecord(Item& text, const Item& self, const Item& position, const Item& index) {
  appendInPlace(text, lit::kRecordTag);
  appendInPlace(text, partNoField(self, position));
  appendInPlace(text, quantityField(position, index));
  appendInPlace(text, missionOrRemark(position, index));
  appendInPlace(text, getMember(self, names::kLineEnd));
}

Item orderOf(const Item& self) { return getMember(self, names::kOrder); }
Item linesOf(const Item& self) { return getMember(orderOf(self), kLines); }

// The order text: one record per position, `lines` read again before each.
Item orderText(const Item& self) {
  Item text = lit::kEmpty;
  for (Item index = lit::kOne; lessOrEqual(index, linesOf(self)); increment(index)) {
    appendRecord(text, self, element(getMember(orderOf(self), kOrderPos), index), index);
  }
  return text;
}

// The file name in the messages comes through getOrderfile, the class's
// accessor, so that a subclass that overrides it reports the name it gives.
Item withOrderFile(const Item& self, const Item& message) {
  return add(message, send(self, names::kGetOrderfile));
}

void report(const Item& self, const Item& message) {
  send(self, names::kSetResultMessage, {message});
}

}  // namespace

// send(order, param): true when the order file was written, false when it
// could not be, nil when the order has no positions.
void sendOrder(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@VELMORANORDER@I@SEND", 2, argc, argv);
  const Item& self = f.self();
  send(self, names::kInit, {f.param(1)});
  send(self, names::kSetOrderfile, {add(getMember(f.param(2), kZelxport), lit::kFileTail)});
  Item written = lit::kNil;
  if (greater(linesOf(self), lit::kZero)) {
    Item text = orderText(self);
    written = send(self, names::kText2File, {getMember(self, names::kOrderFile), text});
    if (isTrue(written)) {
      send(self, names::kClipboard, {getMember(self, names::kOrderFile)});
      report(self, withOrderFile(self, lit::kWritten));
    } else {
      report(self, withOrderFile(self, lit::kWriteFailed));
    }
  } else {
    report(self, lit::kNoPositions);
  }
  rtReturnItem(result, &written);
}

}  // namespace velmoran
