// Option parsing with getopt_long.

#include "host/options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace velmoran::host {

namespace {

enum LongOnly { kExportDir = 256, kCodePage, kPlugin, kMaxInputSize };

const option kOptions[] = {
    {"export-dir", required_argument, nullptr, kExportDir},
    {"codepage", required_argument, nullptr, kCodePage},
    {"plugin", required_argument, nullptr, kPlugin},
    {"max-input-size", required_argument, nullptr, kMaxInputSize},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// A byte count: digits with an optional K, M or G (times 1024, 1024^2, 1024^3).
bool parseSize(const char* text, uint64_t* size) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(text, &end, 10);
  if (errno != 0) return false;
  int shift = 0;
  switch (*end) {
    case 'K': case 'k': shift = 10; ++end; break;
    case 'M': case 'm': shift = 20; ++end; break;
    case 'G': case 'g': shift = 30; ++end; break;
    default: break;
  }
  if (*end != '\0' || n > (UINT64_MAX >> shift)) return false;
  *size = uint64_t(n) << shift;
  return true;
}

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
         "  --max-input-size N\n"
         "                    refuse an order file larger than N bytes, an input\n"
         "                    error (suffix K, M or G: KiB, MiB, GiB; default 256M)\n"
         "  -h, --help        print this help and exit\n"
         "  -V, --version     print the version and exit\n"
         "\n"
         "ORDER.json: {\"order\": {order_Structure members, \"orderPos\": [{position\n"
         "members}, ...]}, \"param\": {\"zelxport\": DIR}}. Member names match in any\n"
         "letter case; \"lines\" defaults to the number of positions. The members the\n"
         "plug-in reads are checked before sending: \"lines\" a whole number, at most\n"
         "the number of positions (fewer sends fewer, with a warning); \"partNo\" and\n"
         "\"remark\" strings; \"quantity\" a number; \"missionNo\" a number or a blank\n"
         "string. Their strings hold no control characters other than tab.\n"
         "\n"
         "Memory: the order file is read a chunk at a time, never held whole, and\n"
         "checked completely before anything is sent. Peak memory grows linearly\n"
         "with its size: at most 100 times the size plus 32 MiB, reached by positions\n"
         "given as bare {} (some 270 bytes of records each); filled positions take\n"
         "about 5 times, long arrays of strings about 12 times and of numbers about\n"
         "17 times.\n"
         "\n"
         "Exit status: 0 written, 1 not written (standard error tells why), 2 usage or\n"
         "input error, 3 no positions, 4 runtime error in the plug-in, 5 standard\n"
         "output could not be written.\n";
}

Status parseOptions(int argc, char** argv, Options* options) {
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
      case kMaxInputSize:
        if (!parseSize(optarg, &options->maxInputSize)) {
          return Status::usage(std::string("--max-input-size: \"") + optarg +
                               "\" is not a byte count (digits, optionally followed by K, M or G)");
        }
        break;
      case 'h': options->command = Command::kHelp; return Status();
      case 'V': options->command = Command::kVersion; return Status();
      case ':': return Status::usage(std::string(argv[optind - 1]) + ": the option needs a value");
      default:
        return Status::usage(
            (optopt ? std::string("-") + char(optopt) : std::string(argv[optind - 1])) +
            ": unknown option (see --help)");
    }
  }
  if (argc - optind != 1) {
    return Status::usage(argc == optind ? "no order file given (see --help)"
                                        : "more than one order file given (see --help)");
  }
  options->command = Command::kSend;
  options->input = argv[optind];
  return Status();
}

}  // namespace velmoran::host
