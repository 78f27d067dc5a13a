// The bulk edits and the deletion as an undo record will use them: applied in slices of any size
// they change the same objects, and they show each object they change or remove, with its
// position and its old values, before the change.

#include "ops/BulkEdit.h"
#include "ops/Deletion.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

std::vector<TPropObject> Objects() {
    const std::pair<int32_t, const char*> Fields[] = {{5, "tree"},     {7, "tree.rwx"},
                                                      {5, "TREE.RWX"}, {-1, "dir.rwx\\tree"},
                                                      {9, "tree."},    {5, ""}};
    std::vector<TPropObject> Result;
    for (const auto& [Owner, Model] : Fields) {
        Result.emplace_back();
        Result.back().Owner = Owner;
        Result.back().Model = Model;
    }
    Result[2].ObjectType = 2; // a zone: its model name is no file name
    return Result;
}

// "index:owner:model" of every object an edit is about to change, as it still is.
using TSeen = std::vector<std::string>;

std::string Seen(std::size_t Index, const TPropObject& Object) {
    return std::to_string(Index) + ':' + std::to_string(Object.Owner) + ':' + Object.Model;
}

} // namespace

TEST(BulkEdit, ShowsEveryObjectBeforeItChangesWhateverTheSlices) {
    const struct {
        TBulkEdit Edit;
        TSeen Expected;
    } Cases[] = {
        {TBulkEdit::ReplaceOwner(5, 8), {"0:5:tree", "2:5:TREE.RWX", "5:5:"}},
        {TBulkEdit::ReplaceOwner(-1, 3),
         {"0:5:tree", "1:7:tree.rwx", "2:5:TREE.RWX", "3:-1:dir.rwx\\tree", "4:9:tree.", "5:5:"}},
        {TBulkEdit::ReplaceModel("TREE.rwx", "bush"), {"1:7:tree.rwx", "2:5:TREE.RWX"}},
        {TBulkEdit::Normalize(), {"0:5:tree", "3:-1:dir.rwx\\tree", "5:5:"}},
        {TBulkEdit::Denormalize(), {"1:7:tree.rwx"}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Edit.ReportLabel());
        std::vector<TPropObject> Whole = Objects();
        TSeen SeenWhole;
        EXPECT_EQ(Case.Edit.ApplyRange(Whole, 0, Whole.size(),
                                       [&](std::size_t Index, const TPropObject& Object) {
                                           SeenWhole.push_back(Seen(Index, Object));
                                       }),
                  Case.Expected.size());
        EXPECT_EQ(SeenWhole, Case.Expected);
        for (const std::size_t Slice : {1, 2, 4}) {
            std::vector<TPropObject> Sliced = Objects();
            std::size_t Changed = 0;
            for (std::size_t First = 0; First < Sliced.size(); First += Slice)
                Changed +=
                    Case.Edit.ApplyRange(Sliced, First, std::min(First + Slice, Sliced.size()));
            EXPECT_EQ(Changed, Case.Expected.size());
            for (std::size_t i = 0; i < Sliced.size(); ++i)
                EXPECT_TRUE(Sliced[i].Owner == Whole[i].Owner && Sliced[i].Model == Whole[i].Model);
        }
    }
}

TEST(Deletion, RemovesTheMarkedObjectsOrTakesTheMarksBack) {
    TPropdumpFile Document;
    Document.Objects = Objects();
    {
        TDeletion Stopped(Document);
        Stopped.Mark(1);
        Stopped.Mark(4);
        EXPECT_THROW(Stopped.Mark(6), std::out_of_range);
    }
    for (const TPropObject& Object : Document.Objects)
        EXPECT_FALSE(Object.MarkedForDeletion);

    TDeletion Deletion(Document);
    Deletion.Mark(1);
    Deletion.Mark(4);
    TSeen Removed;
    EXPECT_EQ(Deletion.Commit([&](std::size_t Index, const TPropObject& Object) {
        Removed.push_back(Seen(Index, Object));
    }),
              2u);
    EXPECT_EQ(Removed, (TSeen{"1:7:tree.rwx", "4:9:tree."}));
    TSeen Left;
    for (std::size_t i = 0; i < Document.Objects.size(); ++i)
        Left.push_back(Seen(i, Document.Objects[i]));
    EXPECT_EQ(Left, (TSeen{"0:5:tree", "1:5:TREE.RWX", "2:-1:dir.rwx\\tree", "3:5:"}));
}
