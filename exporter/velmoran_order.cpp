// The exporter class: its registration, state accessors, init and the
// class-level methods.

#include "exporter/velmoran_order.h"

#include <vector>

#include "binding/class_builder.h"
#include "exporter/literals.h"
#include "model/model.h"

namespace velmoran {

namespace {

// A setter stores its argument unchanged and returns nil.
template <ProcedureName kProcedure, const Name& kMember>
void setter(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameInstanceMethod, kProcedure.chars, 1, argc, argv);
  hostrt::setMember(f.self(), kMember, f.param(1));
  hostrt::rtReturnNil(result);
}

// A getter returns its member unchanged.
template <ProcedureName kProcedure, const Name& kMember>
void getter(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameInstanceMethod, kProcedure.chars, 0, argc, argv);
  Item value = hostrt::getMember(f.self(), kMember);
  hostrt::rtReturnItem(result, &value);
}

hostrt::Class* theClass = nullptr;

}  // namespace

// Stores the order and resets separator, line end and result message through
// their setters. The order file keeps the path of the previous send.
void initExporter(Item* result, int argc, const Item* argv) {
  using hostrt::add;
  MethodFrame f(hostrt::kFrameInstanceMethod, "@VELMORANORDER@I@INIT", 1, argc, argv);
  hostrt::setMember(f.self(), names::kOrder, f.param(1));
  hostrt::send(f.self(), names::kSetSeparator, {lit::kSemicolon});
  Item lineEnd = add(add(Call(hostrt::CHR)(lit::kCarriageReturnCode),
                         Call(hostrt::CHR)(lit::kLineFeedCode)),
                     Call(hostrt::CHR)(lit::kLineFeedCode));
  hostrt::send(f.self(), names::kSetLineEnd, {lineEnd});
  hostrt::send(f.self(), names::kSetResultMessage, {lit::kEmpty});
  hostrt::rtReturnItem(result, &f.self());
}

void getPurpose(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameClassMethod, "@VELMORANORDER@C@GETPURPOSE", 0, argc, argv);
  hostrt::rtReturnItem(result, &lit::kPurpose);
}

void derivedFrom(Item* result, int argc, const Item* argv) {
  MethodFrame f(hostrt::kFrameClassMethod, "@VELMORANORDER@C@DERIVEDFROM", 0, argc, argv);
  hostrt::rtReturnItem(result, &lit::kContractName);
}

// Runs the contract's own initClass on the superclass part, passing on the
// arguments unchanged, then returns the class object.
void initExporterClass(Item* result, int argc, const Item* argv) {
  static const Name kSendOrderInterface("SendOrderInterface");
  static const Name kInitClass("initClass");
  MethodFrame f(hostrt::kFrameClassMethod, "@VELMORANORDER@C@INITCLASS", 0, argc, argv);
  std::vector<Item> args(argv, argv + argc);
  if (args.empty()) args.emplace_back();
  args[0] = hostrt::getMember(f.self(), kSendOrderInterface);
  hostrt::send(kInitClass, int(args.size()), args.data());
  hostrt::rtReturnItem(result, &f.self());
}

}  // namespace velmoran

VELMORAN_PUBLIC void VELMORANORDER(hostrt::Item* result, int, const hostrt::Item*) {
  using namespace velmoran;
  using namespace hostrt;
  findOrCreateClass(result, theClass,
                    {__func__, "VelmoranOrder", __LINE__, SENDORDERINTERFACE,
                     {
                         {"order", kInternalMember},
                         {"separator", kInternalMember},
                         {"lineEnd", kInternalMember},
                         {"OrderFile", kInternalMember},
                         {"ResultMessage", kInternalMember},
                     },
                     {
                         {"text2File", text2File, kInternalMethod},
                         {"setOrderfile",
                          setter<"@VELMORANORDER@I@SETORDERFILE", names::kOrderFile>,
                          kInternalMethod},
                         {"getOrderfile",
                          getter<"@VELMORANORDER@I@GETORDERFILE", names::kOrderFile>,
                          kInternalMethod},
                         {"setSeparator",
                          setter<"@VELMORANORDER@I@SETSEPARATOR", names::kSeparator>,
                          kInternalMethod},
                         {"getSeparator",
                          getter<"@VELMORANORDER@I@GETSEPARATOR", names::kSeparator>,
                          kInternalMethod},
                         {"setLineEnd",
                          setter<"@VELMORANORDER@I@SETLINEEND", names::kLineEnd>,
                          kInternalMethod},
                         {"getLineEnd",
                          getter<"@VELMORANORDER@I@GETLINEEND", names::kLineEnd>,
                          kInternalMethod},
                         {"setResultMessage",
                          setter<"@VELMORANORDER@I@SETRESULTMESSAGE", names::kResultMessage>,
                          kInternalMethod},
                         {"Clipboard", clipboard, kInternalMethod},
                         {"StripString", stripString, kInternalClassMethod},
                         {"init", initExporter, kPublicMethod},
                         {"send", sendOrder, kPublicMethod},
                         {"getResultMessage",
                          getter<"@VELMORANORDER@I@GETRESULTMESSAGE", names::kResultMessage>,
                          kPublicMethod},
                         {"getPurpose", getPurpose, kPublicClassMethod},
                         {"derivedFrom", derivedFrom, kPublicClassMethod},
                         {"INITCLASS", initExporterClass, kPublicClassMethod},
                     }});
}
