// How loading and saving behave when the file system works against them: folders without write
// permission, writes that fail part-way, a saving process killed at a random moment, files that
// are gone or are folders, a line of 100 MB and a file of ten million lines.

#include "model/Propdmp.h"
#include "tests/model/ChildUser.h"
#include "tests/model/ScratchFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A sanitizer's shadow memory hides the program's own.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool UnderSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool UnderSanitizer = true;
#else
constexpr bool UnderSanitizer = false;
#endif
#else
constexpr bool UnderSanitizer = false;
#endif

// Saves Doc and sorts the outcome: the file error with Error whose message names the file.
int SaveExpectingError(TPropdumpFile& Doc, int Error) {
    try {
        Doc.Save();
        return Saved;
    } catch (const std::system_error& e) {
        if (e.code().value() != Error)
            return FailedOtherwise;
        return std::string(e.what()).find(Doc.FileName) == std::string::npos ? WrongMessage
                                                                             : FailedAsExpected;
    }
}

TPropdumpFile Document(int Objects, int Version, const std::string& FileName) {
    TPropdumpFile doc;
    doc.FileName = FileName;
    doc.Version = Version;
    doc.Objects.resize(static_cast<std::size_t>(Objects));
    for (int i = 0; i < Objects; ++i) {
        TPropObject& o = doc.Objects[static_cast<std::size_t>(i)];
        o.Owner = 100 + i % 17;
        o.Timestamp = 1000000000 + i;
        o.X = i * 7 - 50000;
        o.Z = -i;
        o.Yaw = i % 3600;
        o.Model = "model" + std::to_string(i % 5000) + ".rwx";
        o.Description = i % 4 ? "" : "sign\r\nline " + std::to_string(i);
        o.Action = i % 3 ? "" : "create color red";
    }
    return doc;
}

std::string SavedBytes(TPropdumpFile Doc, const std::string& Path) {
    Doc.FileName = Path;
    Doc.Save();
    return ReadBytes(Path);
}

} // namespace

TEST(FileFault, SaveWithoutWritePermission) {
    TScratchDir dir;
    WriteBytes(dir / "f", "old contents");
    WriteBytes(dir / "readonly", "old contents");
    GiveToChildUser(dir, {"f", "readonly"});
    TPropdumpFile doc = Document(50, 4, dir / "f");
    struct stat before {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &before), 0);

    // A folder the user cannot write into: no temporary file can be made beside the old one, so
    // the file, which the user may write, is written over in place. A new file cannot be made
    // there, and the error says that the folder is the reason.
    fs::permissions(dir.Path, fs::perms::owner_read | fs::perms::owner_exec |
                                  fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
    EXPECT_EQ(RunAsChildUser([&] { return SaveExpectingError(doc, 0); }), Saved);
    const TScratchDir elsewhere;
    EXPECT_EQ(ReadBytes(dir / "f"), SavedBytes(doc, elsewhere / "f"));
    struct stat after {};
    ASSERT_EQ(::stat((dir / "f").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(RunAsChildUser([&] {
                  doc.FileName = dir / "new";
                  const int result = SaveExpectingError(doc, EACCES);
                  try {
                      doc.Save();
                  } catch (const std::system_error& e) {
                      if (std::string(e.what()).find("folder \"" + dir.Path.string() + "\"") ==
                          std::string::npos)
                          return int{WrongMessage};
                  }
                  return result;
              }),
              FailedAsExpected);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"f", "readonly"}));

    // A file the user made read-only in a folder they may write to: renaming over it would
    // silently undo the protection, so it is refused like an in-place write would be.
    fs::permissions(dir.Path, fs::perms::owner_write, fs::perm_options::add);
    fs::permissions(dir / "readonly",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(RunAsChildUser([&] {
                  doc.FileName = dir / "readonly";
                  return SaveExpectingError(doc, EACCES);
              }),
              FailedAsExpected);
    EXPECT_EQ(ReadBytes(dir / "readonly"), "old contents");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"f", "readonly"}));
}

TEST(FileFault, SaveToAPlaceThatCannotHoldAFile) {
    TScratchDir dir;
    fs::create_directory(dir / "folder");
    WriteBytes(dir / "plain", "old");
    TPropdumpFile doc = Document(3, 2, "");
    const struct {
        std::string Path;
        int Error;
    } cases[] = {
        {dir / "folder", EISDIR},    // a folder of that name
        {dir / "missing/f", ENOENT}, // a folder that does not exist
        {dir / "plain/f", ENOTDIR},  // a file where a folder should be
        {"", ENOENT},                // no name at all
    };
    for (const auto& c : cases) {
        doc.FileName = c.Path;
        try {
            doc.Save();
            ADD_FAILURE() << "saved to " << c.Path;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), c.Error) << c.Path << ": " << e.what();
        }
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_TRUE(fs::is_empty(dir / "folder"));
    EXPECT_EQ(ReadBytes(dir / "plain"), "old");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"folder", "plain"}));
}

TEST(FileFault, WriteFailingPartWayLeavesNoFileBehind) {
    // The old file's survival is covered beside the saving tests; here no file existed before,
    // so a failed first save must not leave a partial file (or a temporary one) under any name.
    TScratchDir dir;
    TPropdumpFile doc = Document(30000, 3, dir / "new");
    const std::size_t full = SavedBytes(doc, dir / "reference").size();
    fs::remove(dir / "reference");
    for (const std::size_t limit : {std::size_t{0}, std::size_t{1}, full / 2, full - 1}) {
        for (const int error : {EIO, ENOSPC, EDQUOT}) {
            TFailingWriter writer(limit, error);
            try {
                doc.Save(writer);
                ADD_FAILURE() << "saved with a writer failing after " << limit;
            } catch (const std::system_error& e) {
                EXPECT_EQ(e.code().value(), error) << limit;
            }
            EXPECT_TRUE(dir.Entries().empty()) << "limit " << limit << ", error " << error;
        }
    }
    TFailingWriter enough(full, EIO);
    doc.Save(enough);
    EXPECT_EQ(fs::file_size(dir / "new"), full);
}

TEST(FileFault, SaveKilledAtAnyMomentLeavesOldOrNewFile) {
    TScratchDir dir;
    fs::create_directory(dir / "reference");
    const std::string oldBytes = SavedBytes(Document(1000, 4, ""), dir / "reference/old");
    TPropdumpFile doc = Document(200000, 4, dir / "f");
    const auto started = std::chrono::steady_clock::now();
    const std::string newBytes = SavedBytes(doc, dir / "reference/new");
    const auto saveTime = std::chrono::steady_clock::now() - started;

    const unsigned seed = std::random_device{}();
    std::mt19937 rng(seed);
    // Mostly within the first save, where a kill tells the old file from the new one; later
    // kills land in the loop's further saves of the same new content.
    std::uniform_int_distribution<long long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(saveTime).count() * 3 / 2);
    int oldKept = 0, newWritten = 0, temporariesLeft = 0;
    for (int round = 0; round < 8; ++round) {
        WriteBytes(dir / "f", oldBytes);
        std::cout.flush();
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                for (;;)
                    doc.Save();
            } catch (...) {
            }
            ::_exit(1);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";

        const std::string bytes = ReadBytes(dir / "f");
        ASSERT_TRUE(bytes == oldBytes || bytes == newBytes)
            << "partial file of " << bytes.size() << " bytes (seed " << seed << ", round " << round
            << ")";
        (bytes == oldBytes ? oldKept : newWritten)++;
        for (const std::string& name : dir.Entries()) {
            if (name == "f" || name == "reference")
                continue;
            EXPECT_EQ(name.rfind(".pdtmp-", 0), 0u) << name;
            ++temporariesLeft;
            fs::remove(dir / name);
        }
    }
    // A kill cannot clean up after itself: what it leaves is a temporary file, never the target.
    std::cout << "killed saves: " << oldKept << " kept the old file, " << newWritten
              << " left the new one, " << temporariesLeft << " left a temporary file (seed " << seed
              << ")\n";
}

TEST(FileFault, LoadingWhatIsNotAReadableFileChangesNothing) {
    TScratchDir dir;
    WriteBytes(dir / "f", "propdump version 2\r\n1 2 3 4 5 6 3 0 0 box\r\n");
    fs::create_directory(dir / "folder");
    WriteBytes(dir / "secret", "propdump version 2\r\n");
    fs::permissions(dir / "secret", fs::perms::owner_write);
    TPropdumpFile doc;
    doc.LoadFromFile(dir / "f", 0);
    fs::remove(dir / "f"); // gone before the user reverts

    const struct {
        std::string Path;
        int Error;
    } cases[] = {
        {dir / "f", ENOENT},
        {dir / "folder", EISDIR},
        {dir / "secret/x", ENOTDIR},
        {"", ENOENT},
    };
    for (const auto& c : cases) {
        try {
            doc.LoadFromFile(c.Path, 0);
            ADD_FAILURE() << "loaded " << c.Path;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), c.Error) << c.Path;
            EXPECT_NE(std::string(e.what()).find("\"" + c.Path + "\""), std::string::npos)
                << e.what();
        }
        ASSERT_EQ(doc.Count(), 1) << c.Path;
        EXPECT_EQ(doc.Item(0).Model, "box");
        EXPECT_EQ(doc.FileName, dir / "f");
        EXPECT_EQ(doc.Version, 2);
    }

    GiveToChildUser(dir, {"secret"});
    EXPECT_EQ(RunAsChildUser([&] {
                  try {
                      doc.LoadFromFile(dir / "secret", 0);
                      return Saved;
                  } catch (const std::system_error& e) {
                      const bool same = doc.Count() == 1 && doc.FileName == dir / "f";
                      return e.code().value() == EACCES && same ? FailedAsExpected
                                                                : FailedOtherwise;
                  }
              }),
              FailedAsExpected);
}

TEST(FileFault, LineOfAHundredMegabytes) {
    TScratchDir dir;
    constexpr std::size_t Size = 100 * 1000 * 1000;
    {
        std::ofstream out(dir / "big", std::ios::binary);
        out << "propdump version 2\r\n1 2 3 4 5 6 " << Size << " 0 0 ";
        const std::string block(1 << 20, 'm');
        for (std::size_t left = Size; left > 0; left -= std::min(left, block.size()))
            out.write(block.data(), static_cast<std::streamsize>(std::min(left, block.size())));
        out << "z\r\n1 2 3 4 5 6 1 0 0 n\r\n";
    }
    TPropdumpFile doc;
    doc.LoadFromFile(dir / "big", 0);
    ASSERT_EQ(doc.Count(), 2);
    EXPECT_EQ(doc.Item(0).Model.size(), Size);
    EXPECT_EQ(doc.Item(0).Model.find_first_not_of('m'), std::string::npos);
    EXPECT_EQ(doc.Item(1).Model, "n");

    // The same line with a count that claims more than is there, and without any numbers.
    std::string line = "1 2 3 4 5 6 999999999 0 0 " + std::string(Size, 'm');
    doc.LoadFromMemory("propdump version 2\n" + line, "claims", 0);
    EXPECT_EQ(doc.Item(0).Model.size(), Size);
    line.replace(0, 26, std::string(26, 'x'));
    try {
        doc.LoadFromMemory("propdump version 2\n" + line, "garbage", 0);
        ADD_FAILURE() << "a line without numbers loaded";
    } catch (const EPropdumpError& e) {
        EXPECT_STREQ(e.what(), "Line format not understood");
        EXPECT_EQ(e.LineNumber, 2);
    }
    EXPECT_EQ(doc.FileName, "claims");
}

TEST(FileFault, FileOfBlankLinesFailsAtItsFirstLineWithoutExhaustingMemory) {
    // Room for one object per line would be over 30 GB here; the load must fail on the line.
    const std::string blank(200 * 1000 * 1000, '\n');
    TPropdumpFile doc;
    try {
        doc.LoadFromMemory(blank, "blank", 3);
        ADD_FAILURE() << "a file of blank lines loaded";
    } catch (const EPropdumpError& e) {
        EXPECT_STREQ(e.what(), "Line format not understood");
        EXPECT_EQ(e.LineNumber, 1);
    }
    EXPECT_EQ(doc.FileName, "");
}

TEST(FileFault, TenMillionShortLinesInProportionateMemory) {
    if (UnderSanitizer)
        GTEST_SKIP() << "ten million objects take minutes under a sanitizer, whose shadow memory "
                        "also hides the program's; the normal build runs this";
    constexpr int Lines = 10'000'000;
    TScratchDir dir;
    {
        std::string text = "propdump version 2\r\n";
        text.reserve(Lines * 22 + 32);
        for (int i = 0; i < Lines; ++i)
            text += i % 2 ? "1 2 3 4 5 6 1 0 0 m\r\n" : "7 8 9 1 2 3 2 0 0 mm\n";
        WriteBytes(dir / "many", text);
    }
    const auto fileSize = fs::file_size(dir / "many");

    // A child of its own, so that its peak memory is that of the load alone.
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    std::cout.flush();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(report[0]);
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        const auto started = std::chrono::steady_clock::now();
        long long figures[4] = {-1, 0, 0, 0};
        try {
            TPropdumpFile doc;
            doc.LoadFromFile(dir / "many", 0);
            figures[0] = doc.Count();
        } catch (...) {
        }
        ::getrusage(RUSAGE_SELF, &after);
        figures[1] = before.ru_maxrss;
        figures[2] = after.ru_maxrss;
        figures[3] = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - started)
                         .count();
        (void)!::write(report[1], figures, sizeof figures);
        ::_exit(0);
    }
    ::close(report[1]);
    long long figures[4] = {-1, 0, 0, 0};
    const ssize_t got = ::read(report[0], figures, sizeof figures);
    ::close(report[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof figures)) << "the loading child died";
    EXPECT_EQ(figures[0], Lines);

    // The objects themselves, a read block and the allocator's slack: the file's bytes are never
    // held whole, and no line costs an allocation of its own.
    const long long grownKiB = figures[2] - figures[1];
    const long long objectsKiB = static_cast<long long>(sizeof(TPropObject)) * Lines / 1024;
    std::cout << "10 million lines (" << fileSize / (1024 * 1024) << " MiB): loaded in "
              << figures[3] << " ms, peak memory grew by " << grownKiB / 1024 << " MiB for "
              << objectsKiB / 1024 << " MiB of objects\n";
    EXPECT_LT(grownKiB, objectsKiB * 5 / 4 + 64 * 1024);
}
