// The exporter: VelmoranOrder, the plug-in's one concrete order sender, for
// the supplier Velmoran, with everything it writes (the order file's records
// and name, the result messages, the purpose text). It builds on the model.
//
// The exporter is a runtime class derived from SendOrderInterface. An
// instance holds the order being sent, a field separator, the line end
// written after every record, the order file's path and the message about the
// last send; only the exporter's own methods touch them, through set/get
// pairs. `send` composes the supplier's fixed-column order file from an order
// and writes it into the export directory of the parameter record, puts the
// file's path on the clipboard and leaves a German result message.
//
// The functions below are the class's method table entries, implemented
// across the files of this folder; the application reaches them only by
// sending messages through the runtime. Their names do not hide the runtime's
// send: `sendOrder` implements the method send, `initExporter` init and
// `initExporterClass` initClass.
//
// Thread safety: an exporter instance belongs to one thread at a time.
// Exporters on different threads share only the export directory, the
// class-level member zelxport of param_Structure, which the runtime reads and
// assigns whole; the last directory assigned is the one every send uses.
#pragma once

#include "binding/host_runtime.h"

namespace velmoran {

// Member and method names as the class declares them, which is also how the
// exporter's own code sends them.
namespace names {
inline const Name kOrder("order");
inline const Name kSeparator("separator");
inline const Name kLineEnd("lineEnd");
inline const Name kOrderFile("OrderFile");
inline const Name kResultMessage("ResultMessage");
inline const Name kInit("init");
inline const Name kSetOrderfile("setOrderfile");
inline const Name kGetOrderfile("getOrderfile");
inline const Name kSetSeparator("setSeparator");
inline const Name kSetLineEnd("setLineEnd");
inline const Name kSetResultMessage("setResultMessage");
inline const Name kStripString("StripString");
inline const Name kText2File("text2File");
inline const Name kClipboard("Clipboard");
}  // namespace names

// init and the class-level methods (velmoran_order.cpp; the accessors are
// made there from one setter and one getter).
void initExporter(Item* result, int argc, const Item* argv);
void getPurpose(Item* result, int argc, const Item* argv);
void derivedFrom(Item* result, int argc, const Item* argv);
void initExporterClass(Item* result, int argc, const Item* argv);

// Part-number normalisation (strip_string.cpp).
void stripString(Item* result, int argc, const Item* argv);

// File and clipboard output (file_output.cpp).
void text2File(Item* result, int argc, const Item* argv);
void clipboard(Item* result, int argc, const Item* argv);

// The order file (send.cpp).
void sendOrder(Item* result, int argc, const Item* argv);

}  // namespace velmoran

// The class function: returns the class object, building and registering the
// class (and its superclass) on the first call.
VELMORAN_PUBLIC void VELMORANORDER(hostrt::Item* result, int argc, const hostrt::Item* argv);
