// From an order file to the records the plug-in is sent: an order_Structure
// with its positions (and supplier) and a param_Structure.
//
// The order file is a JSON object with the keys "order" (required) and
// "param". Keys are member names of the records, matched without regard to
// letter case and checked against the classes' declarations, so a misspelt
// member is reported rather than ignored:
//
//   "order"             order_Structure members
//   "order.orderPos"    array of objects, each a new orderPosition_Structure
//   "order.supplier"    an object becomes a new supplier_Structure
//   "param"             param_Structure members: "zelxport", the export directory
//
// Other values are passed as items: null nil, booleans logical, integers
// 64-bit integers (floats when too large), other numbers floats, strings
// converted from UTF-8 to the code page, arrays arrays. "lines", when absent,
// is the number of positions. The export directory is converted too on
// Windows, where the runtime reads file names in the application's code
// page; on POSIX, where file names are bytes, it is used as given.
//
// The members the plug-in reads are checked for their kind: "lines" a whole
// number, at most the number of positions; a position's "partNo" and
// "remark" strings, "quantity" a number, "missionNo" a number or a string of
// blanks and tabs; none of these strings holds a control character other
// than tab. Anything else is an input error naming the JSON path and what
// was found. "lines" smaller than the number of positions gives a warning.
//
// buildOrder checks and builds only; nothing is sent and no file is touched.
// The plug-in must be loaded; a runtime error while building the records
// (a plug-in that does not provide the classes) unwinds as RuntimeError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/status.h"
#include "hostrt/item.h"

namespace velmoran::host {

struct OrderOptions {
  std::optional<std::string> exportDir;  // replaces param.zelxport when given
  std::string codePage = "CP1252";       // iconv name of the application's code page
};

// The records of one order, ready to be sent.
struct OrderRecords {
  hostrt::Item order;  // an order_Structure
  hostrt::Item param;  // a param_Structure holding the export directory
  uint32_t codePage = 0;  // the strings' Windows code page; 0 where there are none
  std::vector<std::string> warnings;  // "FIELD: remark" on what is sent as it is
  std::string orderFile;              // the order file's name, as send forms it
};

class JsonSource;

// Builds the records into *out from the order file that `json` reads, or
// returns the input error that kept them from being built ("FIELD:
// problem", a problem of the whole file, or the source's error); *out is
// then unchanged. The file is read as it is parsed, never held whole.
Status buildOrder(JsonSource& json, const OrderOptions& options, OrderRecords* out);
// The same for an order file in memory.
Status buildOrder(std::string_view json, const OrderOptions& options, OrderRecords* out);
// The same, reading the text `chunkSize` bytes at a time as a file is read
// (a text of several chunks is parsed on a thread of its own).
Status buildOrder(std::string_view json, const OrderOptions& options, OrderRecords* out,
                  size_t chunkSize);

}  // namespace velmoran::host
