#include "virtual/drive_state_file.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <system_error>

#include "os/file_lock.h"
#include "os/user_files.h"

namespace troz {

namespace {

using Json = nlohmann::json;

constexpr const char* kStateDirectoryName = "trozflash";
constexpr const char* kStateFileName = "virtual-drives.json";
constexpr const char* kLockFolderSuffix = "-locks";
constexpr int kStateFileVersion = 1;
constexpr int kJsonIndent = 2;
constexpr std::chrono::milliseconds kStateLockWait{5000};
constexpr long long kMillisecondsPerSecond = 1000;

std::string FactoryStateWarning(const std::filesystem::path& file, const std::string& reason) {
    return "The virtual drives' state file " + PrintableName(file.string()) +
           " cannot be used: " + reason + "; the virtual drives start in their factory state";
}

std::string SaveFailure(const std::filesystem::path& file, const std::string& reason) {
    return "Cannot save the virtual drives' state to " + PrintableName(file.string()) + ": " +
           reason + "; the virtual drive keeps the firmware it had";
}

bool MakeStateDirectory(const std::filesystem::path& file, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    if (error) {
        reason = error.message();
        return false;
    }
    return true;
}

// A directory or a device in the file's place (also behind a symbolic link) is not replaced.
bool RefuseNonRegular(const std::filesystem::path& file, std::string& reason) {
    return !ExistsAndIsNotRegular(file.string(), reason);
}

std::filesystem::path LockPath(const std::filesystem::path& file) {
    std::filesystem::path lockPath = file;
    lockPath += ".lock";
    return lockPath;
}

// The state file's lock is held for the few milliseconds of a read or a save: one that
// stays taken for longer is not going to be given up, and the wait for it ends.
FileLock LockStateFile(const std::filesystem::path& file, std::string& reason) {
    FileLock lock = FileLock::Take(LockPath(file), kStateLockWait, reason);
    if (lock.TimedOut()) {
        reason = "another process has held it for more than " +
                 std::to_string(kStateLockWait.count() / kMillisecondsPerSecond) + " s";
    }
    return lock;
}

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

// The states in the file (none when it is missing), or nothing with the reason when it
// cannot be used.
std::optional<DriveStates> LoadStates(const std::filesystem::path& file, std::string& reason) {
    std::string text;
    switch (ReadSmallRegularFile(file.string(), kLargestStateFile, text, reason)) {
        case SmallFileRead::Missing:
            return DriveStates{};
        case SmallFileRead::Failed:
            return std::nullopt;
        case SmallFileRead::Read:
            break;
    }
    const Json document = Json::parse(text, nullptr, false);
    const auto drives = document.is_object() ? document.find("drives") : document.end();
    if (document.is_discarded() || !document.is_object() || drives == document.end() ||
        !drives->is_object()) {
        reason = "not a state file of this tool's";
        return std::nullopt;
    }
    DriveStates states;
    for (const auto& [key, entry] : drives->items()) {
        if (const auto identity = IdentityFrom(entry)) {
            states[key] = *identity;
        }
    }
    return states;
}

}  // namespace

std::optional<std::filesystem::path> DriveStateFilePath() {
    std::filesystem::path base;
    const char* stateHome = std::getenv("XDG_STATE_HOME");
    const char* home = std::getenv("HOME");
    const char* localAppData = std::getenv("LOCALAPPDATA");  // Windows has no HOME of its own
    if (stateHome != nullptr && std::filesystem::path(stateHome).is_absolute()) {
        base = stateHome;
    } else if (home != nullptr && std::filesystem::path(home).is_absolute()) {
        base = std::filesystem::path(home) / ".local" / "state";
    } else if (localAppData != nullptr && std::filesystem::path(localAppData).is_absolute()) {
        base = localAppData;
    } else {
        return std::nullopt;
    }
    return base / kStateDirectoryName / kStateFileName;
}

std::filesystem::path DriveLockFolder(const std::filesystem::path& stateFile) {
    const std::filesystem::path stateFolder = stateFile.parent_path();
    std::filesystem::path locks = stateFolder.parent_path() / stateFolder.filename();
    locks += kLockFolderSuffix;
    return locks;
}

DriveStates LoadDriveStates(const std::filesystem::path& file, std::string& warning) {
    warning.clear();
    std::string reason;
    if (auto states = LoadStates(file, reason)) {
        return *states;
    }
    warning = FactoryStateWarning(file, reason);
    return {};
}

bool SaveDriveStates(const std::filesystem::path& file, const DriveStates& states,
                     std::string& error) {
    Json drives = Json::object();
    for (const auto& [key, identity] : states) {
        drives[key] = {{"vendor", BytesToText(identity.vendor)},
                       {"product", BytesToText(identity.product)},
                       {"revision", BytesToText(identity.revision)},
                       {"modelCode", {identity.modelCode[0], identity.modelCode[1]}}};
    }
    const Json document = {{"version", kStateFileVersion}, {"drives", drives}};

    std::string reason;
    if (!MakeStateDirectory(file, reason) || !RefuseNonRegular(file, reason)) {
        error = SaveFailure(file, reason);
        return false;
    }
    // Written aside and renamed over, so a run that dies half-way leaves the old file. A
    // symbolic link in its place is replaced, never written through: what it points to is
    // somebody else's file.
    const std::string text = document.dump(kJsonIndent) + '\n';
    if (!WriteFileReplacing(file.string(), text.data(), text.size(), reason,
                            LinkAtPath::ReplaceLink)) {
        error = SaveFailure(file, reason);
        return false;
    }
    return true;
}

DriveStates ReadDriveStates(const std::filesystem::path& file, std::string& warning) {
    // Without a lock (a state folder that cannot be written, a lock held for too long) the
    // file is read all the same: a save replaces it whole, so a read sees one or the other.
    std::string reason;
    const FileLock lock = LockStateFile(file, reason);
    DriveStates states = LoadDriveStates(file, warning);
    if (warning.empty() && lock.TimedOut()) {
        warning = "The virtual drives' state lock " + PrintableName(LockPath(file).string()) +
                  " was not given up (" + reason + "); the state was read without it";
    }
    return states;
}

bool SaveDriveState(const std::filesystem::path& file, const std::string& key,
                    const std::optional<DriveIdentity>& identity, std::string& error) {
    std::string reason;
    if (!MakeStateDirectory(file, reason)) {
        error = SaveFailure(file, reason);
        return false;
    }
    const FileLock lock = LockStateFile(file, reason);
    if (!lock.Held()) {
        error = SaveFailure(
            file, "cannot lock " + PrintableName(LockPath(file).string()) + ": " + reason);
        return false;
    }
    // A file that cannot be read (or is not this tool's) may hold what another run or the
    // user wants kept: it is left as it is, and nothing is saved until it is removed.
    std::string unusable;
    std::optional<DriveStates> states = LoadStates(file, unusable);
    if (!states) {
        error = SaveFailure(file, "that file cannot be used (" + unusable +
                                      ") and is left as it is; remove it to save again");
        return false;
    }
    if (identity) {
        (*states)[key] = *identity;
    } else {
        states->erase(key);
    }
    return SaveDriveStates(file, *states, error);
}

}  // namespace troz
