// embed_order: the worked example order, filled in C++ and sent to the
// Velmoran plug-in through hostrt's embedding API, as an application does.
//
//   embed_order EXPORT_DIR [PLUGIN]
//
// Writes EXPORT_DIR/velmoran.txt and prints the plug-in's result message.
// Exit status 0: written; 1: not written; 2: bad usage or the plug-in cannot
// be loaded; 4: a runtime error.

#include <cstdio>
#include <string>

#include "hostrt/embed.h"

namespace embed = hostrt::embed;
using hostrt::Item;

namespace {

// A new orderPosition_Structure with the members the plug-in reads.
Item position(const char* partNo, int quantity, int missionNo, const char* remark) {
  Item p = embed::newInstance(embed::callFunction("ORDERPOSITION_STRUCTURE"));
  embed::setMember(p, "partNo", Item::string(partNo));
  embed::setMember(p, "quantity", Item::integer(quantity));
  embed::setMember(p, "missionNo", Item::integer(missionNo));
  embed::setMember(p, "remark", Item::string(remark));
  return p;
}

int send(const std::string& exportDir) {
  Item order = embed::newInstance(embed::callFunction("ORDER_STRUCTURE"));
  embed::setMember(order, "orderPos", Item::array({position("13-280 A.1", 2, 4711, "Eilt"),
                                                   position("99/0001,B", 10, 0, "Eilt")}));
  embed::setMember(order, "lines", Item::integer(2));

  // zelxport is a class-level member: one export directory for every instance.
  Item param = embed::newInstance(embed::callFunction("PARAM_STRUCTURE"));
  embed::setMember(param, "zelxport", Item::string(exportDir));

  Item exporter = embed::newInstance(embed::callFunction("VELMORANORDER"));
  Item written = embed::send(exporter, "send", {order, param});
  Item message = embed::send(exporter, "getResultMessage");
  std::printf("%.*s\n", int(message.str().size()), message.str().data());
  return written.isLogical() && written.asLogical() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: embed_order EXPORT_DIR [PLUGIN]\n");
    return 2;
  }
  std::string error;
  if (!embed::loadLibrary(argc > 2 ? argv[2] : VELMORAN_PLUGIN, &error)) {
    std::fprintf(stderr, "embed_order: cannot load the plug-in: %s\n", error.c_str());
    return 2;
  }
  // Runtime errors unwind to here as RuntimeError instead of ending the process.
  embed::setErrorHandler([](const hostrt::ErrorObject&) {
    return hostrt::ErrorDecision::unwind();
  });
  try {
    return send(argv[1]);
  } catch (const hostrt::RuntimeError& e) {
    std::fprintf(stderr, "embed_order: %s\n", e.what());
    return 4;
  }
}
