#include "history/flash_history.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>

#include "os/process_id.h"

namespace troz::history {

namespace {

using Json = nlohmann::json;

constexpr const char* kStateFolderName = "trozflash";
constexpr const char* kHistoryFolderName = "history";
constexpr const char* kJournalName = "flashes.jsonl";
constexpr const char* kLockName = "history.lock";
constexpr const char* kWriterLockSuffix = ".lock";
constexpr int kJournalVersion = 1;
// A copy of the tool that holds the journal's lock appends one line or compacts a file of
// a megabyte: far less than this.
constexpr auto kLockPatience = std::chrono::seconds(5);
constexpr std::size_t kIdRandomDigits = 8;

// Ids name the writer's lock file: nothing but letters, digits and '-' may be in one.
bool IsSafeId(const std::string& id) {
    return !id.empty() && id.size() <= 64 && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-';
    });
}

std::string NewId(std::chrono::system_clock::time_point now) {
    std::string stamp;
    for (const char c : IsoUtc(now)) {
        if (c != ':' && c != '-') {
            stamp += c;
        }
    }
    std::random_device random;
    std::uniform_int_distribution<unsigned> digit(0, 15);
    static constexpr char kHexDigits[] = "0123456789abcdef";
    std::string suffix;
    for (std::size_t i = 0; i < kIdRandomDigits; ++i) {
        suffix += kHexDigits[digit(random)];
    }
    return stamp + "-" + std::to_string(CurrentProcessId()) + "-" + suffix;
}

// Paths and log lines may hold bytes that are not UTF-8: they are written as U+FFFD rather
// than failing the record.
std::string Line(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

std::string Text(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_string() ? found->get<std::string>() : std::string();
}

std::int64_t Number(const Json& json, const char* key) {
    const auto found = json.find(key);
    return found != json.end() && found->is_number_integer() ? found->get<std::int64_t>() : 0;
}

Json BeginJson(const FlashRecord& record) {
    const FlashStart& start = record.start;
    return {{"v", kJournalVersion},
            {"type", "begin"},
            {"id", record.id},
            {"time", record.time},
            {"writer_pid", record.writerPid},
            {"front_end", start.frontEnd},
            {"drive",
             {{"index", start.driveIndex},
              {"identification", start.identification},
              {"device_node", start.deviceNode}}},
            {"revision_before", start.revisionBefore},
            {"package",
             {{"path", start.packagePath},
              {"size", start.packageSize},
              {"sha256", start.packageSha256},
              {"target", start.target}}}};
}

Json EndJson(const std::string& id, const std::string& time, const FlashEnd& end,
             std::int64_t durationMs) {
    return {{"v", kJournalVersion},
            {"type", "end"},
            {"id", id},
            {"time", time},
            {"outcome", end.outcome},
            {"revision_after", end.revisionAfter},
            {"duration_ms", durationMs},
            {"log", end.log}};
}

Json ForgetJson(const std::string& id, const std::string& time) {
    return {{"v", kJournalVersion}, {"type", "forget"}, {"id", id}, {"time", time}};
}

void ReadBegin(const Json& line, FlashRecord& record) {
    record.time = Text(line, "time");
    record.writerPid = Number(line, "writer_pid");
    FlashStart& start = record.start;
    start.frontEnd = Text(line, "front_end");
    start.revisionBefore = Text(line, "revision_before");
    if (const auto drive = line.find("drive"); drive != line.end() && drive->is_object()) {
        start.driveIndex = static_cast<int>(Number(*drive, "index"));
        start.identification = Text(*drive, "identification");
        start.deviceNode = Text(*drive, "device_node");
    }
    if (const auto package = line.find("package"); package != line.end() && package->is_object()) {
        start.packagePath = Text(*package, "path");
        start.packageSize =
            static_cast<std::uint64_t>(std::max<std::int64_t>(0, Number(*package, "size")));
        start.packageSha256 = Text(*package, "sha256");
        start.target = Text(*package, "target");
    }
}

void ReadEnd(const Json& line, FlashRecord& record) {
    FlashEnd end;
    end.outcome = Text(line, "outcome");
    end.revisionAfter = Text(line, "revision_after");
    if (const auto log = line.find("log"); log != line.end() && log->is_array()) {
        for (const Json& entry : *log) {
            if (entry.is_string()) {
                end.log.push_back(entry.get<std::string>());
            }
        }
    }
    record.end = std::move(end);
    record.endTime = Text(line, "time");
    record.durationMs = Number(line, "duration_ms");
}

// The journal's lines of one record, in the order they were written.
std::string RecordLines(const FlashRecord& record) {
    std::string lines = Line(BeginJson(record));
    if (record.end) {
        lines +=
            Line(EndJson(record.id, record.endTime.value_or(""), *record.end, record.durationMs));
    }
    if (record.forgotten) {
        lines += Line(ForgetJson(record.id, record.time));
    }
    return lines;
}

bool SameDrive(const FlashStart& a, const FlashStart& b) {
    if (!a.deviceNode.empty() || !b.deviceNode.empty()) {
        return a.deviceNode == b.deviceNode;
    }
    return a.driveIndex == b.driveIndex;
}

FlashEnd Bounded(const FlashEnd& end, const HistoryLimits& limits) {
    FlashEnd bounded = end;
    const std::size_t left =
        bounded.log.size() > limits.logLines ? bounded.log.size() - limits.logLines : 0;
    bounded.log.resize(bounded.log.size() - left);
    for (std::string& line : bounded.log) {
        if (line.size() > limits.logLineBytes) {
            line.resize(limits.logLineBytes);
            line += "...";
        }
    }
    if (left > 0) {
        bounded.log.push_back("(" + std::to_string(left) + " more lines not kept)");
    }
    return bounded;
}

}  // namespace

std::string IsoUtc(std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(time);
    const auto days = std::chrono::floor<std::chrono::days>(seconds);
    const std::chrono::year_month_day date{days};
    const std::chrono::hh_mm_ss clock{seconds - days};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::vector<FlashRecord> ParseJournal(const std::string& text) {
    std::vector<FlashRecord> records;
    std::map<std::string, std::size_t> byId;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t to = text.find('\n', from);
        if (to == std::string::npos) {
            to = text.size();
        }
        const Json line =
            Json::parse(text.begin() + static_cast<std::ptrdiff_t>(from),
                        text.begin() + static_cast<std::ptrdiff_t>(to), nullptr, false);
        from = to + 1;
        if (line.is_discarded() || !line.is_object() || Number(line, "v") != kJournalVersion) {
            continue;
        }
        const std::string type = Text(line, "type");
        const std::string id = Text(line, "id");
        if (!IsSafeId(id)) {
            continue;
        }
        const auto known = byId.find(id);
        if (type == "begin" && known == byId.end()) {
            FlashRecord record;
            record.id = id;
            ReadBegin(line, record);
            byId[id] = records.size();
            records.push_back(std::move(record));
        } else if (type == "end" && known != byId.end() && !records[known->second].end) {
            ReadEnd(line, records[known->second]);
        } else if (type == "forget" && known != byId.end()) {
            records[known->second].forgotten = true;
        }
    }
    return records;
}

std::vector<std::size_t> InterruptedAmong(const std::vector<FlashRecord>& records,
                                          const std::function<bool(const std::string&)>& running) {
    std::vector<std::size_t> interrupted;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const FlashRecord& record = records[i];
        if (record.Completed() || record.forgotten) {
            continue;
        }
        const bool rewritten = std::any_of(records.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                           records.end(), [&record](const FlashRecord& later) {
                                               return later.end && later.end->outcome == kWritten &&
                                                      SameDrive(later.start, record.start);
                                           });
        if (!rewritten && !running(record.id)) {
            interrupted.push_back(i);
        }
    }
    return interrupted;
}

std::string InterruptedWarning(const FlashRecord& record, std::size_t number) {
    const FlashStart& start = record.start;
    return "Warning: the flash of " + start.packagePath + " into drive " +
           std::to_string(start.driveIndex) + " (" + start.identification + ", " +
           start.deviceNode + ") begun " + record.time +
           " was never completed; the drive may be without working firmware. Flash the same "
           "package into that drive again before using it (history --forget " +
           std::to_string(number) + " stops this warning).";
}

FlashHistory::FlashHistory(std::filesystem::path folder, HistoryLimits limits, Now now)
    : folder_(std::move(folder)),
      journal_(folder_ / kJournalName),
      limits_(limits),
      now_(std::move(now)) {}

std::optional<std::filesystem::path> FlashHistory::DefaultFolder() {
    // The same state folder as the virtual drives' state.
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
    return base / kStateFolderName / kHistoryFolderName;
}

std::filesystem::path FlashHistory::LockPath() const {
    return folder_ / kLockName;
}

std::filesystem::path FlashHistory::WriterLockPath(const std::string& id) const {
    return folder_ / (id + kWriterLockSuffix);
}

FileLock FlashHistory::LockJournal(std::string& error) const {
    std::string reason;
    if (!MakePrivateFolder(folder_, reason)) {
        error = "Cannot keep the flash history in " + folder_.string() + ": " + reason;
        return {};
    }
    FileLock lock = FileLock::Take(LockPath(), kLockPatience, reason);
    if (!lock.Held()) {
        error = "Cannot lock the flash history " + LockPath().string() + ": " + reason;
    }
    return lock;
}

bool FlashHistory::Append(const std::string& line, std::string& error) const {
    std::string reason;
    if (!AppendDurably(journal_, line, reason)) {
        error = "Cannot write the flash history " + journal_.string() + ": " + reason;
        return false;
    }
    return true;
}

std::unique_ptr<OpenFlash> FlashHistory::Begin(const FlashStart& start, std::string& error) {
    const auto now = now_();
    FlashRecord record;
    record.id = NewId(now);
    record.time = IsoUtc(now);
    record.writerPid = CurrentProcessId();
    record.start = start;
    const FileLock journalLock = LockJournal(error);
    if (!journalLock.Held()) {
        return nullptr;
    }
    // The writer's lock comes first: a reader never sees the begin line without it.
    std::string reason;
    FileLock writerLock = FileLock::Take(WriterLockPath(record.id), {}, reason);
    if (!writerLock.Held()) {
        error = "Cannot lock " + WriterLockPath(record.id).string() + ": " + reason;
        return nullptr;
    }
    if (!Append(Line(BeginJson(record)), error)) {
        std::error_code ignored;
        std::filesystem::remove(WriterLockPath(record.id), ignored);
        return nullptr;
    }
    return std::make_unique<OpenFlash>(record.id, now, std::move(writerLock));
}

bool FlashHistory::Complete(OpenFlash& flash, const FlashEnd& end, std::string& error) {
    if (flash.completed_) {
        return true;
    }
    const auto now = now_();
    const auto duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - flash.started_).count();
    const FileLock journalLock = LockJournal(error);
    if (!journalLock.Held()) {
        return false;
    }
    if (!Append(Line(EndJson(flash.id_, IsoUtc(now), Bounded(end, limits_), duration)), error)) {
        return false;
    }
    flash.completed_ = true;
    flash.writerLock_.Release();
    std::error_code ignored;
    std::filesystem::remove(WriterLockPath(flash.id_), ignored);
    CompactIfLarge(error);
    return true;
}

bool FlashHistory::Forget(const std::string& id, std::string& error) {
    const FileLock journalLock = LockJournal(error);
    if (!journalLock.Held() || !Append(Line(ForgetJson(id, IsoUtc(now_()))), error)) {
        return false;
    }
    if (IsSafeId(id) && !LockIsHeld(WriterLockPath(id))) {
        std::error_code ignored;
        std::filesystem::remove(WriterLockPath(id), ignored);
    }
    return true;
}

HistoryRead FlashHistory::Read() const {
    HistoryRead read;
    std::error_code missing;
    if (!std::filesystem::exists(folder_, missing)) {
        return read;  // nothing flashed yet: reading makes no folder
    }
    std::string text, reason;
    bool truncated = false;
    // Without the lock (a folder that cannot be written) the journal is read all the same.
    std::string ignored;
    const FileLock journalLock = LockJournal(ignored);
    if (!ReadTail(journal_, limits_.largestRead, text, truncated, reason)) {
        read.warning = "Cannot read the flash history " + journal_.string() + ": " + reason;
        return read;
    }
    if (truncated) {
        text.erase(0, std::min(text.size(), text.find('\n') + 1));  // the first line is cut
    }
    read.records = ParseJournal(text);
    read.interrupted =
        InterruptedAmong(read.records, [this](const std::string& id) { return WriterRunning(id); });
    return read;
}

bool FlashHistory::WriterRunning(const std::string& id) const {
    return IsSafeId(id) && LockIsHeld(WriterLockPath(id));
}

std::vector<FlashRecord> FlashHistory::Interrupted() const {
    HistoryRead read = Read();
    std::vector<FlashRecord> interrupted;
    for (const std::size_t i : read.interrupted) {
        interrupted.push_back(std::move(read.records[i]));
    }
    return interrupted;
}

void FlashHistory::CompactIfLarge(std::string& error) const {
    std::string text, reason;
    bool truncated = false;
    if (!ReadTail(journal_, limits_.largestRead, text, truncated, reason) ||
        (text.size() <= limits_.compactAbove && !truncated)) {
        return;
    }
    if (truncated) {
        text.erase(0, std::min(text.size(), text.find('\n') + 1));
    }
    const std::vector<FlashRecord> records = ParseJournal(text);
    // Flashes that still warn, or still run, stay whatever their age.
    std::set<std::string> openIds;
    for (const std::size_t i :
         InterruptedAmong(records, [](const std::string&) { return false; })) {
        openIds.insert(records[i].id);
    }
    for (const FlashRecord& record : records) {
        if (!record.Completed() && WriterRunning(record.id)) {
            openIds.insert(record.id);
        }
    }
    // The others newest first, until the bound.
    std::vector<bool> kept(records.size(), false);
    std::size_t size = 0;
    bool full = false;
    for (std::size_t i = records.size(); i-- > 0;) {
        const std::size_t recordSize = RecordLines(records[i]).size();
        // The newest record stays, however small the bound.
        full = full || (size > 0 && size + recordSize > limits_.compactTo);
        if (!full || openIds.count(records[i].id) > 0) {
            kept[i] = true;
            size += recordSize;
        }
    }
    std::string compacted;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (kept[i]) {
            compacted += RecordLines(records[i]);
        }
    }
    if (!ReplaceDurably(journal_, compacted, reason)) {
        error = "Cannot compact the flash history " + journal_.string() + ": " + reason;
        return;
    }
    // Writer locks that nobody holds and no open record needs: left by flashes that ended
    // in a crash and were then forgotten or flashed again.
    std::error_code failed;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, failed)) {
        const std::string name = entry.path().filename().string();
        const std::size_t suffix = name.size() - std::string(kWriterLockSuffix).size();
        if (name == kLockName || name.size() <= std::string(kWriterLockSuffix).size() ||
            name.compare(suffix, std::string::npos, kWriterLockSuffix) != 0 ||
            openIds.count(name.substr(0, suffix)) > 0 || LockIsHeld(entry.path())) {
            continue;
        }
        std::error_code ignored;
        std::filesystem::remove(entry.path(), ignored);
    }
}

}  // namespace troz::history
