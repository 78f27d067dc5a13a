// Undo and redo give back the whole document exactly, and the history keeps its order and its
// memory bound.

#include "model/FileSystem.h"
#include "ops/BulkEdit.h"
#include "ops/Deletion.h"
#include "model/HeapBytes.h"
#include "ops/UndoHistory.h"
#include "ops/UndoRecord.h"
#include "ops/WorldEdit.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// More distinct owners than two bytes can number, every model spelling the edits care about,
// texts with line breaks, and typed objects with data.
TPropdumpFile Document() {
    const char* const Models[] = {"tree",     "TREE.RWX",      "tree.rwx",
                                  "Tree.Rwx", "dir.rwx\\tree", "tree.",
                                  "",         "bush.x",        "a long model name of a tree"};
    TPropdumpFile Result;
    Result.FileName = "undo.pd";
    Result.Version = 4;
    for (int32_t i = 0; i < 70000; ++i) {
        TPropObject Object;
        Object.Owner = i % 3 == 0 ? 5 : i;
        Object.Timestamp = 1000000000 + i;
        std::tie(Object.X, Object.Y, Object.Z, Object.Yaw) = std::tuple(-i, i * 7, i * 3, i % 3600);
        std::tie(Object.Tilt, Object.Roll) = std::tuple(i % 90, -(i % 45));
        Object.Model = Models[i % std::size(Models)];
        Object.Description = i % 5 == 0 ? "line one\r\nline two of a description" : "for sale";
        Object.Action = i % 7 == 0 ? "create color red" : "";
        if (i % 20 == 0) {
            Object.ObjectType = 2;
            Object.Data.assign(static_cast<std::size_t>(i % 40 + 1), static_cast<uint8_t>(i));
            Object.DataLength = static_cast<int32_t>(Object.Data.size());
        }
        Result.Objects.push_back(std::move(Object));
    }
    return Result;
}

bool Same(const TPropObject& A, const TPropObject& B) {
    return A.Owner == B.Owner && A.Timestamp == B.Timestamp && A.X == B.X && A.Y == B.Y &&
           A.Z == B.Z && A.Yaw == B.Yaw && A.Tilt == B.Tilt && A.Roll == B.Roll &&
           A.ObjectType == B.ObjectType && A.DataLength == B.DataLength && A.Model == B.Model &&
           A.Description == B.Description && A.Action == B.Action && A.Data == B.Data &&
           A.MarkedForDeletion == B.MarkedForDeletion;
}

// Every field of every object, and the order: the first difference, or "" when there is none.
std::string Difference(const TPropdumpFile& Expected, const TPropdumpFile& Actual) {
    if (Expected.Objects.size() != Actual.Objects.size())
        return "count " + std::to_string(Expected.Objects.size()) + " vs " +
               std::to_string(Actual.Objects.size());
    for (std::size_t i = 0; i < Expected.Objects.size(); ++i)
        if (!Same(Expected.Objects[i], Actual.Objects[i]))
            return "object " + std::to_string(i) + ": " + Expected.Objects[i].FormatLine(4) +
                   " vs " + Actual.Objects[i].FormatLine(4);
    return {};
}

std::unique_ptr<TUndoStep> ApplyBulkEdit(TPropdumpFile& Target, const TBulkEdit& Edit) {
    TBulkEditRecorder Recorder(Edit);
    // Uneven slices, as the window's walk makes them.
    for (std::size_t First = 0; First < Target.Objects.size(); First += 1000)
        Recorder.ApplyRange(Target.Objects, First, std::min(First + 1000, Target.Objects.size()));
    return Recorder.Finish();
}

std::unique_ptr<TUndoStep> Delete(TPropdumpFile& Target, const std::vector<int>& Positions) {
    TDeletion Deletion(Target);
    for (const int Position : Positions)
        Deletion.Mark(Position);
    return CommitDeletion(Deletion);
}

std::unique_ptr<TUndoStep> Edit(TPropdumpFile& Target, std::size_t Position,
                                const std::function<void(TPropObject&)>& Change) {
    const TPropObject Before = Target.Objects[Position];
    Change(Target.Objects[Position]);
    return ObjectEditStep(Position, Before, Target.Objects[Position]);
}

// The objects a change removed or appended, or else those it changed.
std::size_t ChangedObjects(const TPropdumpFile& Before, const TPropdumpFile& After) {
    if (After.Objects.size() < Before.Objects.size())
        return Before.Objects.size() - After.Objects.size();
    if (After.Objects.size() > Before.Objects.size())
        return After.Objects.size() - Before.Objects.size();
    std::size_t Changed = 0;
    for (std::size_t i = 0; i < Before.Objects.size(); ++i)
        Changed += Same(Before.Objects[i], After.Objects[i]) ? 0 : 1;
    return Changed;
}

} // namespace

TEST(Undo, EveryKindOfChangeComesBackAndGoesAgainExactly) {
    // Runs and single objects, out of order, one of them twice.
    std::vector<int> Found = {150, 151, 152, 69999};
    for (int i = 0; i < 70000; i += 3)
        Found.push_back(i);
    const struct {
        const char* Name;
        TChangeKind Kind;
        std::function<std::unique_ptr<TUndoStep>(TPropdumpFile&)> Change;
    } Cases[] = {
        {"object edit", TChangeKind::ObjectEdit,
         [](TPropdumpFile& D) {
             return Edit(D, 16, [](TPropObject& O) {
                 O.Model = "edited model";
                 O.Description = "";
                 O.Timestamp = -5;
                 O.Y = 1230;
                 O.Roll = 7;
             });
         }},
        {"deletion", TChangeKind::Deletion,
         [&Found](TPropdumpFile& D) { return Delete(D, Found); }},
        {"every owner", TChangeKind::OwnerReplacement,
         [](TPropdumpFile& D) { return ApplyBulkEdit(D, TBulkEdit::ReplaceOwner(-1, 123456789)); }},
        {"one owner", TChangeKind::OwnerReplacement,
         [](TPropdumpFile& D) { return ApplyBulkEdit(D, TBulkEdit::ReplaceOwner(5, 9)); }},
        {"model", TChangeKind::ModelReplacement,
         [](TPropdumpFile& D) {
             return ApplyBulkEdit(D, TBulkEdit::ReplaceModel("TREE.rwx", "bush"));
         }},
        {"normalize", TChangeKind::Normalize,
         [](TPropdumpFile& D) { return ApplyBulkEdit(D, TBulkEdit::Normalize()); }},
        {"denormalize", TChangeKind::Denormalize,
         [](TPropdumpFile& D) { return ApplyBulkEdit(D, TBulkEdit::Denormalize()); }},
        {"move and turn", TChangeKind::Move,
         [&Found](TPropdumpFile& D) {
             const std::vector<std::size_t> Positions(Found.begin(), Found.end());
             const TBounds Bounds = BoundsOf(D, Positions);
             return MoveObjects(
                 D, Positions,
                 TRelocation(TOffset{5, -6, 7}, 450, Bounds.CentreX(), Bounds.CentreZ()));
         }},
        {"copy", TChangeKind::Copy,
         [](TPropdumpFile& D) {
             return CopyObjects(D, {9, 3, 60000}, TRelocation(TOffset{0, 0, 1000}, 900));
         }},
        {"import", TChangeKind::Import,
         [](TPropdumpFile& D) {
             return AppendObjects(D, {D.Objects.begin() + 10, D.Objects.begin() + 15});
         }},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const TPropdumpFile Before = Document();
        TPropdumpFile Current = Before;
        TUndoHistory History;
        History.Add(Case.Change(Current));
        const TPropdumpFile After = Current;
        ASSERT_NE(Difference(Before, After), "");
        ASSERT_NE(History.NextUndo(), nullptr);
        EXPECT_EQ(History.NextUndo()->Kind(), Case.Kind);
        EXPECT_EQ(History.NextUndo()->Count(), ChangedObjects(Before, After));
        for (int Round = 0; Round < 2; ++Round) {
            EXPECT_EQ(History.Undo(Current), Case.Kind);
            EXPECT_EQ(Difference(Before, Current), "");
            EXPECT_EQ(History.Redo(Current), Case.Kind);
            EXPECT_EQ(Difference(After, Current), "");
        }
    }
}

// Later changes move and reshape the objects of earlier ones; undone newest first, every step
// still finds its objects, and a new change ends the redoing.
TEST(UndoHistory, StepsInTurnAndANewChangeDropsTheRedoSteps) {
    const TPropdumpFile Original = Document();
    TPropdumpFile Current = Original;
    TUndoHistory History;
    History.Add(Edit(Current, 17, [](TPropObject& O) { O.Model = "seventeen"; }));
    History.Add(Delete(Current, {0, 1, 2, 16}));
    History.Add(ApplyBulkEdit(Current, TBulkEdit::Normalize()));
    History.Add(Edit(Current, 13, [](TPropObject& O) { O.Model = "thirteen"; }));
    const TPropdumpFile Final = Current;

    for (int Step = 0; Step < 4; ++Step)
        History.Undo(Current);
    EXPECT_EQ(Difference(Original, Current), "");
    EXPECT_EQ(History.NextUndo(), nullptr);
    EXPECT_THROW(History.Undo(Current), std::logic_error);
    for (int Step = 0; Step < 4; ++Step)
        History.Redo(Current);
    EXPECT_EQ(Difference(Final, Current), "");

    History.Undo(Current);
    History.Undo(Current);
    EXPECT_EQ(History.RedoCount(), 2u);
    EXPECT_EQ(History.NextRedo()->Kind(), TChangeKind::Normalize);
    History.Add(ApplyBulkEdit(Current, TBulkEdit::ReplaceOwner(5, 6)));
    EXPECT_EQ(History.RedoCount(), 0u);
    // A bulk edit that changed nothing is no change: the redo steps stay.
    History.Undo(Current);
    History.Add(ApplyBulkEdit(Current, TBulkEdit::ReplaceOwner(424242, 6)));
    EXPECT_EQ(History.RedoCount(), 1u);
}

TEST(UndoHistory, TheOldestStepsGoPastTheMemoryBound) {
    TPropdumpFile Current = Document();
    const TPropdumpFile Original = Current;
    TUndoHistory History;
    History.Add(Delete(Current, {1, 2, 3}));
    // Room for three such steps and a little more.
    History.SetLimit(History.Bytes() * 7 / 2);
    for (int Step = 0; Step < 4; ++Step)
        History.Add(Delete(Current, {1, 2, 3}));
    EXPECT_EQ(History.UndoCount(), 3u);
    EXPECT_LE(History.Bytes(), History.Limit());
    while (History.NextUndo())
        History.Undo(Current);
    // The two oldest deletions stay done.
    EXPECT_EQ(Current.Objects.size(), Original.Objects.size() - 6);
    EXPECT_EQ(Current.Objects[1].Timestamp, Original.Objects[7].Timestamp);

    // A step larger than the whole bound is not kept, nor are the older steps: without it they
    // would no longer fit the document.
    History.Redo(Current);
    History.SetLimit(History.Bytes());
    std::vector<int> Many(30);
    std::iota(Many.begin(), Many.end(), 0);
    History.Add(Delete(Current, Many));
    EXPECT_EQ(History.UndoCount() + History.RedoCount(), 0u);
    EXPECT_EQ(History.Bytes(), 0u);
}

// Whether the document still is what its file holds, after each step of a session: a change
// (c), undo (u), redo (r), save (s), a save that failed (f), a change no step keeps (n), the
// oldest steps dropped for room until one is left (t), an undo that failed (x). "1" is
// unsaved.
TEST(UndoHistory, TheSavedMarkFollowsWhatTheFileHolds) {
    const struct {
        const char* Steps;
        const char* Unsaved;
    } Cases[] = {
        {"c u r", "101"},
        {"c s u r", "1010"},
        {"c c s u u r r", "1101110"},
        {"c u s r u", "10010"},
        // A new change after undoing past the save: the saved state is gone for good.
        {"c s u c u", "10111"},
        {"c n u s", "1110"},
        {"c s n", "101"},
        {"c s c c t u r", "1011111"},
        {"c c s t u r", "110010"},
        {"c s f u r s", "101110"},
        {"c s x r", "1011"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Steps);
        TPropdumpFile Current = Document();
        TPropdumpFile Empty;
        TUndoHistory History;
        int32_t Owner = 0;
        std::string Unsaved;
        const std::map<char, std::function<void()>> Steps = {
            {'c',
             [&] { History.Add(Edit(Current, 3, [&](TPropObject& O) { O.Owner = ++Owner; })); }},
            {'u',
             [&] {
                 if (History.NextUndo())
                     History.Undo(Current);
             }},
            {'r',
             [&] {
                 if (History.NextRedo())
                     History.Redo(Current);
             }},
            {'s', [&] { History.MarkSaved(); }},
            {'f', [&] { History.MarkFileChanged(); }},
            {'n', [&] { History.ChangeNotKept(); }},
            {'t', [&] { History.SetLimit(History.Bytes() / History.UndoCount()); }},
            {'x', [&] { EXPECT_THROW(History.Undo(Empty), std::out_of_range); }},
        };
        for (const char* Step = Case.Steps; *Step; ++Step) {
            if (*Step == ' ')
                continue;
            const std::function<void()>& Run = Steps.at(*Step);
            Run();
            Unsaved += History.IsModified() ? '1' : '0';
        }
        EXPECT_EQ(Unsaved, Case.Unsaved);
    }
}

// The sizes told before a change are never below what its step then holds (else the window
// would keep, or drop, a step it had not told the user about); a step of every object fits the
// limit its document gets; and a deletion holds its objects packed, in well under what they
// took in the document.
TEST(UndoHistory, StepSizesAreKnownBeforeAndFitTheirDocument) {
    TPropdumpFile Original = Document();
    Original.Objects.shrink_to_fit();
    const std::size_t DocumentBytes = HeapBytesOf(Original);
    const auto Deleting = [](std::size_t Every) {
        return [Every](TPropdumpFile& D) {
            TDeletion Deletion(D);
            for (std::size_t i = 0; i < D.Objects.size(); i += Every)
                Deletion.Mark(static_cast<int>(i));
            const std::size_t Told = DeletionStepBytes(Deletion);
            return std::pair(Told, CommitDeletion(Deletion));
        };
    };
    const auto Editing = [](const TBulkEdit& Edit) {
        return [Edit](TPropdumpFile& D) {
            const std::size_t Told = BulkEditStepBytes(Edit, D.Objects);
            return std::pair(Told, ApplyBulkEdit(D, Edit));
        };
    };
    const struct {
        const char* Name;
        std::function<std::pair<std::size_t, std::unique_ptr<TUndoStep>>(TPropdumpFile&)> Change;
    } Cases[] = {
        {"delete all", Deleting(1)},
        {"delete every third", Deleting(3)},
        {"every owner", Editing(TBulkEdit::ReplaceOwner(-1, 8))},
        {"one model", Editing(TBulkEdit::ReplaceModel("a long model name of a tree", "x"))},
        {"normalize", Editing(TBulkEdit::Normalize())},
        {"denormalize", Editing(TBulkEdit::Denormalize())},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TPropdumpFile Current = Original;
        const auto [Told, Step] = Case.Change(Current);
        ASSERT_NE(Step, nullptr);
        EXPECT_GE(Told, Step->HeapBytes());
        EXPECT_LE(Step->HeapBytes(), DocumentBytes);
        if (Step->Kind() != TChangeKind::Deletion)
            continue;
        std::size_t Removed = 0;
        for (const TPropObject& Object : Original.Objects)
            Removed += sizeof(TPropObject) + HeapBytesOf(Object);
        Removed = Removed * Step->Count() / Original.Objects.size();
        EXPECT_LT(Step->HeapBytes(), Removed / 2);
    }
}

// Room for the whole document, at least 512 MiB, at most a quarter of the machine.
TEST(UndoHistory, TheLimitFollowsTheDocumentAndTheMachine) {
    constexpr std::size_t MiB = std::size_t{1} << 20;
    EXPECT_EQ(TUndoHistory::LimitFor(1 * MiB, 0), 512 * MiB);
    EXPECT_EQ(TUndoHistory::LimitFor(2048 * MiB, 24576 * MiB), 2048 * MiB);
    EXPECT_EQ(TUndoHistory::LimitFor(2048 * MiB, 4096 * MiB), 1024 * MiB);
    EXPECT_GT(FileSystem::PhysicalMemoryBytes(), 0u);
}
