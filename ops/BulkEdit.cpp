#include "ops/BulkEdit.h"

#include "model/CodePage.h"
#include "model/HeapBytes.h"

#include <utility>

namespace {

constexpr std::string_view ModelSuffix = TBulkEdit::ModelSuffix;

// The extension runs from the last '.' to the end, unless a path separator follows that dot; a
// name ending in '.' has the extension ".".
bool HasExtension(std::string_view Model) {
    const std::size_t Dot = Model.rfind('.');
    return Dot != std::string_view::npos &&
           Model.find_first_of("\\:", Dot + 1) == std::string_view::npos;
}

// A suffix of ".rwx" is always a whole extension: nothing after its dot can be a separator.
bool HasModelSuffix(std::string_view Model) {
    return Model.size() >= ModelSuffix.size() &&
           SameText1252(Model.substr(Model.size() - ModelSuffix.size()), ModelSuffix);
}

} // namespace

TBulkEdit::TBulkEdit(TKind Kind, int32_t FindOwner, int32_t NewOwner, std::string FindModel,
                     std::string NewModel)
    : EditKind(Kind), FindOwner(FindOwner), NewOwner(NewOwner), FindModel(std::move(FindModel)),
      NewModel(std::move(NewModel)) {}

TBulkEdit TBulkEdit::ReplaceOwner(int32_t Find, int32_t Replacement) {
    return TBulkEdit(TKind::ReplaceOwner, Find, Replacement, {}, {});
}

TBulkEdit TBulkEdit::ReplaceModel(std::string Find, std::string Replacement) {
    return TBulkEdit(TKind::ReplaceModel, 0, 0, std::move(Find), std::move(Replacement));
}

TBulkEdit TBulkEdit::Normalize() {
    return TBulkEdit(TKind::Normalize, 0, 0, {}, {});
}

TBulkEdit TBulkEdit::Denormalize() {
    return TBulkEdit(TKind::Denormalize, 0, 0, {}, {});
}

// The two replacements take objects of every type; the suffix edits only plain objects (type 0),
// whose model name names a file.
bool TBulkEdit::Affects(const TPropObject& Object) const {
    switch (EditKind) {
    case TKind::ReplaceOwner:
        return FindOwner == -1 || Object.Owner == FindOwner;
    case TKind::ReplaceModel:
        return SameText1252(Object.Model, FindModel);
    case TKind::Normalize:
        return Object.ObjectType == 0 && !HasExtension(Object.Model);
    case TKind::Denormalize:
        return Object.ObjectType == 0 && HasModelSuffix(Object.Model);
    }
    return false;
}

void TBulkEdit::Change(TPropObject& Object) const {
    switch (EditKind) {
    case TKind::ReplaceOwner:
        Object.Owner = NewOwner;
        return;
    case TKind::ReplaceModel:
        Object.Model = NewModel;
        return;
    case TKind::Normalize:
        Object.Model += ModelSuffix;
        return;
    case TKind::Denormalize:
        Object.Model.resize(Object.Model.size() - ModelSuffix.size());
        return;
    }
}

std::size_t TBulkEdit::HeapBytes() const {
    return HeapBytesOf(FindModel) + HeapBytesOf(NewModel);
}

std::string_view TBulkEdit::ReportLabel() const {
    switch (EditKind) {
    case TKind::ReplaceOwner:
        return "Models changed: ";
    case TKind::ReplaceModel:
        return "Models replaced: ";
    case TKind::Normalize:
        return "Models normalized: ";
    case TKind::Denormalize:
        return "Models denormalized: ";
    }
    return {};
}
