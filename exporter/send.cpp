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

#include <string>

#include "binding/literals.h"
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

// The text with each carriage return and line feed replaced by a blank.
Item withoutLineBreaks(const Item& text) {
  Item flat = call(STRTRAN)(text, lit::kCarriageReturn, lit::kBlank);
  return call(STRTRAN)(flat, lit::kLineFeed, lit::kBlank);
}

// A formatted number field, or a runtime error when the number did not fit
// its columns. A handler that resumes supplies the field's text.
Item checkedField(const Item& field, const char* member, int columns, const Item& index) {
  if (!field.isString() || field.str().find('*') == std::string_view::npos) return field;
  std::string position = index.isInteger() ? std::to_string(index.asInteger()) : "?";
  return raiseError(kErrorUser,
                    std::string(member) + " of position " + position + " does not fit into " +
                        std::to_string(columns) + " digits",
                    std::string("STRZERO ") + member, {field, index});
}

// An unset mission number: nil, or a string with nothing but white space.
bool noMissionNumber(const Item& missionNo) {
  if (exactlyEqual(missionNo, lit::kNil)) return true;
  return missionNo.isString() && isTrue(call(EMPTY)(missionNo));
}

// Field 5: the mission number, else the remark, else nothing.
Item missionOrRemark(const Item& position, const Item& index) {
  Item missionNo = getMember(position, kMissionNo);
  if (!noMissionNumber(missionNo) && greater(missionNo, lit::kZero)) {
    return checkedField(call(STRZERO)(missionNo, lit::kSix), "missionNo", 6, index);
  }
  Item remark = getMember(position, kRemark);
  if (!isTrue(call(EMPTY)(remark))) return withoutLineBreaks(remark);
  return lit::kEmpty;
}

void appendRecord(Item& text, const Item& self, const Item& position, const Item& index) {
  appendInPlace(text, lit::kRecordTag);
  Item partNo = withoutLineBreaks(getMember(position, kPartNo));
  appendInPlace(text, call(PADR)(hostrt::send(self, names::kStripString, {partNo}), lit::kFifteen));
  Item quantity = call(STRZERO)(getMember(position, kQuantity), lit::kSeven, lit::kZero);
  appendInPlace(text, add(checkedField(quantity, "quantity", 7, index), lit::kBlank));
  appendInPlace(text, missionOrRemark(position, index));
  appendInPlace(text, getMember(self, names::kLineEnd));
}

Item linesOf(const Item& self) { return getMember(getMember(self, names::kOrder), kLines); }

void report(const Item& self, const Item& message) {
  hostrt::send(self, names::kSetResultMessage, {message});
}

}  // namespace

// send(order, param): true when the order file was written, false when it
// could not be, nil when the order has no positions.
void send(Item* result, int argc, const Item* argv) {
  MethodFrame f(kFrameInstanceMethod, "@VELMORANORDER@I@SEND", 2, argc, argv);
  const Item& self = f.self();
  Item text = lit::kEmpty;
  Item written = lit::kNil;
  hostrt::send(self, names::kInit, {f.param(1)});
  Item fileName = add(getMember(f.param(2), kZelxport), lit::kFileTail);
  hostrt::send(self, names::kSetOrderFile, {fileName});
  if (greater(linesOf(self), lit::kZero)) {
    for (Item index = lit::kOne; lessOrEqual(index, linesOf(self)); increment(index)) {
      Item positions = getMember(getMember(self, names::kOrder), kOrderPos);
      appendRecord(text, self, element(positions, index), index);
    }
    written = hostrt::send(self, names::kText2File, {getMember(self, names::kOrderFile), text});
    if (isTrue(written)) {
      hostrt::send(self, names::kClipboard, {getMember(self, names::kOrderFile)});
      report(self, add(lit::kWritten, hostrt::send(self, names::kGetOrderFile)));
    } else {
      report(self, add(lit::kWriteFailed, hostrt::send(self, names::kGetOrderFile)));
    }
  } else {
    report(self, lit::kNoPositions);
  }
  rtReturnItem(result, &written);
}

}  // namespace velmoran
