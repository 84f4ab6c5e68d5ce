#include "exporter/literals.h"

namespace velmoran::lit {

VELMORAN_DEFINE_LITERALS(VELMORAN_EXPORTER_LITERALS, loadExporterLiterals, loadModelLiterals())

}  // namespace velmoran::lit
