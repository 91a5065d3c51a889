#include "cli/sense_text.h"

#ifdef TROZ_HAVE_SGUTILS
#include <scsi/sg_lib.h>
#endif

namespace troz::cli {

namespace {

#ifdef TROZ_HAVE_SGUTILS
constexpr int kSenseTextLength = 160;
constexpr const char* kAdditionalSenseLabel = "Additional sense: ";
#endif

}  // namespace

std::string SenseInPlainWords(const SenseCodes& codes) {
#ifdef TROZ_HAVE_SGUTILS
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
#else
    (void)codes;
    return {};
#endif
}

}  // namespace troz::cli
