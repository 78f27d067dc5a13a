#include "ops/UndoRecord.h"

#include "ops/Deletion.h"
#include "model/HeapBytes.h"
#include "ops/PositionRuns.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

void RequireObjects(const TPropdumpFile& Document, std::size_t Needed) {
    if (Document.Objects.size() < Needed)
        throw std::out_of_range("The document no longer holds the objects of this change");
}

std::size_t ExtraHeapBytes(int32_t) {
    return 0;
}
std::size_t ExtraHeapBytes(const std::string& Text) {
    return HeapBytesOf(Text);
}

// The old values of one field over many objects: each distinct value once, and for every object
// its number in that table, in as few bytes as the table's size needs. When every object held
// the same value (a replaced citizen number, one spelling of a model name) that is no bytes.
template <class TValue> class TOldValues {
public:
    // Adds the next object's value, or nothing when it fails.
    void Add(const TValue& Value) {
        uint32_t Index = Last;
        if (Distinct.empty() || !(Distinct[Last] == Value)) {
            const auto Found = Lookup.find(Value);
            if (Found != Lookup.end()) {
                Index = Found->second;
            } else {
                Index = static_cast<uint32_t>(Distinct.size());
                Distinct.push_back(Value);
                try {
                    Lookup.emplace(Value, Index);
                } catch (...) {
                    Distinct.pop_back();
                    throw;
                }
            }
        }
        Push(Index);
        Last = Index;
    }
    void RemoveLast() {
        Indexes.resize(Indexes.size() - Width);
        --Size;
    }
    // Frees what only the adding needed.
    void Finish() {
        Lookup = {};
        Indexes.shrink_to_fit();
        Distinct.shrink_to_fit();
    }

    // The value of the Ordinal-th object added.
    const TValue& operator[](std::size_t Ordinal) const { return Distinct[IndexAt(Ordinal)]; }

    std::size_t HeapBytes() const {
        std::size_t Bytes = Indexes.capacity() + Distinct.capacity() * sizeof(TValue);
        for (const TValue& Value : Distinct)
            Bytes += ExtraHeapBytes(Value);
        return Bytes;
    }

private:
    static unsigned WidthFor(std::size_t Values) {
        return Values <= 1 ? 0 : Values <= 0x100 ? 1 : Values <= 0x10000 ? 2 : 4;
    }

    uint32_t IndexAt(std::size_t Ordinal) const {
        uint32_t Index = 0;
        const uint8_t* At = Indexes.data() + Ordinal * Width;
        for (unsigned Byte = 0; Byte < Width; ++Byte)
            Index |= static_cast<uint32_t>(At[Byte]) << (8 * Byte);
        return Index;
    }

    void Push(uint32_t Index) {
        const unsigned Needed = WidthFor(Distinct.size());
        if (Needed != Width)
            Widen(Needed);
        uint8_t Bytes[4];
        for (unsigned Byte = 0; Byte < Width; ++Byte)
            Bytes[Byte] = static_cast<uint8_t>(Index >> (8 * Byte));
        Indexes.insert(Indexes.end(), Bytes, Bytes + Width);
        ++Size;
    }

    void Widen(unsigned NewWidth) {
        std::vector<uint8_t> Wider(Size * NewWidth);
        for (std::size_t Ordinal = 0; Ordinal < Size; ++Ordinal) {
            const uint32_t Index = IndexAt(Ordinal);
            for (unsigned Byte = 0; Byte < NewWidth; ++Byte)
                Wider[Ordinal * NewWidth + Byte] = static_cast<uint8_t>(Index >> (8 * Byte));
        }
        Indexes = std::move(Wider);
        Width = NewWidth;
    }

    std::vector<TValue> Distinct;
    std::unordered_map<TValue, uint32_t> Lookup;
    std::vector<uint8_t> Indexes;
    unsigned Width = 0;
    std::size_t Size = 0;
    uint32_t Last = 0;
};

TChangeKind KindOf(TBulkEdit::TKind Kind) {
    switch (Kind) {
    case TBulkEdit::TKind::ReplaceOwner:
        return TChangeKind::OwnerReplacement;
    case TBulkEdit::TKind::ReplaceModel:
        return TChangeKind::ModelReplacement;
    case TBulkEdit::TKind::Normalize:
        return TChangeKind::Normalize;
    case TBulkEdit::TKind::Denormalize:
        break;
    }
    return TChangeKind::Denormalize;
}

void RemoveModelSuffix(TPropObject& Object) {
    Object.Model.resize(Object.Model.size() - TBulkEdit::ModelSuffix.size());
}

} // namespace

// A bulk edit's changed positions and old values: replaced owners, replaced model names, or the
// suffixes denormalising took off (each ".rwx" in its own letter case). Normalising needs no
// old values: undoing it takes the suffix off again.
class TBulkEditRecording {
public:
    explicit TBulkEditRecording(const TBulkEdit& Edit) : Edit(Edit) {}

    void Keep(std::size_t Position, const TPropObject& Object) {
        Positions.Add(Position);
        try {
            switch (Edit.Kind()) {
            case TBulkEdit::TKind::ReplaceOwner:
                OldOwners.Add(Object.Owner);
                break;
            case TBulkEdit::TKind::ReplaceModel:
                OldTexts.Add(Object.Model);
                break;
            case TBulkEdit::TKind::Normalize:
                break;
            case TBulkEdit::TKind::Denormalize:
                OldTexts.Add(
                    Object.Model.substr(Object.Model.size() - TBulkEdit::ModelSuffix.size()));
                break;
            }
        } catch (...) {
            Positions.RemoveLast();
            throw;
        }
    }

    void DropLast() {
        Positions.RemoveLast();
        if (Edit.Kind() == TBulkEdit::TKind::ReplaceOwner)
            OldOwners.RemoveLast();
        else if (Edit.Kind() != TBulkEdit::TKind::Normalize)
            OldTexts.RemoveLast();
    }

    const TBulkEdit Edit;
    TPositionRuns::TBuilder Positions;
    TOldValues<int32_t> OldOwners;
    TOldValues<std::string> OldTexts;
};

namespace {

class TBulkEditStep final : public TUndoStep {
public:
    explicit TBulkEditStep(TBulkEditRecording&& Recording)
        : TUndoStep(KindOf(Recording.Edit.Kind()), Recording.Positions.Count()),
          Edit(Recording.Edit), Positions(Recording.Positions.Finish()),
          OldOwners(std::move(Recording.OldOwners)), OldTexts(std::move(Recording.OldTexts)) {
        OldOwners.Finish();
        OldTexts.Finish();
    }

    void Undo(TPropdumpFile& Document) override {
        RequireObjects(Document, Positions.End());
        std::vector<TPropObject>& Objects = Document.Objects;
        std::size_t Ordinal = 0;
        switch (Edit.Kind()) {
        case TBulkEdit::TKind::ReplaceOwner:
            Positions.ForEach([&](std::size_t At) { Objects[At].Owner = OldOwners[Ordinal++]; });
            return;
        case TBulkEdit::TKind::ReplaceModel:
            // Whole values: a second try after a failure puts back the rest.
            Positions.ForEach([&](std::size_t At) { Objects[At].Model = OldTexts[Ordinal++]; });
            return;
        case TBulkEdit::TKind::Normalize:
            Positions.ForEach([&](std::size_t At) { RemoveModelSuffix(Objects[At]); });
            return;
        case TBulkEdit::TKind::Denormalize:
            AppendAll(Objects, [&](TPropObject& Object) { Object.Model += OldTexts[Ordinal++]; });
            return;
        }
    }

    void Redo(TPropdumpFile& Document) override {
        RequireObjects(Document, Positions.End());
        std::vector<TPropObject>& Objects = Document.Objects;
        if (Edit.Kind() == TBulkEdit::TKind::Normalize)
            AppendAll(Objects, [this](TPropObject& Object) { Edit.Change(Object); });
        else
            Positions.ForEach([&](std::size_t At) { Edit.Change(Objects[At]); });
    }

    std::size_t HeapBytes() const override {
        return sizeof(*this) + Edit.HeapBytes() + Positions.HeapBytes() + OldOwners.HeapBytes() +
               OldTexts.HeapBytes();
    }

private:
    // Appending may run out of memory half-way; the suffixes already appended come off again,
    // so that the step can be taken again.
    template <class TAppend> void AppendAll(std::vector<TPropObject>& Objects, TAppend&& Append) {
        std::size_t Done = 0;
        try {
            Positions.ForEach([&](std::size_t At) {
                Append(Objects[At]);
                ++Done;
            });
        } catch (...) {
            Positions.ForEach([&](std::size_t At) {
                if (Done > 0) {
                    RemoveModelSuffix(Objects[At]);
                    --Done;
                }
            });
            throw;
        }
    }

    const TBulkEdit Edit;
    const TPositionRuns Positions;
    TOldValues<int32_t> OldOwners;
    TOldValues<std::string> OldTexts;
};

// The fields of an object as an edit record writes them: bit N of a record's field set stands
// for the N-th field here, numbers first.
constexpr int32_t TPropObject::*NumberFields[] = {
    &TPropObject::Owner,      &TPropObject::Timestamp, &TPropObject::X,    &TPropObject::Y,
    &TPropObject::Z,          &TPropObject::Yaw,       &TPropObject::Tilt, &TPropObject::Roll,
    &TPropObject::ObjectType, &TPropObject::DataLength};
constexpr std::string TPropObject::*TextFields[] = {&TPropObject::Model, &TPropObject::Description,
                                                    &TPropObject::Action};
constexpr unsigned NumberCount = std::size(NumberFields);
constexpr unsigned TextCount = std::size(TextFields);
constexpr unsigned DataBit = 1u << (NumberCount + TextCount);

void AppendNumber(std::string& Out, std::size_t Value) {
    while (Value >= 0x80) {
        Out += static_cast<char>(Value | 0x80);
        Value >>= 7;
    }
    Out += static_cast<char>(Value);
}

std::size_t ReadNumber(const std::string& In, std::size_t& At) {
    std::size_t Value = 0;
    for (unsigned Shift = 0;; Shift += 7) {
        const auto Byte = static_cast<uint8_t>(In.at(At++));
        Value |= static_cast<std::size_t>(Byte & 0x7F) << Shift;
        if (!(Byte & 0x80))
            return Value;
    }
}

template <class TBytes> void AppendBytes(std::string& Out, const TBytes& Bytes) {
    AppendNumber(Out, Bytes.size());
    Out.append(Bytes.begin(), Bytes.end());
}

template <class TBytes> void ReadBytes(const std::string& In, std::size_t& At, TBytes& Bytes) {
    const std::size_t Size = ReadNumber(In, At);
    const auto From = In.begin() + static_cast<std::ptrdiff_t>(At);
    Bytes.assign(From, From + static_cast<std::ptrdiff_t>(Size));
    At += Size;
}

unsigned ChangedFields(const TPropObject& Before, const TPropObject& After) {
    unsigned Fields = 0;
    for (unsigned Field = 0; Field < NumberCount; ++Field)
        if (Before.*NumberFields[Field] != After.*NumberFields[Field])
            Fields |= 1u << Field;
    for (unsigned Field = 0; Field < TextCount; ++Field)
        if (Before.*TextFields[Field] != After.*TextFields[Field])
            Fields |= 1u << (NumberCount + Field);
    if (Before.Data != After.Data)
        Fields |= DataBit;
    return Fields;
}

constexpr unsigned AllFields = (DataBit << 1) - 1;

std::size_t NumberSize(std::size_t Value) {
    std::size_t Size = 1;
    for (; Value >= 0x80; Value >>= 7)
        ++Size;
    return Size;
}

// Numbers as four bytes each, texts and data as their length and their bytes.
void AppendEncoded(std::string& Out, const TPropObject& Object, unsigned Fields) {
    // The numbers in one append: a deletion packs millions of objects.
    char Numbers[4 * NumberCount];
    std::size_t Size = 0;
    for (unsigned Field = 0; Field < NumberCount; ++Field)
        if (Fields & (1u << Field)) {
            const auto Value = static_cast<uint32_t>(Object.*NumberFields[Field]);
            for (unsigned Byte = 0; Byte < 4; ++Byte)
                Numbers[Size++] = static_cast<char>(Value >> (8 * Byte));
        }
    Out.append(Numbers, Size);
    for (unsigned Field = 0; Field < TextCount; ++Field)
        if (Fields & (1u << (NumberCount + Field)))
            AppendBytes(Out, Object.*TextFields[Field]);
    if (Fields & DataBit)
        AppendBytes(Out, Object.Data);
}

// What AppendEncoded appends for every field.
std::size_t EncodedSize(const TPropObject& Object) {
    std::size_t Size = 4 * NumberCount + NumberSize(Object.Data.size()) + Object.Data.size();
    for (const auto Text : TextFields)
        Size += NumberSize((Object.*Text).size()) + (Object.*Text).size();
    return Size;
}

std::string Encode(const TPropObject& Object, unsigned Fields) {
    std::string Out;
    AppendEncoded(Out, Object, Fields);
    Out.shrink_to_fit();
    return Out;
}

// Reads the fields AppendEncoded wrote from In at At, and moves At past them.
void Decode(const std::string& In, std::size_t& At, unsigned Fields, TPropObject& Object) {
    for (unsigned Field = 0; Field < NumberCount; ++Field)
        if (Fields & (1u << Field)) {
            if (At > In.size() || In.size() - At < 4)
                throw std::out_of_range("An undo record ends in the middle of a number");
            uint32_t Value = 0;
            for (unsigned Byte = 0; Byte < 4; ++Byte)
                Value |= static_cast<uint32_t>(static_cast<uint8_t>(In[At++])) << (8 * Byte);
            Object.*NumberFields[Field] = static_cast<int32_t>(Value);
        }
    for (unsigned Field = 0; Field < TextCount; ++Field)
        if (Fields & (1u << (NumberCount + Field)))
            ReadBytes(In, At, Object.*TextFields[Field]);
    if (Fields & DataBit)
        ReadBytes(In, At, Object.Data);
}

// Moving cannot fail, so the object takes all its values or none.
void MoveFields(TPropObject& From, TPropObject& To, unsigned Fields) {
    for (unsigned Field = 0; Field < NumberCount; ++Field)
        if (Fields & (1u << Field))
            To.*NumberFields[Field] = From.*NumberFields[Field];
    for (unsigned Field = 0; Field < TextCount; ++Field)
        if (Fields & (1u << (NumberCount + Field)))
            To.*TextFields[Field] = std::move(From.*TextFields[Field]);
    if (Fields & DataBit)
        To.Data = std::move(From.Data);
}

// The removed objects live in the step, packed field by field, while they are out of the
// document: that costs less than the objects did in it. Once the deletion is undone they are
// objects of the document again and the step keeps only their places.
class TDeletionStep final : public TUndoStep {
public:
    TDeletionStep(TPositionRuns Positions, std::string Packed)
        : TUndoStep(TChangeKind::Deletion, Positions.Count()), Positions(std::move(Positions)),
          Packed(std::move(Packed)), PackedSize(this->Packed.size()) {}

    void Undo(TPropdumpFile& Document) override {
        if (Packed.empty())
            throw std::logic_error("This deletion has been undone already");
        std::vector<TPropObject>& Objects = Document.Objects;
        const std::size_t Kept = Objects.size();
        RequireObjects(Document, Positions.End() > Count() ? Positions.End() - Count() : 0);
        // Everything that can fail before the objects move comes first.
        const std::vector<TPositionRuns::TRun> Runs = Positions.Runs();
        Objects.resize(Kept + Count());
        // From the back: each kept object moves up past the places of the removed ones before it.
        std::size_t KeptEnd = Kept;
        std::size_t FilledFrom = Objects.size();
        for (auto Run = Runs.rbegin(); Run != Runs.rend(); ++Run) {
            const std::size_t After = FilledFrom - (Run->First + Run->Length);
            std::move_backward(Objects.begin() + Offset(KeptEnd - After),
                               Objects.begin() + Offset(KeptEnd),
                               Objects.begin() + Offset(FilledFrom));
            KeptEnd -= After;
            FilledFrom = Run->First;
        }
        std::size_t At = 0;
        try {
            Positions.ForEach([&](std::size_t Position) {
                TPropObject& Object = Objects[Position];
                Decode(Packed, At, AllFields, Object);
                Object.MarkedForDeletion = false;
            });
        } catch (...) {
            // Out of memory for the texts: the document goes back to how the deletion left it.
            TakeOut(Objects, false);
            throw;
        }
        std::string().swap(Packed);
    }

    void Redo(TPropdumpFile& Document) override {
        if (!Packed.empty())
            throw std::logic_error("This deletion has been done already");
        RequireObjects(Document, Positions.End());
        // The only allocation: packing into it cannot fail.
        Packed.reserve(PackedSize);
        TakeOut(Document.Objects, true);
    }

    std::size_t HeapBytes() const override {
        return sizeof(*this) + Positions.HeapBytes() + HeapBytesOf(Packed);
    }

private:
    static std::ptrdiff_t Offset(std::size_t Position) {
        return static_cast<std::ptrdiff_t>(Position);
    }

    // Removes the objects at Positions, keeping the order of the rest; Pack keeps them in Packed
    // first. Moving objects cannot fail, nor can packing into reserved room.
    void TakeOut(std::vector<TPropObject>& Objects, bool Pack) {
        std::size_t KeptEnd = 0;
        std::size_t From = 0;
        Positions.ForEachRun([&](std::size_t First, std::size_t Length) {
            if (KeptEnd != From)
                std::move(Objects.begin() + Offset(From), Objects.begin() + Offset(First),
                          Objects.begin() + Offset(KeptEnd));
            KeptEnd += First - From;
            if (Pack)
                for (std::size_t Position = First; Position < First + Length; ++Position)
                    AppendEncoded(Packed, Objects[Position], AllFields);
            From = First + Length;
        });
        if (KeptEnd != From)
            std::move(Objects.begin() + Offset(From), Objects.end(),
                      Objects.begin() + Offset(KeptEnd));
        KeptEnd += Objects.size() - From;
        Objects.erase(Objects.begin() + Offset(KeptEnd), Objects.end());
    }

    const TPositionRuns Positions;
    std::string Packed;
    const std::size_t PackedSize;
};

constexpr std::size_t MostPositionBytes = TPositionRuns::MostBytesPerPosition;

// Holds the values the edited fields do not have now: the old ones until the edit is undone,
// the new ones until it is done again. Undo and Redo are the same exchange.
class TObjectEditStep final : public TUndoStep {
public:
    TObjectEditStep(std::size_t Position, unsigned Fields, std::string Values)
        : TUndoStep(TChangeKind::ObjectEdit, 1, Position), Fields(Fields),
          Values(std::move(Values)) {}

    void Undo(TPropdumpFile& Document) override { Exchange(Document); }
    void Redo(TPropdumpFile& Document) override { Exchange(Document); }
    std::size_t HeapBytes() const override { return sizeof(*this) + HeapBytesOf(Values); }

private:
    void Exchange(TPropdumpFile& Document) {
        RequireObjects(Document, Position() + 1);
        TPropObject& Object = Document.Objects[Position()];
        std::string Current = Encode(Object, Fields);
        TPropObject Other;
        std::size_t At = 0;
        Decode(Values, At, Fields, Other);
        MoveFields(Other, Object, Fields);
        Values = std::move(Current);
    }

    const unsigned Fields;
    std::string Values;
};

} // namespace

std::unique_ptr<TUndoStep> ObjectEditStep(std::size_t Position, const TPropObject& Before,
                                          const TPropObject& After) {
    const unsigned Fields = ChangedFields(Before, After);
    if (Fields == 0)
        return nullptr;
    return std::make_unique<TObjectEditStep>(Position, Fields, Encode(Before, Fields));
}

std::unique_ptr<TUndoStep> CommitDeletion(TDeletion& Deletion) {
    const std::vector<int>& Marks = Deletion.Marks();
    if (Marks.empty())
        return nullptr;
    // The marks may have come in any order; the step keeps the objects in document order.
    std::vector<std::size_t> Positions(Marks.begin(), Marks.end());
    std::sort(Positions.begin(), Positions.end());
    const std::vector<TPropObject>& Objects = Deletion.Target().Objects;
    TPositionRuns::TBuilder Runs;
    std::size_t Size = 0;
    for (const std::size_t Position : Positions) {
        Runs.Add(Position);
        Size += EncodedSize(Objects[Position]);
    }
    std::string Packed;
    Packed.reserve(Size);
    for (const std::size_t Position : Positions)
        AppendEncoded(Packed, Objects[Position], AllFields);
    // Everything that can fail before anything is removed: the objects are never gone without
    // their step.
    auto Step = std::make_unique<TDeletionStep>(Runs.Finish(), std::move(Packed));
    Deletion.Commit();
    return Step;
}

std::size_t DeletionStepBytes(const TDeletion& Deletion) {
    const std::vector<TPropObject>& Objects = Deletion.Target().Objects;
    std::size_t Packed = 0;
    for (const int Index : Deletion.Marks())
        Packed += EncodedSize(Objects[static_cast<std::size_t>(Index)]);
    return sizeof(TDeletionStep) + Packed + 1 + MostPositionBytes * Deletion.Marks().size();
}

std::size_t BulkEditStepBytes(const TBulkEdit& Edit, const std::vector<TPropObject>& Objects) {
    std::size_t Changed = 0;
    std::size_t OldModels = 0;
    for (const TPropObject& Object : Objects) {
        if (!Edit.Affects(Object))
            continue;
        ++Changed;
        if (Edit.Kind() == TBulkEdit::TKind::ReplaceModel)
            OldModels += sizeof(std::string) + HeapBytesOf(Object.Model);
    }
    // Each changed object's place, its number in the table of old values (at most four bytes)
    // and, at worst, an old value of its own. Denormalising keeps the suffixes, which differ only
    // in letter case: at most 16 of them, one byte each object.
    std::size_t Values = 0;
    switch (Edit.Kind()) {
    case TBulkEdit::TKind::ReplaceOwner:
        Values = Changed * (4 + sizeof(int32_t));
        break;
    case TBulkEdit::TKind::ReplaceModel:
        Values = Changed * 4 + OldModels;
        break;
    case TBulkEdit::TKind::Normalize:
        break;
    case TBulkEdit::TKind::Denormalize:
        Values = Changed + 16 * sizeof(std::string);
        break;
    }
    return sizeof(TBulkEditStep) + Edit.HeapBytes() + MostPositionBytes * Changed + Values;
}

TBulkEditRecorder::TBulkEditRecorder(const TBulkEdit& Edit, bool Keep)
    : Recording(std::make_unique<TBulkEditRecording>(Edit)), Keeping(Keep) {}

TBulkEditRecorder::~TBulkEditRecorder() = default;

std::size_t TBulkEditRecorder::ApplyRange(std::vector<TPropObject>& Objects, std::size_t First,
                                          std::size_t Last) {
    // True from the keeping of an object until the edit moves on: should the change of that
    // object fail, the object still holds its old value and must not be in the step.
    bool Kept = false;
    try {
        const std::size_t Changed = Recording->Edit.ApplyRange(
            Objects, First, Last, [&](std::size_t Position, const TPropObject& Object) {
                Kept = false;
                if (Keeping)
                    Recording->Keep(Position, Object);
                else
                    ++NotKept;
                Kept = true;
            });
        return Changed;
    } catch (...) {
        if (Kept && Keeping)
            Recording->DropLast();
        else if (Kept)
            --NotKept;
        throw;
    }
}

std::size_t TBulkEditRecorder::Changed() const {
    return Keeping ? Recording->Positions.Count() : NotKept;
}

std::unique_ptr<TUndoStep> TBulkEditRecorder::Finish() {
    if (!Keeping || Changed() == 0)
        return nullptr;
    return std::make_unique<TBulkEditStep>(std::move(*Recording));
}
