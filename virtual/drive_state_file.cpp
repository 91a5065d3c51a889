#include "virtual/drive_state_file.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <system_error>

namespace troz {

namespace {

using Json = nlohmann::json;

constexpr const char* kStateDirectoryName = "trozflash";
constexpr const char* kStateFileName = "virtual-drives.json";
constexpr int kStateFileVersion = 1;
constexpr int kJsonIndent = 2;

// Identification bytes come from firmware images and need not be text: each byte is kept
// as the code point of the same value (Latin-1), which is valid JSON and reads back exactly.
std::string BytesToText(const std::string& bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += static_cast<char>(byte);
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::optional<std::string> TextToBytes(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            bytes += static_cast<char>(lead);
            continue;
        }
        if ((lead & 0xFE) != 0xC2 || i + 1 == text.size()) {
            return std::nullopt;  // beyond Latin-1: not something this file holds
        }
        const auto next = static_cast<unsigned char>(text[++i]);
        bytes += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
    }
    return bytes;
}

std::optional<std::string> ByteText(const Json& entry, const char* key) {
    const auto field = entry.find(key);
    if (field == entry.end() || !field->is_string()) {
        return std::nullopt;
    }
    return TextToBytes(field->get<std::string>());
}

std::optional<DriveIdentity> IdentityFrom(const Json& entry) {
    if (!entry.is_object()) {
        return std::nullopt;
    }
    const auto vendor = ByteText(entry, "vendor");
    const auto product = ByteText(entry, "product");
    const auto revision = ByteText(entry, "revision");
    const auto code = entry.find("modelCode");
    if (!vendor || !product || !revision || code == entry.end() || !code->is_array() ||
        code->size() != 2) {
        return std::nullopt;
    }
    DriveIdentity identity{*vendor, *product, *revision, {}};
    for (std::size_t i = 0; i < 2; ++i) {
        const Json& byte = (*code)[i];
        if (!byte.is_number_unsigned() || byte.get<unsigned>() > 0xFF) {
            return std::nullopt;
        }
        identity.modelCode[i] = static_cast<std::uint8_t>(byte.get<unsigned>());
    }
    return identity;
}

}  // namespace

std::optional<std::filesystem::path> DriveStateFilePath() {
    std::filesystem::path base;
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const char* localAppData = std::getenv("LOCALAPPDATA");  // Windows has no HOME of its own
    if (stateHome != nullptr && std::filesystem::path(stateHome).is_absolute()) {
        base = stateHome;
    } else if (home != nullptr && *home != '\0') {
        base = std::filesystem::path(home) / ".local" / "state";
    } else if (localAppData != nullptr && *localAppData != '\0') {
        base = localAppData;
    } else {
        return std::nullopt;
    }
    return base / kStateDirectoryName / kStateFileName;
}

DriveStates LoadDriveStates(const std::filesystem::path& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return {};
    }
    const std::string text{std::istreambuf_iterator<char>(stream),
                           std::istreambuf_iterator<char>()};
    const Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return {};
    }
    const auto drives = document.find("drives");
    if (drives == document.end() || !drives->is_object()) {
        return {};
    }
    DriveStates states;
    for (const auto& [key, entry] : drives->items()) {
        if (const auto identity = IdentityFrom(entry)) {
            states[key] = *identity;
        }
    }
    return states;
}

bool SaveDriveStates(const std::filesystem::path& file, const DriveStates& states) {
    Json drives = Json::object();
    for (const auto& [key, identity] : states) {
        drives[key] = {{"vendor", BytesToText(identity.vendor)},
                       {"product", BytesToText(identity.product)},
                       {"revision", BytesToText(identity.revision)},
                       {"modelCode", {identity.modelCode[0], identity.modelCode[1]}}};
    }
    const Json document = {{"version", kStateFileVersion}, {"drives", drives}};

    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    // Written aside and renamed over, so a run that dies half-way leaves the old file.
    std::filesystem::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
        stream << document.dump(kJsonIndent) << '\n';
        if (!stream) {
            return false;
        }
    }
    std::filesystem::rename(temporary, file, error);
    return !error;
}

}  // namespace troz
