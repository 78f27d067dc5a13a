#pragma once

// What the window should show after each command, worked out on plain structures from the rules
// as users are told them. Nothing here calls the editor's own code: a fault shared by the window
// and this model would otherwise go unseen.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace soak {

struct MObject {
    int32_t Owner = 0, Timestamp = 0, X = 0, Y = 0, Z = 0, Yaw = 0, Tilt = 0, Roll = 0, Type = 0;
    std::string Model, Description, Action, Data;
    bool operator==(const MObject&) const = default;
};

using MObjects = std::vector<MObject>;

// The file's text of Objects in Version, with the header or without it.
std::string WriteDump(const MObjects& Objects, int Version, bool Header = true);
// Version 0: from the header. Empty on any failure (no data, bad header, a line not understood).
std::optional<MObjects> ReadDump(const std::string& Bytes, int& Version);

std::string Upper(std::string Text);
bool SameText(const std::string& A, const std::string& B);
// '*' any run, '?' one character, letters without regard to case, the whole text.
bool Matches(const std::string& Pattern, const std::string& Text);

struct MCriteria {
    // Bits in the order citizen numbers, models, description, action, earliest, latest, type.
    unsigned On = 0, Exclude = 0, Exact = 0;
    std::string CitNums, Models, Description, Action;
    int64_t MinTime = 0, MaxTime = 0; // seconds since 1970
    int32_t ObjType = 2;
    bool Finds(const MObject& Object) const;
};

struct MArea {
    int32_t MinX, MaxX, MinZ, MaxZ;
    bool Contains(const MObject& O) const {
        return MinX <= O.X && O.X <= MaxX && MinZ <= O.Z && O.Z <= MaxZ;
    }
};

// Distinct owners in order of first occurrence; distinct model names ignoring case, first form.
std::vector<std::string> Owners(const MObjects& Objects);
std::vector<std::string> ModelNames(const MObjects& Objects);

// The four bulk edits; each returns how many objects it changed.
std::size_t ReplaceOwner(MObjects& Objects, int32_t Find, int32_t To);
std::size_t ReplaceModel(MObjects& Objects, const std::string& Find, const std::string& To);
std::size_t Normalize(MObjects& Objects);
std::size_t Denormalize(MObjects& Objects);

// Turn by a quarter-turn multiple (tenths) about the centre, then move.
bool Relocate(MObject& Object, int32_t Tenths, int32_t CX, int32_t CZ, int32_t DX, int32_t DY,
              int32_t DZ);

// Positions (0-based) in New of what is new or changed since Old: objects pair by place, equal
// ones first.
std::vector<std::size_t> Differences(const MObjects& Old, const MObjects& New);
// The objects of Other that stay unpaired with Held's by place: what a document holding Held
// lacks of Other.
std::vector<std::size_t> Lacking(const MObjects& Held, const MObjects& Other);

// The object as a file of Version holds it.
MObject InVersion(MObject Object, int Version);

} // namespace soak
