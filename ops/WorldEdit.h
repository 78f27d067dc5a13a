#pragma once

// Moving, copying and importing objects of a document in memory, each as one undo step. A move
// keeps the places and yaws it changed; a copy or an import appends objects at the end and is
// undone by taking that tail off again.

#include "model/Propdmp.h"
#include "ops/Relocation.h"
#include "ops/UndoRecord.h"

#include <cstddef>
#include <memory>
#include <vector>

// The extent of the objects at Positions (0-based), for the centre of a turn.
TBounds BoundsOf(const TPropdumpFile& Document, const std::vector<std::size_t>& Positions);

// Moves the objects at Positions (0-based, each once). Before anything changes, a position
// outside the document raises std::out_of_range, and an object that would leave the 32-bit range
// ERelocationRange, the first in the order given. Null when Positions is empty.
std::unique_ptr<TUndoStep> MoveObjects(TPropdumpFile& Document,
                                       const std::vector<std::size_t>& Positions,
                                       const TRelocation& Move);

// Appends a moved copy of each object at Positions, in that order; the originals stay. The same
// refusals as MoveObjects.
std::unique_ptr<TUndoStep> CopyObjects(TPropdumpFile& Document,
                                       const std::vector<std::size_t>& Positions,
                                       const TRelocation& Move);

// Appends Objects (an import, as PlanImport prepared it). Null when there are none.
std::unique_ptr<TUndoStep> AppendObjects(TPropdumpFile& Document, std::vector<TPropObject> Objects);
