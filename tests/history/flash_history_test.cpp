// The flash history: records survive a write cut at any byte, two writers at once, the
// size bound and its privacy; a flash cut short is told apart from one still running.
#include "history/flash_history.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace troz::history {
namespace {

namespace fs = std::filesystem;
using std::chrono::system_clock;

FlashStart StartOf(int drive, const std::string& package) {
    FlashStart start;
    start.frontEnd = "cli";
    start.driveIndex = drive;
    start.identification = "TROZ    KVW-A100A       1.00";
    start.deviceNode = "virtual:" + std::to_string(drive);
    start.revisionBefore = "1.00";
    start.packagePath = package;
    start.packageSize = 65600;
    start.packageSha256 = std::string(64, 'a');
    start.target = "TROZ    KVW-A100A       1.10";
    return start;
}

FlashEnd Written() {
    return {kWritten, "1.10", {"Flashing ..", "Ok:Flash Complete!!"}};
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class History : public ::testing::Test {
protected:
    History() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() /
                 ("troz-history-" + std::string(test->name()) + "-" +
                  std::to_string(std::hash<std::thread::id>()(std::this_thread::get_id())));
        fs::remove_all(folder);
    }
    ~History() override { fs::remove_all(folder); }

    // A fixed clock one second further at every reading.
    FlashHistory Store(HistoryLimits limits = {}) {
        return FlashHistory(folder / "trozflash" / "history", limits, [this] {
            return system_clock::time_point(std::chrono::seconds(1796000000 + ticks++));
        });
    }

    // One whole flash of drive into the history.
    static void Flash(FlashHistory& history, int drive, const std::string& package) {
        std::string error;
        auto flash = history.Begin(StartOf(drive, package), error);
        ASSERT_NE(flash, nullptr) << error;
        ASSERT_TRUE(history.Complete(*flash, Written(), error)) << error;
    }

    fs::path folder;
    int ticks = 0;
};

TEST_F(History, ARecordHoldsItsBeginAndItsEnd) {
    FlashHistory history = Store();
    std::string error;
    auto flash = history.Begin(StartOf(1, "/fw/b200.tfs"), error);
    ASSERT_NE(flash, nullptr) << error;
    ASSERT_TRUE(history.Complete(*flash, Written(), error)) << error;

    const HistoryRead read = history.Read();
    ASSERT_EQ(read.records.size(), 1u) << read.warning;
    const FlashRecord& record = read.records[0];
    EXPECT_EQ(record.time, "2026-11-30T00:53:20Z");
    EXPECT_EQ(record.endTime, "2026-11-30T00:53:21Z");
    EXPECT_EQ(record.durationMs, 1000);
    EXPECT_EQ(record.start.packagePath, "/fw/b200.tfs");
    EXPECT_EQ(record.start.deviceNode, "virtual:1");
    EXPECT_EQ(record.start.packageSize, 65600u);
    EXPECT_EQ(record.start.target, "TROZ    KVW-A100A       1.10");
    ASSERT_TRUE(record.end.has_value());
    EXPECT_EQ(record.end->revisionAfter, "1.10");
    EXPECT_EQ(record.end->log, Written().log);
    EXPECT_TRUE(history.Interrupted().empty());
}

// A power cut during the last write leaves any prefix of it in the file: every earlier
// record stays readable, and the next record written after it is whole too.
TEST_F(History, AWriteCutAtAnyByteSpoilsNoOtherRecord) {
    FlashHistory history = Store();
    Flash(history, 0, "/fw/first.tfs");
    Flash(history, 1, "/fw/second.tfs");
    const std::string before = ReadAll(history.Journal());
    std::string error;
    auto cut = history.Begin(StartOf(2, "/fw/third.tfs"), error);
    ASSERT_NE(cut, nullptr) << error;
    const std::string lastWrite = ReadAll(history.Journal()).substr(before.size());
    ASSERT_GT(lastWrite.size(), 100u);

    for (std::size_t length = 0; length < lastWrite.size(); ++length) {
        SCOPED_TRACE("cut after " + std::to_string(length) + " bytes");
        WriteAll(history.Journal(), before + lastWrite.substr(0, length));
        std::vector<FlashRecord> records = history.Read().records;
        ASSERT_GE(records.size(), 2u);
        EXPECT_EQ(records[0].start.packagePath, "/fw/first.tfs");
        EXPECT_TRUE(records[1].Completed());
        // Only the line whole up to its last brace is a record.
        EXPECT_EQ(records.size(), length + 1 == lastWrite.size() ? 3u : 2u);

        Flash(history, 3, "/fw/after.tfs");
        records = history.Read().records;
        ASSERT_FALSE(records.empty());
        EXPECT_EQ(records.back().start.packagePath, "/fw/after.tfs");
        EXPECT_TRUE(records.back().Completed());
    }
}

// Two copies writing two drives: each has its own descriptors and locks, as two processes.
TEST_F(History, TwoWritersAtOnceLoseNoRecord) {
    constexpr int kFlashesEach = 40;
    auto writer = [this](int drive) {
        FlashHistory history(folder / "trozflash" / "history");
        for (int i = 0; i < kFlashesEach; ++i) {
            Flash(history, drive, "/fw/drive" + std::to_string(drive) + ".tfs");
        }
    };
    std::thread first(writer, 0);
    std::thread second(writer, 1);
    first.join();
    second.join();

    const std::vector<FlashRecord> records = Store().Read().records;
    ASSERT_EQ(records.size(), 2u * kFlashesEach);
    int perDrive[2] = {0, 0};
    for (const FlashRecord& record : records) {
        EXPECT_TRUE(record.Completed()) << record.id;
        ++perDrive[record.start.driveIndex];
    }
    EXPECT_EQ(perDrive[0], kFlashesEach);
    EXPECT_EQ(perDrive[1], kFlashesEach);
}

TEST_F(History, PastItsBoundTheOldestRecordsGoButNotAnInterruptedFlash) {
    HistoryLimits limits;
    limits.compactAbove = 8 * 1024;
    limits.compactTo = 4 * 1024;
    FlashHistory history = Store(limits);
    std::string error;
    history.Begin(StartOf(5, "/fw/cut-short.tfs"), error).reset();  // its writer is gone
    for (int i = 0; i < 60; ++i) {
        Flash(history, i % 2, "/fw/" + std::to_string(i) + ".tfs");
        EXPECT_LE(fs::file_size(history.Journal()), limits.compactAbove + 1024);
    }
    const std::vector<FlashRecord> records = history.Read().records;
    ASSERT_GT(records.size(), 3u);
    EXPECT_LT(records.size(), 30u);
    EXPECT_EQ(records.front().start.packagePath, "/fw/cut-short.tfs");
    EXPECT_EQ(records.back().start.packagePath, "/fw/59.tfs");
    EXPECT_EQ(records[1].start.packagePath,
              "/fw/" + std::to_string(60 - static_cast<int>(records.size()) + 1) + ".tfs");
    ASSERT_EQ(history.Interrupted().size(), 1u);
}

TEST_F(History, ALogTooLongIsCutToItsBound) {
    HistoryLimits limits;
    limits.logLines = 3;
    limits.logLineBytes = 10;
    FlashHistory history = Store(limits);
    std::string error;
    auto flash = history.Begin(StartOf(0, "/fw/a.tfs"), error);
    ASSERT_NE(flash, nullptr);
    FlashEnd end = Written();
    end.log = {"short", std::string(40, 'x'), "c", "d", "e"};
    ASSERT_TRUE(history.Complete(*flash, end, error));
    const std::vector<std::string> expected = {"short", "xxxxxxxxxx...", "c",
                                               "(2 more lines not kept)"};
    EXPECT_EQ(history.Read().records.at(0).end->log, expected);
}

// The interrupted flash: which records warn, in the shape the journal gives.
TEST(HistoryTime, IsCalendarTimeInUtcToTheSecond) {
    const struct {
        std::int64_t milliseconds;
        const char* text;
    } kTimes[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951825599'999, "2000-02-29T11:59:59Z"},  // a leap day; the fraction is dropped
        {1796083199'000, "2026-11-30T23:59:59Z"},
        {-1'000, "1969-12-31T23:59:59Z"},
    };
    for (const auto& time : kTimes) {
        EXPECT_EQ(IsoUtc(system_clock::time_point(std::chrono::milliseconds(time.milliseconds))),
                  time.text);
    }
}

TEST(InterruptedFlashes, WarnUntilTheDriveIsWrittenAgainOrTheyAreForgotten) {
    const auto journal = [](std::initializer_list<const char*> lines) {
        std::string text;
        for (const char* line : lines) {
            text += std::string(line) + "\n";
        }
        return ParseJournal(text);
    };
    const char* cut =
        R"({"v":1,"type":"begin","id":"a","drive":{"index":0,"device_node":"/dev/sr0"}})";
    const char* otherDrive =
        R"({"v":1,"type":"begin","id":"b","drive":{"index":1,"device_node":"/dev/sr1"}})";
    const char* sameDrive =
        R"({"v":1,"type":"begin","id":"c","drive":{"index":3,"device_node":"/dev/sr0"}})";
    const char* written = R"({"v":1,"type":"end","id":"c","outcome":"written"})";
    const char* failed = R"({"v":1,"type":"end","id":"c","outcome":"failed"})";
    const char* forgotten = R"({"v":1,"type":"forget","id":"a"})";
    const char* endBeforeBegin = R"({"v":1,"type":"end","id":"a","outcome":"written"})";
    const auto none = [](const std::string&) { return false; };
    const auto runningA = [](const std::string& id) { return id == "a"; };

    const struct {
        const char* name;
        std::vector<FlashRecord> records;
        std::function<bool(const std::string&)> running;
        std::vector<std::string> warned;
    } cases[] = {
        {"cut short", journal({cut}), none, {"a"}},
        {"still running", journal({cut}), runningA, {}},
        {"another drive written",
         journal({cut, otherDrive, R"({"v":1,"type":"end","id":"b","outcome":"written"})"}),
         none,
         {"a"}},
        {"same drive written later", journal({cut, sameDrive, written}), none, {}},
        {"same drive failed later", journal({cut, sameDrive, failed}), none, {"a"}},
        {"forgotten", journal({cut, forgotten}), none, {}},
        {"an end before its begin counts not", journal({endBeforeBegin, cut}), none, {"a"}},
        {"a line of another version", journal({R"({"v":2,"type":"begin","id":"a"})"}), none, {}},
        {"an id that is no file name",
         journal({R"({"v":1,"type":"begin","id":"../x"})"}),
         none,
         {}},
    };
    for (const auto& check : cases) {
        std::vector<std::string> warned;
        for (const std::size_t i : InterruptedAmong(check.records, check.running)) {
            warned.push_back(check.records[i].id);
        }
        EXPECT_EQ(warned, check.warned) << check.name;
    }
}

TEST_F(History, AFlashStillRunningIsNoInterruptedOneAndAForgottenOneWarnsNoMore) {
    FlashHistory history = Store();
    std::string error;
    auto running = history.Begin(StartOf(0, "/fw/a.tfs"), error);
    ASSERT_NE(running, nullptr) << error;
    // Another copy of the tool sees it running.
    EXPECT_TRUE(FlashHistory(history.Journal().parent_path()).Interrupted().empty());
    running.reset();  // its process ends without completing it
    const std::vector<FlashRecord> interrupted = history.Interrupted();
    ASSERT_EQ(interrupted.size(), 1u);
    EXPECT_EQ(InterruptedWarning(interrupted[0], 1),
              "Warning: the flash of /fw/a.tfs into drive 0 (TROZ    KVW-A100A       1.00, "
              "virtual:0) begun 2026-11-30T00:53:20Z was never completed; the drive may be "
              "without working firmware. Flash the same package into that drive again before "
              "using it (history --forget 1 stops this warning).");
    ASSERT_TRUE(history.Forget(interrupted[0].id, error)) << error;
    EXPECT_TRUE(history.Interrupted().empty());
    EXPECT_FALSE(fs::exists(history.Journal().parent_path() / (interrupted[0].id + ".lock")));
}

#ifndef _WIN32
// A process killed mid-flash: the system drops its lock, the record stays begun.
TEST_F(History, AWriterKilledMidFlashLeavesAnInterruptedFlash) {
    FlashHistory history = Store();
    std::string error;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto flash = history.Begin(StartOf(0, "/fw/a.tfs"), error);
        _exit(flash != nullptr ? 0 : 1);  // no destructors, as under kill -9
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(history.Interrupted().size(), 1u);
    Flash(history, 0, "/fw/a.tfs");
    EXPECT_TRUE(history.Interrupted().empty());
}

TEST_F(History, ItsFilesArePrivateToTheirUser) {
    fs::create_directories(folder / "trozflash" / "history");
    fs::permissions(folder / "trozflash" / "history", fs::perms(0755));
    FlashHistory history = Store();
    Flash(history, 0, "/fw/a.tfs");
    struct stat status {};
    ASSERT_EQ(::stat(history.Journal().parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(history.Journal().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    // A compaction's new file is as private as the old.
    HistoryLimits tiny;
    tiny.compactAbove = 1;
    tiny.compactTo = 1;
    FlashHistory compacting(history.Journal().parent_path(), tiny);
    Flash(compacting, 0, "/fw/b.tfs");
    ASSERT_EQ(::stat(history.Journal().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(compacting.Read().records.size(), 1u);
}
#endif

TEST_F(History, AJournalThatCannotBeReadIsNamedInTheWarning) {
    FlashHistory history = Store();
    fs::create_directories(history.Journal());  // a folder in the journal's place
    const HistoryRead read = history.Read();
    EXPECT_TRUE(read.records.empty());
    EXPECT_NE(read.warning.find("Cannot read the flash history"), std::string::npos);
    std::string error;
    EXPECT_EQ(history.Begin(StartOf(0, "/fw/a.tfs"), error), nullptr);
    EXPECT_NE(error.find("Cannot write the flash history"), std::string::npos) << error;
}

}  // namespace
}  // namespace troz::history
