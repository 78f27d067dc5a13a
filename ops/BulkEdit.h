#pragma once

// The four bulk edits of owners and model names: replacing a citizen number, replacing a model
// name, and adding (normalising) or removing (denormalising) the model suffix ".rwx". Each is a
// test and a change of one object. The window applies an edit a slice of objects at a time and
// yields between slices; the command-line tool applies it to each object as it streams past.

#include "model/Propdmp.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TBulkEdit {
public:
    enum class TKind : uint8_t { ReplaceOwner, ReplaceModel, Normalize, Denormalize };

    // Find -1 stands for every owner, so an owner that really is -1 matches it as well.
    static TBulkEdit ReplaceOwner(int32_t Find, int32_t Replacement);
    // Whole names compared without regard to case; both are Windows-1252 bytes.
    static TBulkEdit ReplaceModel(std::string Find, std::string Replacement);
    static TBulkEdit Normalize();
    static TBulkEdit Denormalize();

    // What normalising appends to a model name and denormalising takes off it.
    static constexpr std::string_view ModelSuffix = ".rwx";

    TKind Kind() const { return EditKind; }

    // Whether the edit would change Object.
    bool Affects(const TPropObject& Object) const;
    // Changes Object as the edit does; only for an object it affects.
    void Change(TPropObject& Object) const;
    bool Apply(TPropObject& Object) const {
        if (!Affects(Object))
            return false;
        Change(Object);
        return true;
    }

    // Applies the edit to Objects[First, Last) and returns how many objects it changed.
    // BeforeChange(Index, Object) sees every object the edit is about to change while it still
    // holds its old values, so an undo record can keep exactly those; the default does nothing
    // and costs nothing.
    template <class TObserver = decltype([](std::size_t, const TPropObject&) {})>
    std::size_t ApplyRange(std::vector<TPropObject>& Objects, std::size_t First, std::size_t Last,
                           TObserver&& BeforeChange = {}) const {
        std::size_t Changed = 0;
        for (std::size_t Index = First; Index < Last; ++Index) {
            TPropObject& Object = Objects[Index];
            if (!Affects(Object))
                continue;
            BeforeChange(Index, static_cast<const TPropObject&>(Object));
            Change(Object);
            ++Changed;
        }
        return Changed;
    }

    // The bytes the edit's model names hold outside the edit itself.
    std::size_t HeapBytes() const;

    // The words before the count in the report: "Models changed: " and the like.
    std::string_view ReportLabel() const;

private:
    TBulkEdit(TKind Kind, int32_t FindOwner, int32_t NewOwner, std::string FindModel,
              std::string NewModel);

    TKind EditKind;
    int32_t FindOwner;
    int32_t NewOwner;
    std::string FindModel;
    std::string NewModel;
};
