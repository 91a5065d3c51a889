// Sense codes in plain words on Linux, from libsgutils2's tables.
#include <scsi/sg_lib.h>

#include "cli/sense_text.h"

namespace troz::cli {

namespace {

constexpr int kSenseTextLength = 160;
constexpr const char* kAdditionalSenseLabel = "Additional sense: ";

}  // namespace

std::string SenseInPlainWords(const SenseCodes& codes) {
    char key[kSenseTextLength] = {};
    char additional[kSenseTextLength] = {};
    sg_get_sense_key_str(codes.senseKey, sizeof key, key);
    sg_get_asc_ascq_str(codes.asc, codes.ascq, sizeof additional, additional);
    // The library's text of a known code begins with a label the key already stands for.
    std::string words = additional;
    if (words.rfind(kAdditionalSenseLabel, 0) == 0) {
        words.erase(0, std::char_traits<char>::length(kAdditionalSenseLabel));
    }
    return std::string(key) + ": " + words;
}

}  // namespace troz::cli
