// Memory running out at every allocation in turn, from the first until the work runs through:
// loading, saving, a bulk edit and its undo record, and keeping a step in the undo history.
// Each leaves the document (and its file) as it was or completes, and tells of a failure.

#include "ops/BulkEdit.h"
#include "ops/UndoHistory.h"
#include "ops/UndoRecord.h"
#include "tests/model/ScratchFiles.h"
#include "tests/support/FailingNew.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

namespace {

TPropdumpFile Sample(int Objects, const std::string& FileName) {
    TPropdumpFile Doc;
    Doc.FileName = FileName;
    Doc.Version = 4;
    Doc.Objects.resize(static_cast<std::size_t>(Objects));
    for (int i = 0; i < Objects; ++i) {
        TPropObject& o = Doc.Objects[static_cast<std::size_t>(i)];
        o.Owner = 5 + i % 3;
        o.X = i * 1000;
        o.Model = i % 2 ? "tree.rwx" : "A rather long model name that no small string holds";
        o.Description = i % 4 ? "" : "sign\r\nline " + std::to_string(i);
        o.ObjectType = i % 5 == 0 ? 2 : 0;
        o.Data.assign(static_cast<std::size_t>(o.ObjectType * 3), 0xAB);
        o.DataLength = static_cast<int32_t>(o.Data.size());
    }
    return Doc;
}

std::string Text(const TPropdumpFile& Doc) {
    std::string Lines = Doc.FileName + " v" + std::to_string(Doc.Version) + "\n";
    for (const TPropObject& o : Doc.Objects)
        Lines += o.FormatLine(4) + "\n";
    return Lines;
}

// Runs Work with the Nth allocation failing, N = 1, 2, ... until it runs through. State tells
// what the work changes; a failed run must leave it as before (or, when DoneMayFail, as after:
// a failure once the work was done), one that ran through as after.
void EveryAllocationFailing(const std::function<void()>& Reset, const std::function<void()>& Work,
                            const std::function<std::string()>& State, bool DoneMayFail = false) {
    Reset();
    const std::string Before = State();
    Work();
    const std::string After = State();
    ASSERT_NE(Before, After);
    for (std::size_t N = 1;; ++N) {
        Reset();
        FailAllocation(N);
        bool Threw = false;
        try {
            Work();
        } catch (const std::bad_alloc&) {
            Threw = true;
        } catch (const std::exception& Error) {
            // The file layer names the file it could not read or write.
            Threw = std::string(Error.what()).find("memory") != std::string::npos;
            ASSERT_TRUE(Threw) << "allocation " << N << ": " << Error.what();
        }
        const bool Fired = AllocationFailed();
        const std::string Now = State();
        if (!(Threw && DoneMayFail && Now == After)) {
            ASSERT_EQ(Now, Threw ? Before : After) << "allocation " << N;
        }
        ASSERT_TRUE(Fired || !Threw) << "allocation " << N;
        if (!Fired)
            return;
    }
}

} // namespace

TEST(AllocationFault, LoadKeepsTheOpenDocumentOrReadsTheNewOne) {
    TScratchDir Dir;
    TPropdumpFile Other = Sample(300, Dir / "other");
    Other.Save();
    TPropdumpFile Doc;
    EveryAllocationFailing([&] { Doc = Sample(7, Dir / "open"); },
                           [&] { Doc.LoadFromFile(Dir / "other", 0); }, [&] { return Text(Doc); });
}

// A failure after the new file took the old one's place (keeping what the old file carried)
// still reports; the file is then whole either way, and no temporary file stays behind.
TEST(AllocationFault, SaveKeepsTheOldFileOrWritesTheNewOne) {
    TScratchDir Dir;
    TPropdumpFile Doc = Sample(300, Dir / "f");
    EveryAllocationFailing([&] { WriteBytes(Dir / "f", "propdump version 4\r\n"); },
                           [&] { Doc.Save(); },
                           [&] { return ReadBytes(Dir / "f") + std::to_string(Dir.Entries().size()); },
                           true);
}

// The window takes a failed walk back with the record made so far.
TEST(AllocationFault, BulkEditRecordTakesBackWhatTheWalkChanged) {
    TPropdumpFile Doc;
    const TBulkEdit Edit = TBulkEdit::ReplaceModel("TREE.RWX", "shrub");
    EveryAllocationFailing(
        [&] { Doc = Sample(300, "f"); },
        [&] {
            TBulkEditRecorder Recorder(Edit);
            try {
                Recorder.ApplyRange(Doc.Objects, 0, Doc.Objects.size());
            } catch (const std::bad_alloc&) {
                StopFailing();
                if (std::unique_ptr<TUndoStep> Step = Recorder.Finish())
                    Step->Undo(Doc);
                throw;
            }
        },
        [&] { return Text(Doc); });
}

TEST(AllocationFault, HistoryKeepsTheStepOrEmptiesItself) {
    TPropdumpFile Doc = Sample(300, "f");
    TUndoHistory History;
    TPropObject Edited = Doc.Objects[3];
    Edited.Owner = 77;
    EveryAllocationFailing(
        [&] {
            StopFailing();
            History.Clear();
            History.Add(ObjectEditStep(1, Doc.Objects[1], Doc.Objects[1]));
        },
        [&] {
            std::unique_ptr<TUndoStep> Step = ObjectEditStep(3, Doc.Objects[3], Edited);
            History.Add(std::move(Step));
        },
        [&] {
            // A failed Add may also empty the history, since its older steps would no longer
            // fit, and say that the document is unsaved; that counts as the state before.
            const bool Emptied = History.UndoCount() == 0 && History.IsModified();
            return History.UndoCount() == 1 || Emptied ? std::string("not kept") : "kept";
        });
}
