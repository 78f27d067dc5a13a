#pragma once

// How the propdump reader cuts bytes into lines, shared by everything that reads a file line by
// line: the whole-document loader and the command-line tool's streaming commands.

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

inline bool IsLineEnd(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}

// Line ends are rare among the bytes, so look at sixteen at a time where the processor can
// compare that many at once, and at eight otherwise: a word with no byte below 14 holds none of
// them, and the lowest flagged byte of a word is always a true one.
inline const char* FindLineEnd(const char* p, const char* last) {
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i nul = _mm_setzero_si128();
    while (last - p >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i ends =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr)),
                         _mm_cmpeq_epi8(bytes, nul));
        if (const int mask = _mm_movemask_epi8(ends); mask != 0)
            return p + std::countr_zero(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
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

// Whether every byte of Bytes is a NUL byte.
inline bool AllNul(std::string_view Bytes) {
    return Bytes.find_first_not_of('\0') == std::string_view::npos;
}

// Cuts a byte stream, handed over in chunks of any size, into lines. CR LF, LF and CR each end a
// line and a break at the very end adds no empty line. A NUL byte ends the text: followed by
// nothing but more NUL bytes (a file padded or cut short by another program) it merely ends the
// last line; followed by anything else it is an error of its line, since whatever comes after it
// would otherwise be lost without a word. Lines that lie inside one chunk are passed on as views
// into it; only a line cut by a chunk border is copied.
class TLineSplitter {
public:
    static constexpr uint64_t NoNul = UINT64_MAX;

    // Returns false once a NUL byte is known to be followed by more than NUL bytes: nothing fed
    // after that is of any use.
    template <class F> bool Feed(std::string_view chunk, F&& onLine) {
        if (DataAfterNul)
            return false;
        const uint64_t chunkStart = Fed;
        Fed += chunk.size();
        if (NulAt != NoNul)
            return !(DataAfterNul = !AllNul(chunk));
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
                NulAt = chunkStart + static_cast<uint64_t>(e - chunk.data());
                NulLineStart = NulAt - Carry.size();
                const std::string_view after(e, static_cast<std::size_t>(last - e));
                return !(DataAfterNul = !AllNul(after));
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

    // Hands on the last line. The line of a NUL byte that cannot be read past is no line.
    template <class F> void Finish(F&& onLine) {
        if (!Carry.empty() && !DataAfterNul)
            onLine(std::string_view(Carry));
        Carry.clear();
    }

    // A NUL byte with more than NUL bytes after it: the text cannot be read past its line.
    bool NulInText() const { return DataAfterNul; }
    // The first NUL byte, counted from the first byte fed; NoNul while there is none.
    uint64_t NulOffset() const { return NulAt; }
    // Where the text ends, counted from the first byte fed: at the NUL byte when it is only
    // padding, at the start of its line when it cannot be read past; NoNul while there is none.
    uint64_t TextEnd() const {
        if (NulAt == NoNul)
            return NoNul;
        return DataAfterNul ? NulLineStart : NulAt;
    }

private:
    std::string Carry;
    uint64_t Fed = 0;
    uint64_t NulAt = NoNul;
    uint64_t NulLineStart = NoNul;
    bool AfterCR = false;
    bool DataAfterNul = false;
};

// Cuts the chunks into lines; returns the splitter for what it found about a NUL byte.
template <class TChunks, class F> TLineSplitter ForEachLine(TChunks&& forEachChunk, F&& onLine) {
    TLineSplitter splitter;
    forEachChunk([&](std::string_view chunk) { return splitter.Feed(chunk, onLine); });
    splitter.Finish(onLine);
    return splitter;
}
