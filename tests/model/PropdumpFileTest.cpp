#include "model/Parallel.h"
#include "model/Propdmp.h"
#include "tests/model/ScratchFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <type_traits>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

const std::string Header = "propdump version 2\r\n";
const std::string Line1 = "104 1000000000 -6789 1500 12345 900 9 7 0 box01.rwxred box";
const std::string Line2 = "5 6 7 8 9 10 4 0 2 treeok";

// A document in a known state, to see that a failed load leaves it alone.
TPropdumpFile PreparedDocument() {
    TPropdumpFile doc;
    doc.LoadFromMemory(Header + Line2 + "\r\n" + Line2 + "\r\n", "/old/name", 0);
    return doc;
}

void ExpectPrepared(const TPropdumpFile& doc, const std::string& where) {
    EXPECT_EQ(doc.Count(), 2) << where;
    EXPECT_EQ(doc.FileName, "/old/name") << where;
    EXPECT_EQ(doc.Version, 2) << where;
    if (doc.Count() == 2) {
        EXPECT_EQ(doc.Item(1).Model, "tree") << where;
    }
}

// The loader's own blocks and threads, and blocks of about ten lines on three threads, so that
// a text of a few hundred kilobytes has thousands of block borders and later blocks often
// finish first.
struct TLoadTuning {
    const char* Name;
    TBatchTuning Tuning;
};
const TLoadTuning LoadTunings[] = {{"default blocks", {}}, {"256-byte blocks", {3, 0, 256}}};

class TTuned {
public:
    explicit TTuned(const TLoadTuning& tuning) : Old(BatchTuning()) {
        BatchTuning() = tuning.Tuning;
    }
    TTuned(const TTuned&) = delete;
    TTuned& operator=(const TTuned&) = delete;
    ~TTuned() { BatchTuning() = Old; }

private:
    TBatchTuning Old;
};

std::vector<int32_t> Owners(const TPropdumpFile& doc) {
    std::vector<int32_t> owners;
    for (const TPropObject& o : doc.Objects)
        owners.push_back(o.Owner);
    return owners;
}

} // namespace

static_assert(!std::is_base_of_v<EPropdumpError, EPropdumpVersionUnknown>,
              "the window answers only a missing header by asking for the version");

TEST(PropdumpFileLoad, HeaderLineNamesTheVersion) {
    const struct {
        const char* FirstLine;
        int Version; // 0: refused
    } cases[] = {
        {"propdump version 3", 3},
        {"  propdump  version 3", 3},
        {"propdumpversion 3", 3},
        {"propdump version 3.5", 3},
        {"propdump version 4 and more", 4},
        {"propdump version 2", 2},
        {"propdump version\b  2", 2},
        {"Propdump version 3", 0},
        {"propdump version 5", 0},
        {"propdump version 1", 0},
        {"propdump version -3", 0},
        {"propdump version +3", 0},
        {"propdump version 99999999999", 0},
        {"propdump version", 0},
        {"propdump\tversion 3", 0},
        {"104 1000000000 -6789 1500 12345 900 9 7 0 box01.rwxred box", 0},
    };
    for (const auto& c : cases) {
        TPropdumpFile doc = PreparedDocument();
        const std::string bytes = std::string(c.FirstLine) + "\r\n";
        if (c.Version != 0) {
            ASSERT_NO_THROW(doc.LoadFromMemory(bytes, "new", 0)) << c.FirstLine;
            EXPECT_EQ(doc.Version, c.Version) << c.FirstLine;
            EXPECT_EQ(doc.Count(), 0) << c.FirstLine;
            EXPECT_EQ(doc.FileName, "new") << c.FirstLine;
            continue;
        }
        try {
            doc.LoadFromMemory(bytes, "new", 0);
            ADD_FAILURE() << "accepted " << c.FirstLine;
        } catch (const EPropdumpVersionUnknown& e) {
            EXPECT_STREQ(e.what(), "Unknown propdump format");
        }
        ExpectPrepared(doc, c.FirstLine);
    }
}

TEST(PropdumpFileLoad, EveryKindOfLineEnd) {
    const std::string h = "propdump version 2";
    const std::string texts[] = {
        h + "\r\n" + Line1 + "\r\n" + Line2 + "\r\n",
        h + "\n" + Line1 + "\n" + Line2,
        h + "\r" + Line1 + "\r" + Line2 + "\r",
        h + "\r\n" + Line1 + "\n" + Line2 + "\r",
    };
    for (const std::string& text : texts) {
        TPropdumpFile doc;
        ASSERT_NO_THROW(doc.LoadFromMemory(text, "f", 0)) << testing::PrintToString(text);
        EXPECT_EQ(Owners(doc), (std::vector<int32_t>{104, 5})) << testing::PrintToString(text);
        EXPECT_EQ(doc.Item(1).Action, "ok");
    }

    // Other control bytes are text, wherever they stand next to a line end.
    const std::string controls = "\t\b\x01\x0B\x0C\x0E\t\t\t\t\t\t\t\t\b";
    for (std::size_t n = 1; n <= controls.size(); ++n) {
        const std::string model = controls.substr(0, n);
        TPropdumpFile doc;
        doc.LoadFromMemory(h + "\n1 2 3 4 5 6 " + std::to_string(n) + " 0 0 " + model + "\r\n" + Line2, "f", 0);
        ASSERT_EQ(doc.Count(), 2) << n;
        EXPECT_EQ(doc.Item(0).Model, model);
    }
}

TEST(PropdumpFileLoad, FailedLoadLeavesTheDocumentAsItWas) {
    const struct {
        std::string Bytes;
        int Version;
        const char* Message;
        int LineNumber;
    } cases[] = {
        {"", 0, "File contains no data", 0},
        {std::string("\0propdump version 2\r\n", 21), 0, "File contains no data", 0},
        {"", 3, "File contains no data", 0},
        {Header, 3, "Line format not understood", 1},                      // a header is no object
        {Header + Line1 + "\r\n\r\n" + Line2, 0, "Line format not understood", 3}, // blank line
        {Header + Line1 + "\r\n\r\n", 0, "Line format not understood", 3},  // blank last line
        {Header + Line1 + "\r\r" + Line2, 0, "Line format not understood", 3}, // CR CR is two breaks
        {Header + Line1 + "\n\r" + Line2, 0, "Line format not understood", 3}, // so is LF CR
        {Header + Line1 + "\r\n" + Line2 + "\r\nbad\r\n", 0, "Line format not understood", 4},
        // more lines than the bytes could hold as objects: no room is reserved for them
        {Header + Line1 + "\r\n" + std::string(200, '\n'), 0, "Line format not understood", 3},
        {Line1 + "\r\n", 5, "'5' is not a known propdump file version", 1},
        {Line1 + "\r\n", -1, "'-1' is not a known propdump file version", 1},
    };
    for (const auto& c : cases) {
        const std::string where = testing::PrintToString(c.Bytes) + " version " + std::to_string(c.Version);
        TPropdumpFile doc = PreparedDocument();
        try {
            doc.LoadFromMemory(c.Bytes, "new", c.Version);
            ADD_FAILURE() << "loaded " << where;
        } catch (const EPropdumpError& e) {
            EXPECT_STREQ(e.what(), c.Message) << where;
            EXPECT_EQ(e.LineNumber, c.LineNumber) << where;
        }
        ExpectPrepared(doc, where);
    }

    TPropdumpFile doc = PreparedDocument();
    EXPECT_THROW(doc.LoadFromMemory(Line1 + "\r\n", "new", 0), EPropdumpVersionUnknown);
    ExpectPrepared(doc, "header-less file read for its header");

    TScratchDir dir;
    EXPECT_THROW(doc.LoadFromFile(dir / "missing", 0), std::system_error);
    EXPECT_THROW(doc.LoadFromFile(dir.Path.string(), 0), std::system_error);
    ExpectPrepared(doc, "file that cannot be read");
}

TEST(PropdumpFileLoad, HeaderOnlyAndHeaderLessFiles) {
    TPropdumpFile doc;
    doc.LoadFromMemory("propdump version 4\r\n", "a", 0);
    EXPECT_EQ(doc.Count(), 0);
    EXPECT_EQ(doc.Version, 4);
    EXPECT_EQ(doc.FileName, "a");

    // With the version given, the first line is the first object and the version is not checked
    // against the lines.
    doc.LoadFromMemory(Line1 + "\n" + Line2, "b", 2);
    EXPECT_EQ(Owners(doc), (std::vector<int32_t>{104, 5}));
    EXPECT_EQ(doc.Version, 2);
    EXPECT_EQ(doc.FileName, "b");
    EXPECT_EQ(doc.Objects.capacity(), 2u) << "room for the objects is reserved once, exactly";
}

TEST(PropdumpFileLoad, FileReadsLikeMemoryAcrossReadBlocks) {
    // The reader takes the file in blocks of 256 KiB; put a CR LF and a whole line across the
    // first border, then add a few megabytes of lines with mixed line ends.
    constexpr std::size_t Border = 256 * 1024;
    const std::string prefix = "1 2 3 4 5 6 ";
    for (const std::size_t crAt : {Border - 1, Border, Border - 40}) {
        std::string text = Header;
        while (text.size() + 200 < crAt)
            text += Line2 + "\r\n";
        // One line whose CR falls exactly at crAt: the model fills the room the numbers leave.
        for (std::size_t digits = 1;; ++digits) {
            const std::size_t length = crAt - text.size() - prefix.size() - digits - 5;
            if (std::to_string(length).size() != digits)
                continue;
            text += prefix + std::to_string(length) + " 0 0 " + std::string(length, 'm');
            break;
        }
        ASSERT_EQ(text.size(), crAt);
        text += "\r\n";
        std::mt19937_64 rng(crAt);
        const char* ends[] = {"\r\n", "\n", "\r"};
        while (text.size() < 3 * 1024 * 1024)
            text += Line1 + ends[rng() % 3];

        TScratchDir dir;
        WriteBytes(dir / "f", text);
        TPropdumpFile fromFile, fromMemory;
        fromFile.LoadFromFile(dir / "f", 0);
        fromMemory.LoadFromMemory(text, dir / "f", 0);
        ASSERT_EQ(fromFile.Count(), fromMemory.Count()) << "CR at " << crAt;
        EXPECT_GT(fromFile.Count(), 30000);
        for (int i = 0; i < fromFile.Count(); ++i)
            ASSERT_EQ(fromFile.Item(i).Model, fromMemory.Item(i).Model) << "object " << i;
        EXPECT_EQ(fromFile.FileName, dir / "f");
    }
}

namespace {

// Large texts are read in two parts at once, cut at a line start near the middle. These are
// header-less version-2 lines of equal length whose owner is their line number; bad lines and
// a NUL byte go where a case wants them.
constexpr int PartedLines = 16000;

std::string PartedText(const std::vector<int>& bad = {}, int nulAt = 0, const char* end = "\n",
                       std::size_t pad = 0) {
    std::string text(pad, ' ');
    char line[32];
    for (int n = 1; n <= PartedLines; ++n) {
        if (n == nulAt)
            text += '\0';
        const bool isBad = std::find(bad.begin(), bad.end(), n) != bad.end();
        std::snprintf(line, sizeof line, isBad ? "%05d bad" : "%05d 0 0 0 0 0 0 0 0", n);
        text += line;
        text += end;
    }
    return text;
}

void ExpectNumbered(const TPropdumpFile& doc, int count, const std::string& where) {
    ASSERT_EQ(doc.Count(), count) << where;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(doc.Item(i).Owner, i + 1) << where;
}

} // namespace

TEST(PropdumpFileLoad, TwoPartsReadAsOne) {
    // Padding the first line moves the middle of the text over every byte of a line and its end.
    for (const TLoadTuning& tuning : LoadTunings) {
        const TTuned tuned(tuning);
        for (const char* end : {"\r\n", "\n", "\r"}) {
            // Small blocks put a border at every place of a line without the padding.
            const std::size_t pads = tuning.Tuning.BlockBytes == 0 ? 48 : 1;
            for (std::size_t pad = 0; pad < pads; ++pad) {
                TPropdumpFile doc;
                doc.LoadFromMemory(PartedText({}, 0, end, pad), "f", 2);
                ExpectNumbered(doc, PartedLines,
                               std::string(tuning.Name) + testing::PrintToString(end) + " pad " +
                                   std::to_string(pad));
            }
        }
    }
}

// NUL bytes up to the end are padding that another program left; anything after a NUL byte
// would be lost unseen, so the NUL is an error of its line (and an earlier bad line comes first).
TEST(PropdumpFileLoad, NulByteIsPaddingOnlyAtTheEnd) {
    using namespace std::string_literals;
    const std::string Lines = Header + Line1 + "\r\n" + Line2;
    const struct {
        std::string Bytes;
        int Version;
        int Objects; // when it loads
        const char* Message = nullptr;
        int LineNumber = 0;
    } cases[] = {
        {Lines + "\r\n\0\0\0"s, 0, 2},
        {Lines + "\0"s, 0, 2},
        {"propdump version 3\0\0"s, 0, 0},
        {PartedText() + std::string(300000, '\0'), 2, PartedLines},
        {Header + Line1 + "\r\n5 6 7 8 9 10 4 0 2 tr\0eeok\r\n"s + Line2, 0, 0, NulByteMessage, 3},
        {Lines + "\0\nrubbish\n"s, 0, 0, NulByteMessage, 3},
        {Lines + "\r\n\0\r\n\r\n"s, 0, 0, NulByteMessage, 4},
        {Lines + "\r\n\0\0x"s, 0, 0, NulByteMessage, 4},
        {"propdump ver\0sion 2\r\n"s + Line1, 0, 0, NulByteMessage, 1},
        {Line1 + "\r\nx\0y"s, 2, 0, NulByteMessage, 2},
        {Header + "bad\r\n" + Line1 + "\0x"s, 0, 0, "Line format not understood", 2},
        {"\0"s + Lines, 0, 0, "File contains no data"},
        {"\0\0"s, 3, 0, "File contains no data"},
        // Texts read in two parts: the NUL in the first, in the second, after a bad line.
        {PartedText({PartedLines - 10}, PartedLines / 2 - 100), 2, 0, NulByteMessage,
         PartedLines / 2 - 100},
        {PartedText({}, PartedLines - 10), 2, 0, NulByteMessage, PartedLines - 10},
        {PartedText({100}, PartedLines - 10), 2, 0, "Line format not understood", 100},
    };
    TScratchDir dir;
    for (const TLoadTuning& tuning : LoadTunings)
        for (const auto& c : cases) {
            const TTuned tuned(tuning);
            const std::string where =
                std::string(tuning.Name) + ", " + testing::PrintToString(c.Bytes.substr(0, 60));
            WriteBytes(dir / "f", c.Bytes);
            for (const bool fromFile : {false, true}) {
                TPropdumpFile doc = PreparedDocument();
                try {
                    if (fromFile)
                        doc.LoadFromFile(dir / "f", c.Version);
                    else
                        doc.LoadFromMemory(c.Bytes, "new", c.Version);
                    EXPECT_EQ(c.Message, nullptr) << "loaded " << where;
                    EXPECT_EQ(doc.Count(), c.Objects) << where;
                    continue;
                } catch (const EPropdumpError& e) {
                    EXPECT_STREQ(e.what(), c.Message) << where;
                    EXPECT_EQ(e.LineNumber, c.LineNumber) << where;
                }
                ExpectPrepared(doc, where);
            }
        }
}

TEST(PropdumpFileLoad, FirstBadLineOfTheFileIsNamedWhicheverPartHoldsIt) {
    struct TCase {
        std::vector<int> Bad;
        int Named;
    };
    std::vector<TCase> cases = {
        {{100, PartedLines - 100}, 100},
        {{PartedLines - 100}, PartedLines - 100},
        {{PartedLines}, PartedLines},
        {{1, PartedLines}, 1},
    };
    // Around the middle, one of these lines is the last of the first part or the first of the
    // second.
    for (int n = PartedLines / 2 - 3; n <= PartedLines / 2 + 3; ++n) {
        cases.push_back({{n}, n});
        cases.push_back({{n, n + 1}, n});
    }
    TScratchDir dir;
    for (const TLoadTuning& tuning : LoadTunings)
        for (const TCase& c : cases) {
            const TTuned tuned(tuning);
            const std::string text = PartedText(c.Bad);
            WriteBytes(dir / "f", text);
            for (const bool fromFile : {false, true}) {
                const std::string where = std::string(tuning.Name) +
                                          (fromFile ? ", file, " : ", memory, ") +
                                          testing::PrintToString(c.Bad);
                TPropdumpFile doc = PreparedDocument();
                try {
                    if (fromFile)
                        doc.LoadFromFile(dir / "f", 2);
                    else
                        doc.LoadFromMemory(text, "new", 2);
                    ADD_FAILURE() << "loaded " << where;
                } catch (const EPropdumpError& e) {
                    EXPECT_STREQ(e.what(), "Line format not understood") << where;
                    EXPECT_EQ(e.LineNumber, c.Named) << where;
                }
                ExpectPrepared(doc, where);
            }
        }
}

TEST(PropdumpFileSave, WritesHeaderAndCrLfLines) {
    TScratchDir dir;
    TPropdumpFile doc;
    doc.LoadFromMemory(Line1 + "\n" + Line2 + "\n", dir / "out", 2);
    doc.Save();
    EXPECT_EQ(ReadBytes(dir / "out"), Header + Line1 + "\r\n" + Line2 + "\r\n");

    doc.Clear();
    EXPECT_EQ(doc.Count(), 0);
    EXPECT_EQ(doc.FileName, "");
    EXPECT_EQ(doc.Version, 2) << "Clear keeps the version";
    doc.FileName = dir / "empty";
    doc.Version = 4;
    doc.Save();
    EXPECT_EQ(ReadBytes(dir / "empty"), "propdump version 4\r\n");
}

// Texts that would not read back as written, and a version no line format exists for.
TEST(PropdumpFileSave, RefusesWhatCannotBeWrittenWithoutTouchingTheFile) {
    using namespace std::string_literals;
    struct TCase {
        std::string TPropObject::*Field;
        std::string Text;
        int Version;
        const char* Message;
    } const cases[] = {
        {&TPropObject::Model, "a\nb", 2,
         "Object 3 has a line break in its model name and cannot be saved"},
        {&TPropObject::Model, "a\rb", 2,
         "Object 3 has a line break in its model name and cannot be saved"},
        {&TPropObject::Model, "a\0b"s, 2,
         "Object 3 has a NUL byte in its model name and cannot be saved"},
        {&TPropObject::Description, "\0"s, 2,
         "Object 3 has a NUL byte in its description and cannot be saved"},
        {&TPropObject::Action, "go\0"s, 2,
         "Object 3 has a NUL byte in its action and cannot be saved"},
        {&TPropObject::Model, "fine", 7, "'7' is not a known propdump file version"},
    };
    TScratchDir dir;
    const std::string old = "old contents";
    WriteBytes(dir / "f", old);
    for (const TCase& c : cases) {
        TPropdumpFile doc;
        doc.LoadFromMemory(Header + Line1 + "\n" + Line2 + "\n" + Line2, dir / "f", 0);
        doc.Item(2).*c.Field = c.Text;
        doc.Version = c.Version;
        try {
            doc.Save();
            ADD_FAILURE() << "saved: " << c.Message;
        } catch (const EPropdumpError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(ReadBytes(dir / "f"), old) << c.Message;
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f"}) << c.Message;
    }
}

// The temporary file of a save must fit wherever the file's own name fits.
TEST(PropdumpFileSave, LongestFileNameLoadsAndSaves) {
    TScratchDir dir;
    const std::string name(255, 'n');
    WriteBytes(dir / name, Header + Line1 + "\r\n");
    TPropdumpFile doc;
    doc.LoadFromFile(dir / name, 0);
    doc.Item(0).Owner = 5;
    doc.Save();
    EXPECT_EQ(ReadBytes(dir / name), Header + "5" + Line1.substr(3) + "\r\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
}

TEST(PropdumpFileSave, FailedWriteKeepsTheOldFileWhole) {
    TScratchDir dir;
    std::string old = Header;
    for (int i = 0; i < 1000; ++i)
        old += Line1 + "\r\n";
    WriteBytes(dir / "f", old);

    TPropdumpFile doc;
    doc.LoadFromFile(dir / "f", 0);
    for (TPropObject& o : doc.Objects)
        o.Owner = 1;
    while (doc.Count() < 40000) // several write chunks
        doc.Objects.push_back(doc.Item(0));
    for (const std::size_t limit : {std::size_t{0}, std::size_t{10}, std::size_t{1536 * 1024}}) {
        TFailingWriter writer(limit);
        try {
            doc.Save(writer);
            ADD_FAILURE() << "save succeeded with a writer that fails after " << limit;
        } catch (const std::system_error& e) {
            EXPECT_EQ(e.code().value(), ENOSPC);
            EXPECT_NE(std::string(e.what()).find(dir / "f"), std::string::npos) << e.what();
        }
        EXPECT_EQ(writer.Written, limit);
        EXPECT_TRUE(ReadBytes(dir / "f") == old) << "old file changed, limit " << limit;
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f"}) << "temporary file left behind";
    }
    TFailingWriter enough(SIZE_MAX);
    doc.Save(enough);
    TPropdumpFile back;
    back.LoadFromFile(dir / "f", 0);
    EXPECT_EQ(back.Count(), 40000);
}

TEST(PropdumpFileSave, KeepsLinksAndPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "POSIX modes and umask; Windows lets only administrators make symbolic links";
#else
    TScratchDir dir;
    fs::create_directory(dir / "real");
    WriteBytes(dir / "real/target", "old");
    fs::permissions(dir / "real/target", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/target", dir / "link");
    fs::create_symlink("link", dir / "link2"); // a link to a link

    TPropdumpFile doc;
    doc.LoadFromMemory(Header + Line1, dir / "link2", 0);
    doc.Save();
    EXPECT_TRUE(fs::is_symlink(dir / "link2"));
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(fs::read_symlink(dir / "link"), "real/target");
    EXPECT_EQ(ReadBytes(dir / "real/target"), Header + Line1 + "\r\n");
    EXPECT_EQ(fs::status(dir / "real/target").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link", "link2", "real"}));

    const mode_t oldMask = ::umask(027);
    doc.FileName = dir / "new";
    doc.Save();
    ::umask(oldMask);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "new").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "a new file gets 0666 less the umask";
#endif
}

TEST(PropdumpFileSave, PipeIsWrittenInPlace) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no named pipes in its file system";
#else
    TScratchDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    const int reader = ::open((dir / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    TPropdumpFile doc;
    doc.LoadFromMemory(Header + Line1, dir / "pipe", 0);
    doc.Save();
    char buffer[512];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0), Header + Line1 + "\r\n");
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
#endif
}

TEST(PropdumpFileSave, SavedDocumentLoadsBackUnchanged) {
    std::mt19937_64 rng(5);
    TScratchDir dir;
    for (const int version : {2, 3, 4}) {
        TPropdumpFile doc;
        doc.FileName = dir / ("v" + std::to_string(version));
        doc.Version = version;
        // Enough objects that a large document's lines are made in several batches at once.
        for (int i = 0; i < 34000; ++i) {
            TPropObject& o = doc.Objects.emplace_back();
            o.Owner = static_cast<int32_t>(rng() % 7) - 3;
            o.X = static_cast<int32_t>(rng());
            o.Tilt = version >= 3 ? static_cast<int32_t>(rng()) : 0;
            o.ObjectType = version == 4 ? static_cast<int32_t>(rng() % 6) : 0;
            o.Model = i % 5 ? "m" + std::to_string(rng() % 100) : "";
            o.Description = i % 3 ? "line\r\nbreak" : " lead";
            o.Action = std::string(rng() % 3, ' ');
            if (version == 4 && i % 4 == 0)
                o.Data.assign(rng() % 20, static_cast<uint8_t>(rng()));
            o.DataLength = static_cast<int32_t>(o.Data.size());
        }
        doc.Save();
        TPropdumpFile back;
        back.LoadFromFile(doc.FileName, 0);
        ASSERT_EQ(back.Count(), doc.Count());
        EXPECT_EQ(back.Version, version);
        for (int i = 0; i < doc.Count(); ++i) {
            const TPropObject& a = doc.Item(i);
            const TPropObject& b = back.Item(i);
            ASSERT_EQ(a.FormatLine(version), b.FormatLine(version)) << "object " << i;
            ASSERT_EQ(a.Description, b.Description) << "object " << i;
            ASSERT_EQ(a.Data, b.Data) << "object " << i;
        }
    }
}

TEST(PropdumpFileLists, DistinctOwnersAndModelsInOrderOfFirstUse) {
    TPropdumpFile doc;
    const struct {
        int32_t Owner;
        const char* Model;
    } objects[] = {{5, "Box"}, {7, ""}, {5, "box"}, {-1, "tree"}, {5, "BOX"}, {7, "\xC9t\xE9"},
                   {-1, "\xE9T\xC9"}, {2147483647, "\x9A"}, {5, "\x8A"}, {-2147483647 - 1, "Tree"}, {5, "box "}};
    for (const auto& o : objects) {
        TPropObject& added = doc.Objects.emplace_back();
        added.Owner = o.Owner;
        added.Model = o.Model;
    }
    EXPECT_EQ(doc.GetCitizenNumbers(),
              (std::vector<std::string>{"5", "7", "-1", "2147483647", "-2147483648"}));
    EXPECT_EQ(doc.GetModelNames(), (std::vector<std::string>{"Box", "tree", "\xC9t\xE9", "\x9A", "box "}));
    EXPECT_TRUE(TPropdumpFile().GetModelNames().empty());

    // Enough distinct values to make the sets grow several times, each met twice.
    TPropdumpFile large;
    std::vector<std::string> owners, models;
    for (int i = 0; i < 5000; ++i) {
        owners.push_back(std::to_string(i * 1024 - 2500000));
        models.push_back("model" + std::to_string(i));
    }
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 5000; ++i) {
            TPropObject& o = large.Objects.emplace_back();
            o.Owner = std::stoi(owners[i]);
            o.Model = round == 0 ? models[i] : "MODEL" + std::to_string(i);
        }
    }
    EXPECT_EQ(large.GetCitizenNumbers(), owners);
    EXPECT_EQ(large.GetModelNames(), models);
}

TEST(PropdumpFileLists, DeleteMarkedKeepsTheOrderOfTheRest) {
    const struct {
        const char* Marks; // one letter per object: x is marked
        std::vector<int32_t> Left;
    } cases[] = {
        {"......", {0, 1, 2, 3, 4, 5}}, {"xxxxxx", {}},           {".xx...", {0, 3, 4, 5}},
        {"x....x", {1, 2, 3, 4}},       {"x.x.x.", {1, 3, 5}},    {"", {}},
    };
    for (const auto& c : cases) {
        TPropdumpFile doc;
        for (int i = 0; c.Marks[i]; ++i) {
            TPropObject& o = doc.Objects.emplace_back();
            o.Owner = i;
            o.Model = "model number " + std::to_string(i) + " with a long name";
            o.MarkedForDeletion = c.Marks[i] == 'x';
        }
        doc.DeleteMarked();
        EXPECT_EQ(Owners(doc), c.Left) << c.Marks;
        for (const TPropObject& o : doc.Objects)
            EXPECT_EQ(o.Model, "model number " + std::to_string(o.Owner) + " with a long name");
    }
}

TEST(PropdumpFileLists, ItemOutsideTheListIsAnError) {
    TPropdumpFile doc = PreparedDocument();
    const TPropdumpFile& constDoc = doc;
    EXPECT_EQ(&doc.Item(1), &doc.Objects[1]);
    for (const int index : {-1, 2, 1 << 30}) {
        EXPECT_THROW(doc.Item(index), std::out_of_range) << index;
        EXPECT_THROW(constDoc.Item(index), std::out_of_range) << index;
    }
}
