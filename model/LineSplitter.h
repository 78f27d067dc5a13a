#pragma once

// How the propdump reader cuts bytes into lines, shared by everything that reads a file line by
// line: the whole-document loader and the command-line tool's streaming commands.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

inline bool IsLineEnd(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}

// Line ends are rare among the bytes, so look at eight at a time: a word with no byte below 14
// holds none of them, and the lowest flagged byte of a word is always a true one.
inline const char* FindLineEnd(const char* p, const char* last) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t Ones = 0x0101010101010101ull;
        constexpr uint64_t Highs = 0x8080808080808080ull;
        while (last - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            const uint64_t below14 = (word - 14 * Ones) & ~word & Highs;
            if (below14 == 0) {
                p += 8;
                continue;
            }
            p += std::countr_zero(below14) / 8;
            if (IsLineEnd(*p))
                return p;
            ++p;
        }
    }
    while (p != last && !IsLineEnd(*p))
        ++p;
    return p;
}

// Cuts a byte stream, handed over in chunks of any size, into lines. CR LF, LF and CR each end a
// line, a break at the very end adds no empty line, and a NUL byte ends the text. Lines that lie
// inside one chunk are passed on as views into it; only a line cut by a chunk border is copied.
class TLineSplitter {
public:
    // Returns false once a NUL byte has ended the text.
    template <class F> bool Feed(std::string_view chunk, F&& onLine) {
        if (Ended)
            return false;
        const char* p = chunk.data();
        const char* const last = p + chunk.size();
        if (AfterCR && p != last) {
            AfterCR = false;
            if (*p == '\n')
                ++p;
        }
        while (p != last) {
            const char* e = FindLineEnd(p, last);
            if (e == last) {
                Carry.append(p, e);
                break;
            }
            if (*e == '\0') {
                Carry.append(p, e);
                Ended = true;
                return false;
            }
            if (Carry.empty()) {
                onLine(std::string_view(p, static_cast<std::size_t>(e - p)));
            } else {
                Carry.append(p, e);
                onLine(std::string_view(Carry));
                Carry.clear();
            }
            if (*e == '\r') {
                if (e + 1 == last)
                    AfterCR = true;
                else if (e[1] == '\n')
                    ++e;
            }
            p = e + 1;
        }
        return true;
    }

    template <class F> void Finish(F&& onLine) {
        if (!Carry.empty())
            onLine(std::string_view(Carry));
        Carry.clear();
    }

private:
    std::string Carry;
    bool AfterCR = false;
    bool Ended = false;
};

template <class TChunks, class F> void ForEachLine(TChunks&& forEachChunk, F&& onLine) {
    TLineSplitter splitter;
    forEachChunk([&](std::string_view chunk) { return splitter.Feed(chunk, onLine); });
    splitter.Finish(onLine);
}
