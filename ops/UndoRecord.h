#pragma once

// What it takes to undo and redo one change to a document, and nothing more: the positions of
// the objects it changed with their old values, or the objects it removed with the positions
// they stood at. A record works on the document as the change left it (for Undo) or found it
// (for Redo); the history keeps that true by undoing every later change first.

#include "model/Propdmp.h"
#include "ops/BulkEdit.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TDeletion;

enum class TChangeKind : uint8_t {
    ObjectEdit,
    Deletion,
    OwnerReplacement,
    ModelReplacement,
    Normalize,
    Denormalize,
    Move,
    Copy,
    Import
};

class TUndoStep {
public:
    virtual ~TUndoStep() = default;
    TUndoStep(const TUndoStep&) = delete;
    TUndoStep& operator=(const TUndoStep&) = delete;

    TChangeKind Kind() const { return ChangeKind; }
    // How many objects the change touched.
    std::size_t Count() const { return Objects; }
    // The 0-based position of the object an object edit changed.
    std::size_t Position() const { return At; }

    // A document whose objects cannot be the ones the change touched (fewer of them) is refused
    // with std::out_of_range before anything changes. Should memory run out half-way, the
    // objects stay whole and the step can be taken again.
    virtual void Undo(TPropdumpFile& Document) = 0;
    virtual void Redo(TPropdumpFile& Document) = 0;
    // The bytes the step holds, its own object included.
    virtual std::size_t HeapBytes() const = 0;

protected:
    TUndoStep(TChangeKind Kind, std::size_t Count, std::size_t Position = 0)
        : ChangeKind(Kind), Objects(Count), At(Position) {}

private:
    TChangeKind ChangeKind;
    std::size_t Objects;
    std::size_t At;
};

// The step of an object edit: the fields in which After differs from Before, with Before's
// values. Null when the edit changed nothing.
std::unique_ptr<TUndoStep> ObjectEditStep(std::size_t Position, const TPropObject& Before,
                                          const TPropObject& After);

// Removes the marked objects as TDeletion::Commit does, keeping them in the returned step.
// Null when nothing was marked.
std::unique_ptr<TUndoStep> CommitDeletion(TDeletion& Deletion);
// At most the bytes (HeapBytes) of the step CommitDeletion would make now, found before anything
// is removed, so that the user can be told when no history could keep it.
std::size_t DeletionStepBytes(const TDeletion& Deletion);
// The same for the step of a bulk edit of Objects, before anything changes.
std::size_t BulkEditStepBytes(const TBulkEdit& Edit, const std::vector<TPropObject>& Objects);

class TBulkEditRecording;

// Applies a bulk edit a slice at a time, as TBulkEdit::ApplyRange does, and keeps each changed
// object's position and old value for the step (unless told not to Keep them: then it only
// counts the changes and makes no step).
class TBulkEditRecorder {
public:
    explicit TBulkEditRecorder(const TBulkEdit& Edit, bool Keep = true);
    ~TBulkEditRecorder();
    TBulkEditRecorder(const TBulkEditRecorder&) = delete;
    TBulkEditRecorder& operator=(const TBulkEditRecorder&) = delete;

    // Slices must come in document order. Returns how many objects this slice changed; should
    // an error stop the slice, the objects changed before it are kept.
    std::size_t ApplyRange(std::vector<TPropObject>& Objects, std::size_t First, std::size_t Last);
    std::size_t Changed() const;
    bool Keeps() const { return Keeping; }
    // The step of everything changed so far; null when nothing was. Ends the recording.
    std::unique_ptr<TUndoStep> Finish();

private:
    std::unique_ptr<TBulkEditRecording> Recording;
    const bool Keeping;
    std::size_t NotKept = 0;
};
