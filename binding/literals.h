// The literal items of the library: every constant that a method uses (nil,
// numbers, logicals, strings) is a runtime item in the library's static data.
// They are built at compile time without an operation table; the load handler
// gives each its table (initLiterals) before any class function or method
// runs.
//
// Thread safety: written once by the load handler, read-only afterwards.
#pragma once

#include "binding/host_runtime.h"

namespace velmoran::lit {

extern constinit Item kNil;
extern constinit Item kFalse;
extern constinit Item kTrue;
extern constinit Item kZero;
extern constinit Item kOne;
extern constinit Item kMinusOne;
extern constinit Item kSix;
extern constinit Item kSeven;
extern constinit Item kFifteen;
extern constinit Item kCarriageReturnCode;  // 13
extern constinit Item kLineFeedCode;        // 10

extern constinit Item kEmpty;           // ""
extern constinit Item kBlank;           // " "
extern constinit Item kHyphen;          // "-"
extern constinit Item kFullStop;        // "."
extern constinit Item kSlash;           // "/"
extern constinit Item kBackslash;       // "\"
extern constinit Item kComma;           // ","
extern constinit Item kSemicolon;       // ";", the default separator
extern constinit Item kCarriageReturn;  // the one byte 0x0D
extern constinit Item kLineFeed;        // the one byte 0x0A
extern constinit Item kRecordTag;       // "ORDDTL"
extern constinit Item kFileTail;        // "\velmoran.txt"
extern constinit Item kContractName;    // "SendOrderInterface"
extern constinit Item kPurpose;         // the purpose text
extern constinit Item kNoPositions;     // "Keine Bestellpositionen gefunden"
extern constinit Item kWritten;         // "Die Bestelldaten befinden sich in der Datei "
extern constinit Item kWriteFailed;     // "Fehler beim Erstellen der Bestelldatei: "

// Gives every literal its operation table. Called by the load handler.
void initLiterals();

}  // namespace velmoran::lit
