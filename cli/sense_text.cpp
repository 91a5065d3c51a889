#include "cli/sense_text.h"

#include <cstdio>

#ifdef TROZ_HAVE_SGUTILS
#include <scsi/sg_lib.h>
#endif

namespace troz::cli {

namespace {

constexpr const char* kSenseCodeMarker = "SenseCode:";
#ifdef TROZ_HAVE_SGUTILS
constexpr int kSenseTextLength = 160;
constexpr const char* kAdditionalSenseLabel = "Additional sense: ";
#endif

}  // namespace

std::optional<SenseCodes> SenseCodesOfLine(const std::string& line) {
    const std::size_t marker = line.find(kSenseCodeMarker);
    if (marker == std::string::npos) {
        return std::nullopt;
    }
    unsigned key = 0, asc = 0, ascq = 0;
    char end = 0;
    const char* codes = line.c_str() + marker + std::char_traits<char>::length(kSenseCodeMarker);
    if (std::sscanf(codes, "%x : %x : %x%c", &key, &asc, &ascq, &end) != 4 || end != ';' ||
        key > 0xFF || asc > 0xFF || ascq > 0xFF) {
        return std::nullopt;
    }
    return SenseCodes{static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(asc),
                      static_cast<std::uint8_t>(ascq)};
}

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
