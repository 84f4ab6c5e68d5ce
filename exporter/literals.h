// The exporter's literal items: the order file's widths, characters and
// texts, and the German messages (binding/literals.h tells how literals work).
#pragma once

#include "model/literals.h"

// Widths of the record's number fields and of the part number's columns.
// Characters the part number loses, the default separator, the line end's
// bytes and their codes for CHR. The record tag, the file name after the
// export directory, the purpose text and the result messages.
#define VELMORAN_EXPORTER_LITERALS(X)                                    \
  X(kMissionNoDigits, 6)                                                 \
  X(kQuantityDigits, 7)                                                  \
  X(kPartNoColumns, 15)                                                  \
  X(kHyphen, "-")                                                        \
  X(kFullStop, ".")                                                      \
  X(kSlash, "/")                                                         \
  X(kBackslash, "\\")                                                    \
  X(kComma, ",")                                                         \
  X(kSemicolon, ";")                                                     \
  X(kCarriageReturn, "\r")                                               \
  X(kLineFeed, "\n")                                                     \
  X(kCarriageReturnCode, 13)                                             \
  X(kLineFeedCode, 10)                                                   \
  X(kRecordTag, "ORDDTL")                                                \
  X(kFileTail, "\\velmoran.txt")                                         \
  X(kPurpose, "Velmoran Bestellungdatei (neues Format ab 2014)")         \
  X(kNoPositions, "Keine Bestellpositionen gefunden")                    \
  X(kWritten, "Die Bestelldaten befinden sich in der Datei ")            \
  X(kWriteFailed, "Fehler beim Erstellen der Bestelldatei: ")

namespace velmoran::lit {

// Loads the common literals, the model's and the exporter's: all of the
// library's. Called by the load handler.
VELMORAN_DECLARE_LITERALS(VELMORAN_EXPORTER_LITERALS, loadExporterLiterals)

}  // namespace velmoran::lit
