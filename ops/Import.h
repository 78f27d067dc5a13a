#pragma once

// Bringing objects in from another dump: all of them or those that meet the criteria (tested on
// the other dump's own values), each converted to the document's version and moved by an offset,
// and if asked only those the document lacks, by the comparison's pairing rule.

#include "model/Propdmp.h"
#include "ops/Conversion.h"
#include "ops/MapArea.h"
#include "ops/ObjectFilter.h"
#include "ops/Relocation.h"
#include "ops/SearchCriteria.h"

#include <optional>
#include <vector>

struct TImportChoice {
    TSearchCriteria Criteria; // nothing switched on: every object
    std::optional<TMapArea> Area;
    TOffset By;
    bool OnlyMissing = false;
};

// The rule for one object at a time, for callers that stream the other dump.
class TImportRule {
public:
    TImportRule(const TImportChoice& Choice, int ToVersion);

    bool Selects(const TPropObject& Original) const { return Filter.Finds(Original); }
    // The texts Selects looks at (TLinePart).
    unsigned PartsNeeded() const { return Filter.PartsNeeded(); }
    // The first coordinate the offset would take out of range.
    std::optional<TRangeFault> Fault(const TPropObject& Original) const {
        return Move.Fault(Original);
    }
    // Makes a selected object the one that joins the document; Loss counts what the document's
    // version cannot hold. Only for an object without a Fault.
    void Prepare(TPropObject& Object, TVersionLoss& Loss) const;
    bool OnlyMissing() const { return Missing; }

private:
    TObjectFilter Filter;
    TRelocation Move;
    int Version;
    bool Missing;
};

struct TImportPlan {
    std::vector<TPropObject> Objects; // in the other dump's order
    TVersionLoss Loss;
};

// What importing From into Into would append. Raises ERelocationRange, naming the object's place
// in From, when the offset takes an object out of range.
TImportPlan PlanImport(const TPropdumpFile& Into, const TPropdumpFile& From,
                       const TImportChoice& Choice);
