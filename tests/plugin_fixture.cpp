#include "plugin_fixture.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

namespace velmoran::testing {

void* loadPlugin() {
  static void* handle = [] {
    void* h = dlopen(VELMORAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      ADD_FAILURE() << "cannot load the plug-in: " << dlerror();
    }
    return h;
  }();
  return handle;
}

Item classObject(const char* publicName) {
  loadPlugin();
  return embed::callFunction(publicName);
}

Item newPosition(const Position& p) {
  Item position = embed::newInstance(classObject("ORDERPOSITION_STRUCTURE"));
  embed::setMember(position, "partNo", p.partNo);
  embed::setMember(position, "quantity", p.quantity);
  embed::setMember(position, "missionNo", p.missionNo);
  embed::setMember(position, "remark", p.remark);
  return position;
}

Item newOrder(const std::vector<Item>& positions, std::optional<int64_t> lines) {
  Item order = embed::newInstance(classObject("ORDER_STRUCTURE"));
  embed::setMember(order, "orderPos", Item::array(positions));
  embed::setMember(order, "lines", num(lines.value_or(int64_t(positions.size()))));
  return order;
}

Item newParam(const std::string& dir) {
  Item param = embed::newInstance(classObject("PARAM_STRUCTURE"));
  embed::setMember(param, "zelxport", str(dir));
  return param;
}

std::string SendOutcome::message() const {
  return std::string(embed::send(exporter, "getResultMessage").str());
}

SendOutcome sendOrder(const Item& order, const Item& param) {
  Item exporter = embed::newInstance(classObject("VELMORANORDER"));
  Item result = embed::send(exporter, "send", {order, param});
  return {result, exporter};
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velmoran-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

ScopedErrorHandler::ScopedErrorHandler(hostrt::ErrorHandler handler)
    : previous_(embed::setErrorHandler(std::move(handler))) {}

ScopedErrorHandler::~ScopedErrorHandler() { embed::setErrorHandler(std::move(previous_)); }

}  // namespace velmoran::testing
