#include "ops/Deletion.h"

TDeletion::~TDeletion() {
    if (Committed)
        return;
    for (const int Index : Marked)
        Document.Objects[static_cast<std::size_t>(Index)].MarkedForDeletion = false;
}

void TDeletion::Mark(int Index) {
    TPropObject& Object = Document.Item(Index);
    // Seen twice, it would be handed twice to Commit's observer.
    if (Object.MarkedForDeletion)
        return;
    Object.MarkedForDeletion = true;
    Marked.push_back(Index);
}
