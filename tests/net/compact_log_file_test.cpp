// The compact log on disk: a long log lives in an unnamed file, reads back whole, leaves no
// file behind; a full disk stops it as running out of memory does; without a usable
// directory it stays in memory and says so.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "net/compact_log.h"
#include "net/log_store.h"
#include "tests/text/code_page_restore.h"
#include "text/code_page.h"

namespace {

namespace fs = std::filesystem;

// Sets environment variables for the test's length.
class Environment {
public:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name, value.c_str(), 1);
    }
    ~Environment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A fresh directory under the temporary directory, removed at the end.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (fs::temp_directory_path() / "wl-log-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Descriptors of this process open on a file whose name starts with `prefix`.
int OpenFilesUnder(const std::string& prefix) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = fs::read_symlink(entry.path(), error).string();
        if (!error && target.rfind(prefix, 0) == 0)
            ++count;
    }
    return count;
}

// One line of `size` bytes: a number, then filler, so that every line differs.
std::string Chunk(int number, std::size_t size) {
    std::string chunk = std::to_string(number) + ":";
    chunk.resize(size, static_cast<char>('a' + number % 26));
    return chunk;
}

std::u16string Widen(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

using CompactLogFileTest = RestoresCodePage;

TEST_F(CompactLogFileTest, ALongLogLivesInAnUnnamedFileReadsBackWholeAndLeavesNothingBehind) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    ScratchDirectory cache;
    ASSERT_FALSE(cache.Path().empty());
    Environment environment;
    environment.Set("XDG_CACHE_HOME", cache.Path());
    const std::string own = cache.Path() + "/wirelark";
    {
        CompactLog log;
        // A short log stays in memory: many small records cost no descriptors.
        ASSERT_TRUE(log.AppendReceived("short"));
        EXPECT_FALSE(log.InFile());
        // 3 MiB in lines of various sizes, one larger than the file's write piece, a
        // character cut between two chunks.
        std::vector<std::string> expected = {"short"};
        for (int i = 0; i < 40; ++i) {
            const std::size_t size = i == 20 ? (std::size_t{3} << 19) : 40000 + 997 * i;
            expected.push_back(Chunk(i, size));
            ASSERT_TRUE(log.AppendReceived(expected.back()));
        }
        ASSERT_TRUE(log.AppendStream(1, "x\xE4"));
        ASSERT_TRUE(log.AppendStream(1, "\xBD\xA0y"));
        EXPECT_TRUE(log.InFile());
        // The directory was made for this user only and holds no name.
        struct stat info {};
        ASSERT_EQ(stat(own.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_TRUE(fs::is_empty(own));
        EXPECT_EQ(OpenFilesUnder(own), 1);

        ASSERT_EQ(log.LineCount(), expected.size() + 2);
        for (std::size_t line = 0; line < expected.size(); line += 7)
            EXPECT_EQ(log.Text(line, 1).substr(21), Widen(expected[line]) + u"\n") << line;
        EXPECT_EQ(log.Text(expected.size(), 1).substr(21), u"x\n");
        EXPECT_EQ(log.Text(expected.size() + 1, 1).substr(21), u"你y\n");

        // Cleared, the file goes at once; a sent log behaves alike.
        log.Clear();
        EXPECT_EQ(OpenFilesUnder(own), 0);
        CompactLog sent(CompactLog::kSentLog);
        ASSERT_TRUE(sent.AppendSent(std::string(100000, 's')));
        EXPECT_TRUE(sent.InFile());
        EXPECT_EQ(sent.Text().substr(21), Widen(std::string(100000, 's')) + u"\n");

        // As a receive thread logs: reads land in the log's buffer, and sealed pieces are
        // written by the thread outside the lock and handed back a read later.
        CompactLog landed;
        std::vector<std::string> chunks;
        std::shared_ptr<LogStore::PendingWrite> written;
        for (int i = 0; i < 400; ++i) {
            chunks.push_back(Chunk(i, 9000 + i));
            char* space = landed.ReceiveSpace(10240);
            if (space != nullptr)
                std::memcpy(space, chunks.back().data(), chunks.back().size());
            ASSERT_TRUE(landed.AppendStream(7, space != nullptr
                                                   ? std::string_view(space, chunks.back().size())
                                                   : std::string_view(chunks.back())));
            if (written) {
                ASSERT_TRUE(landed.FinishWrite(written));
            }
            written = landed.TakeWrite();
            if (written)
                written->Run();
        }
        EXPECT_TRUE(landed.InFile());
        for (std::size_t line = 0; line < chunks.size(); line += 13)
            EXPECT_EQ(landed.Text(line, 1).substr(21), Widen(chunks[line]) + u"\n") << line;
    }
    EXPECT_EQ(OpenFilesUnder(own), 0);
    EXPECT_TRUE(fs::is_empty(own));

    // Named files left by processes killed in the moment a file had a name: a later start
    // removes those of processes gone, and no other file.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    const std::string left = own + "/wirelark-log-" + std::to_string(gone) + "-a1B2c3";
    const std::string ours = own + "/wirelark-log-" + std::to_string(getpid()) + "-d4E5f6";
    const std::string other = own + "/notes.txt";
    for (const std::string& path : {left, ours, other}) std::ofstream(path) << "x";
    LogStore::SweepLeftFiles();
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(ours));
    EXPECT_TRUE(fs::exists(other));
}

TEST_F(CompactLogFileTest, WithoutAUsableDirectoryALogStaysInMemoryAndSaysSoOnce) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    Environment environment;
    environment.Set("XDG_CACHE_HOME", "/nonexistent-wl/cache");
    environment.Set("HOME", "/nonexistent-wl");
    environment.Set("TMPDIR", "/nonexistent-wl/tmp");
    CompactLog log;
    // The note goes between the two halves of a cut character, which still reads whole.
    ASSERT_TRUE(log.AppendStream(1, std::string(60000, 'a') + "\xE4"));
    ASSERT_TRUE(log.AppendStream(1, "\xBD\xA0" + std::string(60000, 'b')));
    ASSERT_TRUE(log.AppendStream(1, std::string(70000, 'c')));
    EXPECT_FALSE(log.InFile());
    ASSERT_EQ(log.LineCount(), 4u);
    EXPECT_EQ(log.Text(1, 1).substr(21), std::u16string(CompactLog::InMemoryNoteText()) + u"\n");
    EXPECT_EQ(log.Text(2, 1).substr(21), u"你" + Widen(std::string(60000, 'b')) + u"\n");
    EXPECT_EQ(log.Text(3, 1).substr(21), Widen(std::string(70000, 'c')) + u"\n");
}

// The child's part of the disk-full test, in its own mount namespace with a 1 MiB file
// system as the cache directory. Returns what went wrong, empty if nothing.
std::string FillTheDisk(const std::string& mountPoint) {
    if (mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0)
        return "skip";
    setenv("XDG_CACHE_HOME", mountPoint.c_str(), 1);
    CompactLog full;
    CompactLog other;
    std::size_t taken = 0;
    for (int i = 0; i < 100; ++i) {  // 3 MiB at most into 1 MiB
        if (!full.AppendReceived(Chunk(i, 30000)))
            break;
        ++taken;
    }
    if (!full.InFile())
        return "the log did not go to the file";
    if (!full.Stopped() || full.StoppedBecause() != CompactLog::kDiskFull)
        return "the log did not stop for a full disk after " + std::to_string(taken) + " lines";
    if (taken < 20)
        return "the log kept only " + std::to_string(taken) + " lines";
    if (full.AppendReceived("more"))
        return "a stopped log took more";
    // Everything taken reads back, and the last line says why it stopped.
    if (full.LineCount() != taken + 1)
        return "line count " + std::to_string(full.LineCount());
    for (std::size_t i = 0; i < taken; ++i) {
        if (full.Text(i, 1).substr(21) != Widen(Chunk(static_cast<int>(i), 30000)) + u"\n")
            return "line " + std::to_string(i) + " reads wrong";
    }
    const std::u16string reason(
        CompactLog::StoppedText(CompactLog::kReceivedLog, CompactLog::kDiskFull));
    if (full.Text(taken, 1).substr(21) != reason + u"\n")
        return "the last line does not say why";
    // Another record goes on (a short log needs no file).
    if (!other.AppendReceived("fine") || other.Text().substr(21) != u"fine\n")
        return "another record stopped too";
    return "";
}

void WriteFile(const char* path, const std::string& text) {
    std::ofstream(path) << text;
}

// As root, or as a user through a user namespace of its own where that is allowed.
bool EnterPrivateMountNamespace() {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWNS) != 0) {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        WriteFile("/proc/self/setgroups", "deny");
        WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
        WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST_F(CompactLogFileTest, AFullDiskStopsTheLogWhichKeepsWhatItHasAndSaysWhy) {
    ASSERT_TRUE(SetAnsiCodePage("UTF-8"));
    ScratchDirectory mountPoint;
    ASSERT_FALSE(mountPoint.Path().empty());
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        std::string outcome = "skip";
        // A private mount namespace: the small file system is seen by this process only.
        if (EnterPrivateMountNamespace())
            outcome = FillTheDisk(mountPoint.Path());
        (void)!write(pipeEnds[1], outcome.data(), outcome.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string outcome;
    char buffer[512];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        outcome.append(buffer, static_cast<std::size_t>(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (outcome == "skip")
        GTEST_SKIP() << "no private mount namespace with a small tmpfs allowed here";
    EXPECT_EQ(outcome, "");
}

}  // namespace
