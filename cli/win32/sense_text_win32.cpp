// Windows has no library of sense texts: the numbers on the log line stand alone.
#include "cli/sense_text.h"

namespace troz::cli {

std::string SenseInPlainWords(const SenseCodes& /*codes*/) {
    return {};
}

}  // namespace troz::cli
