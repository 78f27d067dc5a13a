#include "ops/Deletion.h"

TDeletion::~TDeletion() {
    if (Committed)
        return;
    for (const int Index : Marked)
        Document.Objects[static_cast<std::size_t>(Index)].MarkedForDeletion = false;
}

void TDeletion::Mark(int Index) {
    Document.Item(Index).MarkedForDeletion = true;
    Marked.push_back(Index);
}
