// move, merge, diff and search --csv as a user runs them: each writes what the rule in ops/ makes
// of the same document in memory, refuses what it cannot do before anything changes, and the CSV
// reads back to the same fields in Python's csv module.

#include "SampleDocument.h"
#include "ToolRun.h"

#include "model/Propdmp.h"
#include "ops/Comparison.h"
#include "ops/Import.h"
#include "ops/ObjectFilter.h"
#include "ops/WorldEdit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

TPropdumpFile Loaded(const std::string& Text) {
    TPropdumpFile Document;
    Document.LoadFromMemory(Text, "in.pd", 0);
    return Document;
}

std::string Saved(TPropdumpFile Document) {
    TScratchDir Dir;
    Document.FileName = Dir / "saved.pd";
    Document.Save();
    return ReadBytes(Document.FileName);
}

// A version-3 dump that shares some objects with the sample and stands others elsewhere.
const std::string OtherDocument = "propdump version 3\r\n"
                                  "5 1000000000 -6789 1500 12345 900 0 450 4 8 0 treeFOR SALE\r\n"
                                  "5 1000000000 0 0 0 0 0 0 3 0 0 new\r\n"
                                  "9 1 7000 0 -7000 0 0 0 4 0 0 hut1\r\n"
                                  "9 1 7000 0 -7000 0 0 0 4 0 0 hut2\r\n";

std::vector<std::size_t> Found(const TPropdumpFile& Document, const TObjectFilter& Filter) {
    std::vector<std::size_t> Positions;
    for (std::size_t i = 0; i < Document.Objects.size(); ++i)
        if (Filter.Finds(Document.Objects[i]))
            Positions.push_back(i);
    return Positions;
}

TSearchCriteria Owners(const char* List) {
    TSearchCriteria Criteria;
    Criteria.Fields.Set(sfCitNums, true);
    Criteria.CitNumsText = List;
    return Criteria;
}

} // namespace

TEST(WorldTool, MoveWritesWhatTheRuleMakesOfTheDocument) {
    const struct {
        const char* Name;
        std::vector<std::string> Args;
        TSearchCriteria Criteria;
        TOffset By;
        int32_t Turn;
        std::optional<std::pair<int32_t, int32_t>> Around;
        bool Copy;
    } Cases[] = {
        {"north by 200",
         {"--by", "200N 0E", "--owner", "5"},
         Owners("5"),
         {0, 0, 200000},
         0,
         {},
         false},
        {"a quarter turn about the middle", {"--turn", "90", "--all"}, {}, {}, 900, {}, false},
        {"turned about a centre, copied",
         {"--turn", "-45", "--around", "1N 1W", "--owner", "5,57", "--copy"},
         Owners("5,57"),
         {},
         -450,
         std::pair{1000, 1000},
         true},
        {"turned, then moved",
         {"--by", "1S 2E 0.5a", "--turn", "12.5", "--owner", "5,7"},
         Owners("5,7"),
         {-2000, 500, -1000},
         125,
         {},
         false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TPropdumpFile Document = Loaded(SampleDocument);
        const std::vector<std::size_t> Positions =
            Found(Document, TObjectFilter(Case.Criteria, std::nullopt));
        const TBounds Bounds = BoundsOf(Document, Positions);
        const auto [X, Z] = Case.Around.value_or(std::pair{Bounds.CentreX(), Bounds.CentreZ()});
        const TRelocation Move(Case.By, Case.Turn, X, Z);
        if (Case.Copy)
            CopyObjects(Document, Positions, Move);
        else
            MoveObjects(Document, Positions, Move);

        std::vector<std::string> Args{"move", "-"};
        Args.insert(Args.end(), Case.Args.begin(), Case.Args.end());
        const TToolRun Run = RunTool(Args, SampleDocument);
        EXPECT_EQ(Run.Status, 0);
        EXPECT_EQ(Run.Err, std::string(Case.Copy ? "Objects copied: " : "Objects moved: ") +
                               std::to_string(Positions.size()) + "\n");
        EXPECT_TRUE(Run.Out == Saved(Document));
    }
}

TEST(WorldTool, MergeAppendsWhatTheImportRulePlans) {
    const struct {
        const char* Name;
        std::string Into, From;
        std::vector<std::string> Args;
        TImportChoice Choice;
        std::string Report;
    } Cases[] = {
        {"everything, into an older version",
         OtherDocument,
         SampleDocument,
         {"--drop-v4-data"},
         {},
         "Objects imported: 11\nObjects that lost their type or data: 4\n"},
        {"by owner, moved",
         SampleDocument,
         OtherDocument,
         {"--owner", "9", "--by", "1N 0W"},
         [] {
             TImportChoice Choice;
             Choice.Criteria = Owners("9");
             Choice.By = TOffset{0, 0, 1000};
             return Choice;
         }(),
         "Objects imported: 2\n"},
        {"only what is missing",
         SampleDocument,
         OtherDocument,
         {"--only-missing"},
         [] {
             TImportChoice Choice;
             Choice.OnlyMissing = true;
             return Choice;
         }(),
         "Objects imported: 2\n"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TScratchDir Dir;
        WriteBytes(Dir / "into.pd", Case.Into);
        WriteBytes(Dir / "from.pd", Case.From);
        TPropdumpFile Document = Loaded(Case.Into);
        AppendObjects(Document, PlanImport(Document, Loaded(Case.From), Case.Choice).Objects);

        std::vector<std::string> Args{"merge", Dir / "into.pd", Dir / "from.pd"};
        Args.insert(Args.end(), Case.Args.begin(), Case.Args.end());
        const TToolRun Run = RunTool(Args);
        EXPECT_EQ(Run.Status, 0);
        EXPECT_EQ(Run.Out, Case.Report);
        EXPECT_TRUE(ReadBytes(Dir / "into.pd") == Saved(Document));
    }
}

// The sample against a copy with one object removed, two changed (one of them among the nine at
// 0N 0W) and two added, one of those at 0N 0W too, where the changed one has taken the last
// partner left.
TEST(WorldTool, DiffCountsAndListsWhatTheComparisonFinds) {
    TPropdumpFile Old = Loaded(SampleDocument);
    TPropdumpFile New = Old;
    New.Objects.erase(New.Objects.begin() + 1);
    New.Objects[0].Owner = 77;
    New.Objects[4].Description = "sold, \"cheap\"";
    New.Objects.push_back(Old.Objects[5]);
    New.Objects.back().Y = 1;
    New.Objects.push_back(Old.Objects[3]);
    New.Objects.back().Owner = 1;
    TScratchDir Dir;
    const std::string OldFile = Dir / "old.pd", NewFile = Dir / "new.pd";
    WriteBytes(OldFile, Saved(Old));
    WriteBytes(NewFile, Saved(New));
    const TComparison Expected = CompareDocuments(Old, New);
    ASSERT_EQ(Expected.Added(), 2u);
    ASSERT_EQ(Expected.Removed(), 1u);
    ASSERT_EQ(Expected.Changed(), 2u);

    const std::string Counts = "Added: 2\nRemoved: 1\nChanged: 2\n";
    for (const auto& [Held, Args] :
         {std::pair{"old", std::vector<std::string>{OldFile, NewFile}},
          std::pair{"new", std::vector<std::string>{NewFile, OldFile}}}) {
        SCOPED_TRACE(Held);
        const TToolRun Run = RunTool({"diff", Args[0], Args[1]});
        EXPECT_EQ(Run.Status, 1);
        EXPECT_EQ(Run.Out,
                  Held == std::string("old") ? Counts : "Added: 1\nRemoved: 2\nChanged: 2\n");
    }
    EXPECT_EQ(RunTool({"diff", "-", NewFile}, Saved(Old)).Out, Counts);

    // Each kind as a file of the dump it comes from.
    const auto Pick = [](const TPropdumpFile& From, const std::vector<uint64_t>& Positions) {
        TPropdumpFile Picked;
        Picked.Version = From.Version;
        for (const uint64_t Position : Positions)
            Picked.Objects.push_back(From.Objects[Position]);
        return Saved(Picked);
    };
    std::vector<uint64_t> ChangedNew;
    for (const auto& Pair : Expected.ChangedPairs())
        ChangedNew.push_back(Pair.second);
    const std::map<std::string, std::string> Lines = {
        {"added", Pick(New, Expected.AddedPositions())},
        {"removed", Pick(Old, Expected.RemovedPositions())},
        {"changed", Pick(New, ChangedNew)}};
    for (const auto& [Kind, File] : Lines) {
        SCOPED_TRACE(Kind);
        const TToolRun Run = RunTool({"diff", OldFile, NewFile, "--lines", Kind});
        EXPECT_EQ(Run.Status, 1);
        EXPECT_EQ(Run.Out, File);
        EXPECT_EQ(Run.Err, Counts);
    }

    const TToolRun List = RunTool({"diff", OldFile, NewFile, "--list"});
    EXPECT_EQ(List.Out, Counts +
                            "-\t2\t7\t09 Sep 2001 01:48:20\t0.003N 0.001W 0.00a 0.4\tTREE.RWX\n"
                            "~\t1\t77\t09 Sep 2001 01:46:40\t12.345N 6.789E 1.50a 90.0\ttree\t"
                            "owner: 5 -> 77\n"
                            "~\t5\t50\t13 Dec 1901 20:45:52\t0N 0W\t\tdescription: \"\" -> "
                            "\"sold, \\\"cheap\\\"\"\n"
                            "+\t11\t50\t13 Dec 1901 20:45:52\t0N 0W 0.00a\t\n"
                            "+\t12\t1\t19 Jan 2038 03:14:07\t0N 0W\ttree.\n");
    const TToolRun Json = RunTool({"diff", OldFile, NewFile, "--json"});
    EXPECT_EQ(Json.Err, Counts);
    EXPECT_NE(Json.Out.find("{\"kind\":\"changed\",\"position\":1,\"owner\":77,"),
              std::string::npos);
    EXPECT_NE(Json.Out.find(",\"old\":{\"position\":1,\"owner\":5,"), std::string::npos);

    const TToolRun Same = RunTool({"diff", OldFile, "-"}, SampleDocument);
    EXPECT_EQ(Same.Status, 0);
    EXPECT_EQ(Same.Out, "Added: 0\nRemoved: 0\nChanged: 0\n");
    const TToolRun Bad = RunTool({"diff", OldFile, Dir / "missing.pd"});
    EXPECT_EQ(Bad.Status, 2);
    EXPECT_EQ(Bad.Err, "propdump: Cannot open file \"" + Dir / "missing.pd" +
                           "\": No such file or directory\n");
}

// Commas, quotes and line breaks inside quoted fields, Windows-1252 letters as UTF-8, types by
// name (or number where they have none), data as hex.
TEST(WorldTool, CsvReadsBackToTheSameFieldsInPython) {
#ifdef _WIN32
    GTEST_SKIP() << "the build machine's Python runs beside wine, not under it";
#else
    const std::string Document =
        "propdump version 4\r\n"
        "5 1000000000 -6789 1500 12345 900 0 450 0 8 17 9 0 tree.rwxa, \"b\" caf\xe9\x7f\x80"
        "end \x80 \xe9quote\"\r\n"
        "7 -1 0 0 0 0 0 0 2 0 0 0 3 01aBff\r\n"
        "8 0 1 2 3 4 5 6 7 1 0 0 0 ,\r\n";
    TScratchDir Dir;
    const std::string Csv = Dir / "found.csv";
    const TToolRun Run = RunTool({"search", "-", "--not-owner", "99", "--csv"}, Document);
    ASSERT_EQ(Run.Status, 0);
    WriteBytes(Csv, Run.Out);
    const std::string Script = Dir / "read.py";
    WriteBytes(Script, "import csv, sys\n"
                       "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                       "    for row in csv.reader(f):\n"
                       "        sys.stdout.write('\\x1f'.join(row) + '\\x1e')\n");
    const std::string Command = std::string(PYTHON3) + " " + Script + " " + Csv;
    std::FILE* const Pipe = ::popen(Command.c_str(), "r");
    ASSERT_NE(Pipe, nullptr);
    std::string Read;
    char Buffer[4096];
    for (std::size_t Got; (Got = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;)
        Read.append(Buffer, Got);
    ASSERT_EQ(::pclose(Pipe), 0);

    std::vector<std::vector<std::string>> Rows;
    for (std::size_t At = 0, End; (End = Read.find('\x1e', At)) != std::string::npos;
         At = End + 1) {
        Rows.emplace_back();
        const std::string Row = Read.substr(At, End - At);
        for (std::size_t From = 0;;) {
            const std::size_t Bar = Row.find('\x1f', From);
            Rows.back().push_back(Row.substr(From, Bar - From));
            if (Bar == std::string::npos)
                break;
            From = Bar + 1;
        }
    }
    const std::vector<std::vector<std::string>> Expected = {
        {"position", "owner", "timestamp", "time", "x", "y", "z", "yaw", "tilt", "roll", "type",
         "model", "description", "action", "data"},
        {"1", "5", "1000000000", "2001-09-09 01:46:40", "-6789", "1500", "12345", "900", "0", "450",
         "", "tree.rwx", "a, \"b\" caf\xc3\xa9\r\nend ", "\n \xc3\xa9quote\"", ""},
        {"2", "7", "-1", "1969-12-31 23:59:59", "0", "0", "0", "0", "0", "0", "zone", "", "", "",
         "01ABFF"},
        {"3", "8", "0", "1970-01-01 00:00:00", "1", "2", "3", "4", "5", "6", "7", ",", "", "", ""},
    };
    EXPECT_EQ(Rows, Expected);
#endif
}

// Standard input is kept in a copy to be read twice; a NUL byte with more after it must stop the
// commands there as it stops them in a file, not leave them to go on with the lines before it.
TEST(WorldTool, StandardInputReadTwiceStopsAtANulByteAsAFileDoes) {
    using namespace std::string_literals;
    TScratchDir Dir;
    const std::string Bad = Dir / "bad.pd";
    const std::string Text = "propdump version 2\r\n5 6 7 8 9 10 0 0 0 \r\n1 2 3 4 5 6 0 0 0 "s +
                             '\0' + "more\r\n";
    WriteBytes(Bad, Text);
    WriteBytes(Dir / "other.pd", SampleDocument);
    WriteBytes(Dir / "v2.pd", "propdump version 2\r\n7 8 9 10 11 12 0 0 0 \r\n");
    const std::vector<std::vector<std::string>> Commands = {
        {"diff", "{in}", Dir / "other.pd"},
        {"move", "{in}", "--all", "--by", "1N 0W", "-o", Dir / "out.pd"},
        {"merge", "{in}", Dir / "v2.pd", "-o", Dir / "out.pd"},
    };
    for (const std::vector<std::string>& Command : Commands) {
        SCOPED_TRACE(Command[0]);
        std::vector<std::string> FromFile = Command, FromInput = Command;
        FromFile[1] = Bad;
        FromInput[1] = "-";
        const TToolRun File = RunTool(FromFile);
        const TToolRun Input = RunTool(FromInput, Text);
        EXPECT_NE(File.Err.find(Bad + ":3: NUL byte"), std::string::npos) << File.Err;
        EXPECT_EQ(Input.Status, File.Status);
        std::string Expected = File.Err;
        Expected.replace(Expected.find(Bad), Bad.size(), "(standard input)");
        EXPECT_EQ(Input.Err, Expected);
        EXPECT_EQ(Input.Out, File.Out);
        EXPECT_FALSE(std::filesystem::exists(Dir / "out.pd"));
    }
}

TEST(WorldTool, RefusalsChangeNothing) {
    const std::string Hint = "Run 'propdump --help' for the commands and options.\n";
    const struct {
        const char* Name;
        std::vector<std::string> Args;
        int Status;
        std::string Err;
        std::string Out = {};
    } Cases[] = {
        {"no criterion",
         {"move", "{f}", "--by", "1N 0W"},
         2,
         "propdump: move needs at least one criterion, or --all\n" + Hint},
        {"--all with criteria",
         {"move", "{f}", "--by", "1N 0W", "--all", "--owner", "5"},
         2,
         "propdump: --all moves every object; it takes no criteria\n" + Hint},
        {"nothing to do",
         {"move", "{f}", "--all"},
         2,
         "propdump: move needs --by OFFSET, --turn DEGREES or both\n" + Hint},
        {"a move that moves nothing",
         {"move", "{f}", "--all", "--by", "0s 0e", "--turn", "360"},
         2,
         "propdump: nothing would move: the offset is 0N 0W and there is no turn\n" + Hint},
        {"a centre without a turn",
         {"move", "{f}", "--all", "--by", "1N 0W", "--around", "0N 0W"},
         2,
         "propdump: --around requires --turn\n" + Hint},
        {"an offset with a yaw",
         {"move", "{f}", "--all", "--by", "1N 0W 90"},
         2,
         "propdump: --by: '1N 0W 90' names a yaw, which an offset cannot carry; a height is "
         "written with an \"a\", such as \"0N 0W 5a\"\n" +
             Hint},
        {"an angle of two decimals",
         {"move", "{f}", "--all", "--turn", "1.25"},
         2,
         "propdump: --turn: '1.25' is not an angle in degrees with at most one decimal, such as "
         "\"90\" or \"-12.5\"\n" +
             Hint},
        {"out of the world",
         {"move", "{f}", "--owner", "5,7", "--by", "0N 2147483.647W"},
         1,
         "propdump: {f}: Object 2 would leave the world's coordinate range: its X would be "
         "2147483648, which a propdump file cannot hold; nothing was changed\n"},
        {"found nothing",
         {"move", "{f}", "--owner", "999", "--by", "1N 0W"},
         1,
         "",
         "Objects moved: 0\n"},
        {"an import that loses data",
         {"merge", "{d}/v3.pd", "{f}"},
         1,
         "propdump: {f}: version 3 cannot hold the type or data of 4 objects; nothing written "
         "(--drop-v4-data imports anyway)\n"},
        {"nothing missing",
         {"merge", "{f}", "{f}", "--only-missing"},
         0,
         "",
         "Objects imported: 0\n"},
        {"both from standard input",
         {"diff", "-", "-"},
         2,
         "propdump: OLD and NEW cannot both be standard input\n" + Hint},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TScratchDir Dir;
        const std::string File = Dir / "world.pd";
        WriteBytes(File, SampleDocument);
        WriteBytes(Dir / "v3.pd", OtherDocument);
        const auto Fill = [&](std::string Text) {
            for (const auto& [Mark, Value] : {std::pair{std::string("{f}"), File},
                                              std::pair{std::string("{d}"), Dir.Path.string()}})
                for (std::size_t At; (At = Text.find(Mark)) != std::string::npos;)
                    Text.replace(At, Mark.size(), Value);
            return Text;
        };
        std::vector<std::string> Args;
        for (const std::string& Arg : Case.Args)
            Args.push_back(Fill(Arg));
        const TToolRun Run = RunTool(Args);
        EXPECT_EQ(Run.Status, Case.Status);
        EXPECT_EQ(Run.Err, Fill(Case.Err));
        EXPECT_EQ(Run.Out, Case.Out);
        EXPECT_EQ(ReadBytes(File), SampleDocument);
        EXPECT_EQ(ReadBytes(Dir / "v3.pd"), OtherDocument);
        EXPECT_EQ(Dir.Entries(), (std::vector<std::string>{"v3.pd", "world.pd"}));
    }
}
