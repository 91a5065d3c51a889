// Files the user names: only regular files are read, within a limit; a replaced file holds
// its old content or all of the new; names are shown on one line.
#include "os/user_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace troz {
namespace {

namespace fs = std::filesystem;

class UserFiles : public ::testing::Test {
protected:
    UserFiles() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = fs::temp_directory_path() / ("troz-user-files-" + std::string(test->name()) + "-" +
                                              std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~UserFiles() override { fs::remove_all(folder); }

    std::string Write(const char* name, const std::string& content) {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    fs::path folder;
};

TEST(PrintableName, EscapesWhatCouldBreakTheLineAndNothingElse) {
    const std::pair<std::string, std::string> cases[] = {
        {"pkg\nOk:Flash Complete!!\n.tfs", "pkg\\x0AOk:Flash Complete!!\\x0A.tfs"},
        {"a\rb\tc\x1B[2Jd\x7F", "a\\x0Db\\x09c\\x1B[2Jd\\x7F"},
        {"C:\\fw\\\xC3\xBC.tfs", "C:\\fw\\\xC3\xBC.tfs"},  // backslashes and UTF-8 stay
        {"next\xC2\x85line", "next\\xC2\\x85line"},        // C1 control NEL in UTF-8
        {"bad\xFF\xC3", "bad\\xFF\\xC3"},                  // not UTF-8
        {"overlong\xC0\xAF", "overlong\\xC0\\xAF"},
        {std::string("nul\0x", 5), "nul\\x00x"},
    };
    for (const auto& [name, shown] : cases) {
        EXPECT_EQ(PrintableName(name), shown);
    }
}

TEST(PrintableBytes, ShowPrintableAsciiOnlyAndEscapeTheBackslash) {
    // A package's target is bytes: UTF-8 is not read into it, and a backslash would look like
    // an escape of its own.
    EXPECT_EQ(PrintableBytes("KVW-A100A 1.10"), "KVW-A100A 1.10");
    EXPECT_EQ(PrintableBytes("a\\b\xC3\xBC\n~\x7F"), "a\\x5Cb\\xC3\\xBC\\x0A~\\x7F");
}

TEST_F(UserFiles, OnlySmallRegularFilesAreRead) {
    std::string content, reason;
    EXPECT_EQ(ReadSmallRegularFile(Write("small", "12345"), 5, content, reason),
              SmallFileRead::Read);
    EXPECT_EQ(content, "12345");
    EXPECT_EQ(ReadSmallRegularFile(Write("large", "123456"), 5, content, reason),
              SmallFileRead::Failed);
    EXPECT_EQ(reason, "larger than 5 bytes");
    EXPECT_EQ(ReadSmallRegularFile((folder / "missing").string(), 5, content, reason),
              SmallFileRead::Missing);
    EXPECT_EQ(ReadSmallRegularFile(folder.string(), 5, content, reason), SmallFileRead::Failed);
    EXPECT_EQ(reason, "not a regular file (a directory)");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(OpenRegularFile((folder / "fifo").string(), reason), nullptr);  // no writer: no hang
    EXPECT_EQ(reason, "not a regular file (a FIFO)");
    EXPECT_EQ(ReadSmallRegularFile("/dev/zero", 5, content, reason), SmallFileRead::Failed);
    EXPECT_EQ(reason, "not a regular file (a device)");
}

TEST_F(UserFiles, AReplacedFileKeepsItsModeAndALinkStaysALink) {
    const std::string target = Write("target", "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, folder / "link");
    std::string reason;
    ASSERT_TRUE(WriteFileReplacing((folder / "link").string(), "new", 3, reason)) << reason;
    EXPECT_TRUE(fs::is_symlink(folder / "link"));
    std::string content;
    ASSERT_EQ(ReadSmallRegularFile(target, 10, content, reason), SmallFileRead::Read);
    EXPECT_EQ(content, "new");
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace troz
