#include "model/Propdmp.h"

#include "model/CodePage.h"
#include "model/DistinctSet.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>

TPropObject& TPropdumpFile::Item(int Index) {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    return Objects[static_cast<std::size_t>(Index)];
}

const TPropObject& TPropdumpFile::Item(int Index) const {
    return const_cast<TPropdumpFile*>(this)->Item(Index);
}

void TPropdumpFile::Clear() {
    std::vector<TPropObject>().swap(Objects);
    FileName.clear();
}

std::vector<std::string> TPropdumpFile::GetCitizenNumbers() const {
    std::vector<std::string> result;
    TDistinctSet<int32_t, TOwnerHash, std::equal_to<int32_t>> seen;
    const TPropObject* previous = nullptr;
    for (const TPropObject& o : Objects) {
        // Objects of one owner tend to come in runs; a run needs no hash look-up.
        if (previous && previous->Owner == o.Owner)
            continue;
        previous = &o;
        if (seen.Insert(o.Owner))
            result.push_back(std::to_string(o.Owner));
    }
    return result;
}

std::vector<std::string> TPropdumpFile::GetModelNames() const {
    std::vector<std::string> result;
    TDistinctSet<std::string_view, TCaseInsensitiveHash1252, TCaseInsensitiveEqual1252> seen;
    for (const TPropObject& o : Objects) {
        if (!o.Model.empty() && seen.Insert(o.Model))
            result.push_back(o.Model);
    }
    return result;
}

void TPropdumpFile::DeleteMarked() {
    Objects.erase(std::remove_if(Objects.begin(), Objects.end(),
                                 [](const TPropObject& o) { return o.MarkedForDeletion; }),
                  Objects.end());
}
