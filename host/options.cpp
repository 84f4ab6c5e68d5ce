// Option parsing with getopt_long.

#include "host/options.h"

#include <getopt.h>

namespace velmoran::host {

namespace {

enum LongOnly { kExportDir = 256, kCodePage, kPlugin };

const option kOptions[] = {
    {"export-dir", required_argument, nullptr, kExportDir},
    {"codepage", required_argument, nullptr, kCodePage},
    {"plugin", required_argument, nullptr, kPlugin},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

}  // namespace

namespace {
#if defined(_WIN32)
constexpr const char* kPluginFile = "velmoran.dll";
#else
constexpr const char* kPluginFile = "libvelmoran.so";
#endif
}  // namespace

std::string usageText() {
  return std::string("Usage: velmoran-send [OPTION]... ORDER.json\n"
         "Sends an order to the Velmoran plug-in, which writes the order file\n"
         "velmoran.txt into the export directory. ORDER.json \"-\" reads standard input.\n"
         "\n"
         "  --export-dir DIR  the export directory; replaces \"param\": {\"zelxport\": ...}\n"
         "  --codepage NAME   the code page of the records' strings (default CP1252;\n"
         "                    UTF-8 keeps the bytes)\n"
         "  --plugin PATH     the plug-in library (default: ") + kPluginFile + " beside this\n"
         "                    program, or in ../lib/velmoran)\n"
         "  -h, --help        print this help and exit\n"
         "  -V, --version     print the version and exit\n"
         "\n"
         "ORDER.json: {\"order\": {order_Structure members, \"orderPos\": [{position\n"
         "members}, ...]}, \"param\": {\"zelxport\": DIR}}. Member names match in any\n"
         "letter case; \"lines\" defaults to the number of positions.\n"
         "\n"
         "Exit status: 0 written, 1 not written, 2 usage or input error,\n"
         "3 no positions, 4 runtime error in the plug-in.\n";
}

Command parseOptions(int argc, char** argv, Options* options, std::string* error) {
  opterr = 0;  // our own messages, one line each
  optind = 1;
  for (;;) {
    int longIndex = -1;
    int c = getopt_long(argc, argv, ":hV", kOptions, &longIndex);
    if (c == -1) break;
    switch (c) {
      case kExportDir: options->order.exportDir = optarg; break;
      case kCodePage: options->order.codePage = optarg; break;
      case kPlugin: options->pluginPath = optarg; break;
      case 'h': return Command::kHelp;
      case 'V': return Command::kVersion;
      case ':':
        *error = std::string(argv[optind - 1]) + ": the option needs a value";
        return Command::kError;
      default:
        *error = (optopt ? std::string("-") + char(optopt) : std::string(argv[optind - 1])) +
                 ": unknown option (see --help)";
        return Command::kError;
    }
  }
  if (argc - optind != 1) {
    *error = argc == optind ? "no order file given (see --help)"
                            : "more than one order file given (see --help)";
    return Command::kError;
  }
  options->input = argv[optind];
  return Command::kSend;
}

}  // namespace velmoran::host
