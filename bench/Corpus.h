#pragma once

// A deterministic, seeded corpus of realistic objects: a few owners own most objects, about 5,000
// model names in mixed case, descriptions and actions of varied length with some line breaks, and
// in version 4 about 5% typed objects that carry data.

#include "model/Propdmp.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

std::vector<TPropObject> GenerateCorpus(std::size_t Count, int Version, uint64_t Seed);

// The whole file text: header line and one CR LF terminated line per object.
std::string GenerateCorpusText(std::size_t Count, int Version, uint64_t Seed);

// Writes GenerateCorpusText to Path; throws std::runtime_error on failure.
void WriteCorpusFile(const std::string& Path, std::size_t Count, int Version, uint64_t Seed);

// A later dump of the same world: of Objects, Percent in a hundred changed (owner, time, yaw or
// description; never the place), as many removed, and as many new ones added at scattered places
// in the file. Deterministic for a seed.
std::vector<TPropObject> MutateCorpus(std::vector<TPropObject> Objects, int Version, uint64_t Seed,
                                      unsigned Percent);
