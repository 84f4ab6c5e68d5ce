#include "binding/literals.h"

namespace velmoran::lit {

using hostrt::kLiteral;

constinit Item kNil{kLiteral, nullptr};
constinit Item kFalse{kLiteral, false};
constinit Item kTrue{kLiteral, true};
constinit Item kZero{kLiteral, 0};
constinit Item kOne{kLiteral, 1};
constinit Item kMinusOne{kLiteral, -1};
constinit Item kSix{kLiteral, 6};
constinit Item kSeven{kLiteral, 7};
constinit Item kFifteen{kLiteral, 15};
constinit Item kCarriageReturnCode{kLiteral, 13};
constinit Item kLineFeedCode{kLiteral, 10};

constinit Item kEmpty{kLiteral, ""};
constinit Item kBlank{kLiteral, " "};
constinit Item kHyphen{kLiteral, "-"};
constinit Item kFullStop{kLiteral, "."};
constinit Item kSlash{kLiteral, "/"};
constinit Item kBackslash{kLiteral, "\\"};
constinit Item kComma{kLiteral, ","};
constinit Item kSemicolon{kLiteral, ";"};
constinit Item kCarriageReturn{kLiteral, "\r"};
constinit Item kLineFeed{kLiteral, "\n"};
constinit Item kRecordTag{kLiteral, "ORDDTL"};
constinit Item kFileTail{kLiteral, "\\velmoran.txt"};
constinit Item kContractName{kLiteral, "SendOrderInterface"};
constinit Item kPurpose{kLiteral, "Velmoran Bestellungdatei (neues Format ab 2014)"};
constinit Item kNoPositions{kLiteral, "Keine Bestellpositionen gefunden"};
constinit Item kWritten{kLiteral, "Die Bestelldaten befinden sich in der Datei "};
constinit Item kWriteFailed{kLiteral, "Fehler beim Erstellen der Bestelldatei: "};

void initLiterals() {
  Item* const all[] = {
      &kNil,       &kFalse,        &kTrue,         &kZero,         &kOne,
      &kMinusOne,  &kSix,          &kSeven,        &kFifteen,      &kCarriageReturnCode,
      &kLineFeedCode, &kEmpty,     &kBlank,        &kHyphen,       &kFullStop,
      &kSlash,     &kBackslash,    &kComma,        &kSemicolon,    &kCarriageReturn,
      &kLineFeed,  &kRecordTag,    &kFileTail,     &kContractName, &kPurpose,
      &kNoPositions, &kWritten,    &kWriteFailed,
  };
  for (Item* item : all) hostrt::rtInitLiteral(item);
}

}  // namespace velmoran::lit
