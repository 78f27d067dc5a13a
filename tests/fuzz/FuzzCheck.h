#pragma once

// What the fuzz targets share: a check that stops the run with a readable reason, and the
// comparison of two objects field by field.

#include "model/Propdmp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline bool SameFields(const TPropObject& a, const TPropObject& b) {
    return a.Owner == b.Owner && a.Timestamp == b.Timestamp && a.X == b.X && a.Y == b.Y &&
           a.Z == b.Z && a.Yaw == b.Yaw && a.Tilt == b.Tilt && a.Roll == b.Roll &&
           a.ObjectType == b.ObjectType && a.DataLength == b.DataLength && a.Model == b.Model &&
           a.Description == b.Description && a.Action == b.Action && a.Data == b.Data &&
           a.MarkedForDeletion == b.MarkedForDeletion;
}

inline bool SameDocument(const TPropdumpFile& a, const TPropdumpFile& b) {
    if (a.FileName != b.FileName || a.Version != b.Version || a.Count() != b.Count())
        return false;
    for (int i = 0; i < a.Count(); ++i)
        if (!SameFields(a.Objects[static_cast<std::size_t>(i)],
                        b.Objects[static_cast<std::size_t>(i)]))
            return false;
    return true;
}

// A copy in an allocation of exactly its size, so that ASan reports any read past its end.
inline std::unique_ptr<char[]> ExactCopy(const std::string& s) {
    auto copy = std::make_unique<char[]>(s.size());
    std::memcpy(copy.get(), s.data(), s.size());
    return copy;
}
