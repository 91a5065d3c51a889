// The history of every flash, kept per user in the tool's state folder
// ($XDG_STATE_HOME/trozflash/history/flashes.jsonl, %LOCALAPPDATA%\trozflash\history\ on
// Windows) by both front ends.
//
// The file is a journal of JSON lines, only ever appended to: a flash writes a "begin"
// line before the first command that carries firmware and an "end" line, with the same id,
// when the update ends; `history --forget` appends a "forget" line. Each line goes out in
// one write() on a descriptor opened with O_APPEND and is flushed to the disk before the
// flash goes on, under a lock (history.lock beside it), so two copies writing two drives at
// once never mix their lines. A power cut can tear only the line being written: readers skip
// a line that is not whole JSON, and the next append starts on a line of its own.
//
// Bounded: once the journal passes kCompactAbove bytes the oldest records are dropped until
// it holds kCompactTo bytes at most (a flash takes about 1 to 3 KiB: some hundreds of
// flashes stay), by writing the kept records to a new file renamed over the old one, under
// the same lock. A flash that was begun and never completed is never dropped.
//
// A flash in progress holds a lock of its own (<id>.lock in the same folder) from its begin
// until its end, and the system drops that lock when the process ends however it ends. So
// a begun record whose lock nobody holds is a flash cut short: by a power cut, a crash, or
// kill -9. It stays an interrupted flash until a later flash of the same drive completes
// or it is forgotten.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "os/file_lock.h"
#include "os/journal_file.h"

namespace troz::history {

// What is known before the first command that carries firmware.
struct FlashStart {
    std::string frontEnd;  // "window" or "cli"
    int driveIndex = 0;
    std::string identification;  // INQUIRY vendor and product, 24 characters, as list gives it
    std::string deviceNode;      // TAtapi::Location: /dev/sr0, D:, an ASPI address, virtual:0
    std::string revisionBefore;
    std::string packagePath;
    std::uint64_t packageSize = 0;
    std::string packageSha256;
    std::string target;  // the chosen image's target product string
};

// How the update ended.
struct FlashEnd {
    std::string outcome;  // kWritten, or what went wrong ("failed", "interrupted by ...")
    std::string revisionAfter;
    std::vector<std::string> log;
};

constexpr const char* kWritten = "written";

struct FlashRecord {
    std::string id;
    std::string time;  // ISO 8601 UTC: 2026-12-08T22:31:05Z
    std::int64_t writerPid = 0;
    FlashStart start;
    std::optional<std::string> endTime;
    std::optional<FlashEnd> end;
    std::int64_t durationMs = 0;
    bool forgotten = false;

    bool Completed() const { return end.has_value(); }
};

struct HistoryLimits {
    std::size_t compactAbove = 1024 * 1024;     // the journal's size that starts a compaction
    std::size_t compactTo = 512 * 1024;         // what a compaction keeps at most
    std::size_t largestRead = 8 * 1024 * 1024;  // a larger journal is read from its tail
    std::size_t logLines = 200;                 // a record keeps the first log lines ...
    std::size_t logLineBytes = 500;             // ... each cut to this length
};

// A flash begun in the history: holds the writer's lock until it is completed or dropped.
class OpenFlash {
public:
    OpenFlash(std::string id, std::chrono::system_clock::time_point started, FileLock writerLock)
        : id_(std::move(id)), started_(started), writerLock_(std::move(writerLock)) {}
    const std::string& Id() const { return id_; }

private:
    friend class FlashHistory;
    std::string id_;
    std::chrono::system_clock::time_point started_;
    FileLock writerLock_;
    bool completed_ = false;
};

struct HistoryRead {
    std::vector<FlashRecord> records;  // oldest first
    // The positions in records of the flashes cut short that still warn: begun, never
    // completed, not forgotten, their writer no longer running, and no later flash of the
    // same drive completed with kWritten.
    std::vector<std::size_t> interrupted;
    std::string warning;  // the journal could not be read (then no records)
};

class FlashHistory {
public:
    using Now = std::function<std::chrono::system_clock::time_point()>;

    explicit FlashHistory(std::filesystem::path folder, HistoryLimits limits = {},
                          Now now = &std::chrono::system_clock::now);

    // <state folder>/trozflash/history: XDG_STATE_HOME when absolute, else
    // ~/.local/state, else %LOCALAPPDATA%; none without any of them.
    static std::optional<std::filesystem::path> DefaultFolder();

    const std::filesystem::path& Journal() const { return journal_; }

    // Writes the begin line. Null, with one line in error, when it cannot be written.
    std::unique_ptr<OpenFlash> Begin(const FlashStart& start, std::string& error);
    // Writes the end line and lets go of the writer's lock; compacts the journal past its
    // bound.
    bool Complete(OpenFlash& flash, const FlashEnd& end, std::string& error);
    // Marks an interrupted flash as seen: it warns no more.
    bool Forget(const std::string& id, std::string& error);

    // Every record, oldest first, and which of them were cut short, read under the lock: a
    // flash that ends meanwhile is either still running or completed here, never neither.
    HistoryRead Read() const;

    // The records of the flashes cut short that still warn.
    std::vector<FlashRecord> Interrupted() const;

    // Whether the flash's writer still holds its lock.
    bool WriterRunning(const std::string& id) const;

private:
    std::filesystem::path LockPath() const;
    std::filesystem::path WriterLockPath(const std::string& id) const;
    FileLock LockJournal(std::string& error) const;
    bool Append(const std::string& line, std::string& error) const;
    void CompactIfLarge(std::string& error) const;

    std::filesystem::path folder_;
    std::filesystem::path journal_;
    HistoryLimits limits_;
    Now now_;
};

// The positions of the interrupted records among records (oldest first), given which
// writers still run.
std::vector<std::size_t> InterruptedAmong(const std::vector<FlashRecord>& records,
                                          const std::function<bool(const std::string&)>& running);

// The records of a journal's text, oldest first; lines that are not whole records (a torn
// last line, a line of another version) are skipped.
std::vector<FlashRecord> ParseJournal(const std::string& text);

// ISO 8601 in UTC, to the second: 2026-12-08T22:31:05Z.
std::string IsoUtc(std::chrono::system_clock::time_point time);

// The one line that tells of an interrupted flash and what to do about it.
std::string InterruptedWarning(const FlashRecord& record, std::size_t number);

}  // namespace troz::history
