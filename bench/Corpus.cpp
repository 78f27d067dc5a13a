#include "bench/Corpus.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

// splitmix64: tiny, and the same sequence on every platform and standard library (the standard
// distributions are not).
class TRandom {
public:
    explicit TRandom(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    uint64_t Below(uint64_t n) { return Next() % n; }
    int32_t Between(int32_t low, int32_t high) {
        return static_cast<int32_t>(low + static_cast<int64_t>(Below(static_cast<uint64_t>(int64_t{high} - low + 1))));
    }
    bool Percent(unsigned p) { return Below(100) < p; }
    // 0 .. n-1, small values far more often than large ones.
    uint64_t Skewed(uint64_t n) {
        const double u = static_cast<double>(Next() >> 11) / 9007199254740992.0;
        return static_cast<uint64_t>(u * u * u * static_cast<double>(n));
    }

private:
    uint64_t State;
};

constexpr std::array<std::string_view, 40> Stems = {
    "wall",  "floor",  "tree",   "bush",   "rock",  "sign",    "lamp",  "door",  "window", "roof",
    "stair", "fence",  "pole",   "table",  "chair", "bench",   "box",   "crate", "barrel", "pillar",
    "arch",  "bridge", "path",   "grass",  "water", "flower",  "statue", "fount", "panel", "tile",
    "pine",  "palm",   "column", "beam",   "step",  "railing", "hedge", "torch", "shelf",  "rug"};

constexpr std::array<std::string_view, 48> Words = {
    "the",    "a",      "red",     "blue",   "green",  "old",    "new",    "house",  "garden", "welcome",
    "to",     "my",     "place",   "please", "do",     "not",    "build",  "here",   "owned",  "by",
    "shop",   "open",   "daily",   "portal", "north",  "south",  "east",   "west",   "tower",  "gate",
    "bright", "small",  "big",     "wooden", "stone",  "glass",  "world",  "meeting", "point", "visit",
    "again",  "thanks", "friends", "party",  "tonight", "at",    "nine",   "music"};

constexpr std::array<std::string_view, 10> Actions = {
    "create color ",         "create sign \"",          "activate url http://",
    "bump teleport ",        "create texture ",         "create light brightness=",
    "activate media ",       "create solid off, visible off", "create name ",
    "create rotate 0 1 0, move 0 0.5 0 time=4 loop"};

void AppendWords(TRandom& rng, std::string& out, std::size_t length) {
    while (out.size() < length) {
        if (!out.empty() && out.back() != ' ' && out.back() != '"')
            out += ' ';
        out += Words[rng.Below(Words.size())];
    }
}

std::string ModelName(TRandom& rng) {
    std::string name(Stems[rng.Below(Stems.size())]);
    name += std::to_string(rng.Below(120) + 1);
    if (rng.Percent(20))
        name += static_cast<char>('a' + rng.Below(4));
    if (rng.Percent(30))
        name += ".rwx";
    const unsigned style = static_cast<unsigned>(rng.Below(100));
    for (std::size_t i = 0; i < name.size(); ++i) {
        char& c = name[i];
        const bool upper = style < 60   ? false
                           : style < 85 ? i == 0
                           : style < 95 ? true
                                        : rng.Percent(50);
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
}

std::string Text(TRandom& rng, unsigned emptyPercent, unsigned longPercent, std::size_t longest,
                 unsigned breakPercent) {
    std::string s;
    if (rng.Percent(emptyPercent))
        return s;
    AppendWords(rng, s, rng.Percent(longPercent) ? 30 + rng.Below(longest - 30) : 4 + rng.Below(16));
    if (rng.Percent(breakPercent))
        s.insert(rng.Below(s.size() + 1), "\r\n");
    return s;
}

std::string ActionText(TRandom& rng) {
    if (rng.Percent(65))
        return {};
    std::string s(Actions[rng.Below(Actions.size())]);
    AppendWords(rng, s, s.size() + rng.Skewed(50));
    if (rng.Percent(2))
        s += "\r\nactivate noise bell";
    return s;
}

} // namespace

std::vector<TPropObject> GenerateCorpus(std::size_t Count, int Version, uint64_t Seed) {
    TRandom rng(Seed);

    std::vector<std::string> models;
    models.reserve(5000);
    for (int i = 0; i < 5000; ++i) {
        // One name in ten repeats an earlier one in other letter case, as names typed by hand do.
        if (i > 0 && rng.Percent(10)) {
            std::string variant = models[rng.Below(models.size())];
            for (char& c : variant)
                if (c >= 'a' && c <= 'z' && rng.Percent(50))
                    c = static_cast<char>(c - 'a' + 'A');
            models.push_back(std::move(variant));
        } else {
            models.push_back(ModelName(rng));
        }
    }
    std::array<int32_t, 6> mainOwners{};
    for (int32_t& owner : mainOwners)
        owner = rng.Between(1, 400000);
    std::vector<int32_t> otherOwners(3000);
    for (int32_t& owner : otherOwners)
        owner = rng.Between(1, 2000000);

    std::vector<TPropObject> objects(Count);
    for (TPropObject& o : objects) {
        o.Owner = rng.Percent(80) ? mainOwners[rng.Skewed(mainOwners.size())]
                                  : otherOwners[rng.Below(otherOwners.size())];
        o.Timestamp = rng.Between(946684800, 1650000000);
        o.X = rng.Between(-2000000, 2000000);
        o.Y = rng.Percent(70) ? rng.Between(-500, 3000) : rng.Between(-20000, 60000);
        o.Z = rng.Between(-2000000, 2000000);
        o.Yaw = rng.Percent(25) ? 0 : rng.Between(0, 3599);
        if (Version >= 3 && rng.Percent(10)) {
            o.Tilt = rng.Between(-900, 900);
            o.Roll = rng.Between(-900, 900);
        }
        o.Model = rng.Percent(1) ? std::string() : models[rng.Skewed(models.size())];
        o.Description = Text(rng, 70, 20, 120, 4);
        o.Action = ActionText(rng);
        if (Version == 4 && rng.Percent(5)) {
            o.ObjectType = rng.Between(1, 5);
            o.Data.resize(8 + rng.Below(88));
            for (uint8_t& b : o.Data)
                b = static_cast<uint8_t>(rng.Next());
            o.DataLength = static_cast<int32_t>(o.Data.size());
        }
    }
    return objects;
}

std::string GenerateCorpusText(std::size_t Count, int Version, uint64_t Seed) {
    const std::vector<TPropObject> objects = GenerateCorpus(Count, Version, Seed);
    std::string text = "propdump version " + std::to_string(Version) + "\r\n";
    text.reserve(Count * 100 + 64);
    for (const TPropObject& o : objects) {
        o.AppendLine(Version, text);
        text += "\r\n";
    }
    return text;
}

void WriteCorpusFile(const std::string& Path, std::size_t Count, int Version, uint64_t Seed) {
    const std::string text = GenerateCorpusText(Count, Version, Seed);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(Path.c_str(), "wb"), std::fclose);
    if (!file)
        throw std::runtime_error("Cannot create " + Path);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || std::fflush(file.get()) != 0)
        throw std::runtime_error("Cannot write " + Path);
}

std::vector<TPropObject> MutateCorpus(std::vector<TPropObject> Objects, int Version, uint64_t Seed,
                                      unsigned Percent) {
    TRandom rng(Seed);
    const std::size_t count = Objects.size() * Percent / 100;
    // The first 2 x count of a partial shuffle: count to change, count to remove.
    std::vector<std::size_t> order(Objects.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    for (std::size_t i = 0; i < std::min(2 * count, order.size()); ++i)
        std::swap(order[i], order[i + rng.Below(order.size() - i)]);
    enum : uint8_t { Keep, Change, Remove };
    std::vector<uint8_t> fate(Objects.size(), Keep);
    for (std::size_t i = 0; i < std::min(2 * count, order.size()); ++i)
        fate[order[i]] = i < count ? Change : Remove;

    std::vector<TPropObject> added = GenerateCorpus(count, Version, Seed ^ 0x5DEECE66Dull);
    std::vector<std::size_t> addedAt(count);
    for (std::size_t& at : addedAt)
        at = rng.Below(Objects.size() + 1);
    std::sort(addedAt.begin(), addedAt.end());

    std::vector<TPropObject> result;
    result.reserve(Objects.size() + count);
    std::size_t nextAdded = 0;
    for (std::size_t i = 0; i <= Objects.size(); ++i) {
        while (nextAdded < count && addedAt[nextAdded] == i)
            result.push_back(std::move(added[nextAdded++]));
        if (i == Objects.size())
            break;
        TPropObject& o = Objects[i];
        if (fate[i] == Remove)
            continue;
        if (fate[i] == Change) {
            switch (rng.Below(4)) {
            case 0:
                o.Owner = rng.Between(1, 2000000);
                break;
            case 1:
                o.Timestamp = rng.Between(1650000001, 1700000000);
                break;
            case 2:
                o.Yaw = (o.Yaw + 1 + static_cast<int32_t>(rng.Below(3599))) % 3600;
                break;
            default:
                o.Description += " (changed)";
            }
        }
        result.push_back(std::move(o));
    }
    return result;
}
