#include "model/LineFormat.h"

#include "model/Base16.h"
#include "model/CFunctions.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

std::string VersionMessage(int Version) {
    return "'" + std::to_string(Version) + "' is not a known propdump file version";
}

bool IsKnownVersion(int Version) {
    return Version >= 2 && Version <= 4;
}

namespace {

// The separators of the line format: backspace, line feed, carriage return and blank. A TAB is
// deliberately not one of them, so a TAB between two numbers makes the line unreadable.
constexpr bool IsBlank(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b <= 32 &&
           ((uint64_t{1} << b) & ((1u << 8) | (1u << 10) | (1u << 13) | (uint64_t{1} << 32)));
}

const char* SkipBlanks(const char* p, const char* last) {
    // Items are nearly always parted by one blank.
    if (p != last && *p == ' ')
        ++p;
    while (p != last && IsBlank(*p))
        ++p;
    return p;
}

enum class TScanError { None, Missing, NotAnInteger };

struct TScanResult {
    const char* Ptr;
    TScanError Ec;
};

// The number of digits at the start of eight bytes given minus '0' each (0 to 8): a byte is a
// digit when it is below 10.
inline unsigned LeadingDigits(uint64_t x) {
    const uint64_t notDigit =
        (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
    return notDigit == 0 ? 8 : static_cast<unsigned>(std::countr_zero(notDigit)) / 8;
}

// Eight digit values, the first in the lowest byte, as one number.
inline uint64_t EightDigits(uint64_t x) {
    x = x * 10 + (x >> 8);
    return ((x & 0x000000FF000000FFull) * (100 + (1000000ull << 32)) +
            ((x >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32))) >>
           32;
}

// The general case of ScanInt32, from the sign or first digit at p on.
[[gnu::noinline]] TScanResult ScanInt32Rest(const char* p, const char* last, int32_t& value) {
    const bool negative = *p == '-';
    if (negative)
        ++p;
    const char* const digits = p;
    uint64_t v = 0;
    // Where the line has room, the first eight digits are taken with one load and three
    // multiplications instead of a multiplication per digit.
    if constexpr (std::endian::native == std::endian::little) {
        if (last - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            word ^= 0x3030303030303030ull;
            if (const unsigned n = LeadingDigits(word); n != 0) {
                v = EightDigits(word << (8 * (8 - n)));
                p += n;
            }
        }
    }
    for (unsigned d; p != last && (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p)
        v = v * 10 + d; // cannot overflow before the twentieth digit, checked below
    if (p == digits || (p != last && *p == '-'))
        return {p, TScanError::NotAnInteger};
    if (p - digits > 19) {
        // Only zeros in front can keep so long a run in range.
        const char* significant = digits;
        while (*significant == '0' && p - significant > 10)
            ++significant;
        if (p - significant > 10)
            return {p, TScanError::NotAnInteger};
        v = 0;
        for (const char* q = significant; q != p; ++q)
            v = v * 10 + static_cast<unsigned>(*q - '0');
    }
    if (v > (negative ? 2147483648u : 2147483647u))
        return {p, TScanError::NotAnInteger};
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
    return {p, TScanError::None};
}

// One integer item: blanks, then the longest run of '-' and digits, which must be a single
// 32-bit signed number. A run such as "1-2" or "--5" is refused as a whole, never split.
// A line holds a dozen integers, so reading them costs more than anything else: the common
// number of up to seven digits, with the byte after it in the same eight-byte load, is taken
// here without a branch per digit; everything else goes the long way.
[[gnu::always_inline]] inline TScanResult ScanInt32(const char* first, const char* last,
                                                    int32_t& value) {
    const char* const p = SkipBlanks(first, last);
    if (p == last)
        return {p, TScanError::Missing};
    if constexpr (std::endian::native == std::endian::little) {
        const bool negative = *p == '-';
        const char* const digits = p + negative;
        if (last - digits >= 8) {
            uint64_t word;
            std::memcpy(&word, digits, 8);
            word ^= 0x3030303030303030ull;
            const unsigned n = LeadingDigits(word);
            if (n - 1 < 7 && ((word >> (8 * n)) & 0xFF) != ('-' ^ '0')) {
                const auto v = static_cast<int32_t>(EightDigits(word << (8 * (8 - n))));
                value = negative ? -v : v;
                return {digits + n, TScanError::None};
            }
            // A timestamp: nine or ten digits, the rest of them in the next eight bytes.
            if (n == 8 && last - digits >= 16) {
                uint64_t next;
                std::memcpy(&next, digits + 8, 8);
                next ^= 0x3030303030303030ull;
                const unsigned m = LeadingDigits(next);
                if (m - 1 < 2 && ((next >> (8 * m)) & 0xFF) != ('-' ^ '0')) {
                    const uint64_t v = EightDigits(word) * (m == 1 ? 10 : 100) +
                                       EightDigits(next << (8 * (8 - m)));
                    if (v <= (negative ? 2147483648u : 2147483647u)) {
                        value = negative ? static_cast<int32_t>(-static_cast<int64_t>(v))
                                         : static_cast<int32_t>(v);
                        return {digits + 8 + m, TScanError::None};
                    }
                }
            }
        }
    }
    return ScanInt32Rest(p, last, value);
}

// A piece of the text part cut like a classic substring: start before the text counts as its
// beginning, a negative count as none, anything past the end is dropped.
std::string_view Cut(std::string_view text, int64_t start, int64_t count) {
    start = std::max<int64_t>(start, 0);
    const auto size = static_cast<int64_t>(text.size());
    if (count <= 0 || start >= size)
        return {};
    return text.substr(static_cast<std::size_t>(start),
                       static_cast<std::size_t>(std::min(count, size - start)));
}

void DecodeData(TPropObject& o, const char* hex, int32_t bytes) {
    o.Data.resize(static_cast<std::size_t>(bytes));
    // Base16Decode counts characters in an int; feed it pieces that always fit.
    constexpr int32_t Piece = 1 << 29;
    for (int32_t done = 0; done < bytes; done += Piece) {
        const int32_t n = std::min(Piece, bytes - done);
        Base16Decode(o.Data.data() + done, hex + 2 * static_cast<int64_t>(done), 2 * n);
    }
}

// Byte 128 stands for a line feed and 127 for a carriage return in the file; every other byte is
// itself.
constexpr std::array<char, 256> UnescapeTable = [] {
    std::array<char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<char>(b == 128 ? 10 : b == 127 ? 13 : b);
    return table;
}();

// A text that needs new room gets exactly its size: growing an empty string would round a 16 to
// 29-byte text up to 30 bytes, over a million objects. Room already there is reused, for a reader
// that parses line after line into one object.
void AssignExactly(std::string& target, std::string_view source) {
    if (source.size() <= target.capacity())
        target.assign(source);
    else
        target = std::string(source);
}

void AssignUnescaped(std::string& target, std::string_view source) {
    AssignExactly(target, source);
    for (char& c : target)
        c = UnescapeTable[static_cast<unsigned char>(c)];
}

// What follows the integers of a line: the texts and the data whose lengths they gave.
// Where the texts of a line are, after its integers end at p; Format when they do not fit the
// lengths and the data count the integers gave. Empty for an object without any text.
struct TTextsAt {
    TParseError Error = TParseError::None;
    std::string_view Text;
};

TTextsAt FindTexts(int version, const int32_t (&lengths)[3], int32_t dataLength, const char* p,
                   const char* last) {
    // An object without any text is written as its numbers and one blank; take it back as such.
    if (lengths[0] == 0 && lengths[1] == 0 && lengths[2] == 0 && dataLength == 0 &&
        SkipBlanks(p, last) == last)
        return {};

    // Only the one separator goes: further blanks belong to the text, so a model that begins
    // with a blank is read back as it was written.
    if (p != last && IsBlank(*p))
        ++p;
    const std::string_view text(p, static_cast<std::size_t>(last - p));
    if (text.empty())
        return {TParseError::Format, {}};
    if (version == 4 && dataLength != 0) {
        // Refused rather than guessed at: data that is not all there is never read from beyond
        // the line.
        const int64_t dataStart =
            std::max<int64_t>(int64_t{lengths[0]} + lengths[1] + lengths[2], 0);
        if (dataLength < 0 ||
            static_cast<int64_t>(text.size()) - dataStart < 2 * static_cast<int64_t>(dataLength))
            return {TParseError::Format, {}};
    }
    return {TParseError::None, text};
}

// What follows the integers of a line: the texts and the data whose lengths they gave.
TParseError ParseTexts(TPropObject& o, int version, const int32_t (&lengths)[3], const char* p,
                       const char* last, unsigned parts) {
    const TTextsAt at = FindTexts(version, lengths, o.DataLength, p, last);
    if (at.Error != TParseError::None || at.Text.empty())
        return at.Error;
    const std::string_view text = at.Text;
    const int64_t modelEnd = lengths[0];
    const int64_t descriptionEnd = modelEnd + lengths[1];
    const int64_t actionEnd = descriptionEnd + lengths[2];
    if (version == 4 && o.DataLength != 0 && (parts & lpData))
        DecodeData(o, text.data() + std::max<int64_t>(actionEnd, 0), o.DataLength);
    if (parts & lpModel)
        AssignExactly(o.Model, Cut(text, 0, lengths[0]));
    if (parts & lpDescription)
        AssignUnescaped(o.Description, Cut(text, modelEnd, lengths[1]));
    if (parts & lpAction)
        AssignUnescaped(o.Action, Cut(text, descriptionEnd, lengths[2]));
    return TParseError::None;
}

#ifdef __SSE2__
// The bytes of Bytes equal to c, one bit each.
inline uint64_t BytesEqual(const __m128i (&bytes)[4], char c) {
    const __m128i wanted = _mm_set1_epi8(c);
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i)
        mask |= static_cast<uint64_t>(
                    static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes[i], wanted))))
                << (16 * i);
    return mask;
}

inline uint64_t DigitBytes(const __m128i (&bytes)[4]) {
    const __m128i belowZero = _mm_set1_epi8('0' - 1);
    const __m128i aboveNine = _mm_set1_epi8('9' + 1);
    uint64_t mask = 0;
    for (int i = 0; i < 4; ++i)
        mask |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_and_si128(
                    _mm_cmpgt_epi8(bytes[i], belowZero), _mm_cmplt_epi8(bytes[i], aboveNine)))))
                << (16 * i);
    return mask;
}

// The integers of a line as nearly every line has them: each a '-' or none and one to ten
// digits, parted by single blanks, all within the first 64 bytes. The whole of that is checked
// with a few comparisons of 16 bytes at once instead of a branch per byte, which halves the cost
// of reading a line. Returns where the integers end, or null for any other line, which then
// takes the byte-by-byte way (and is refused there when it is bad).
// The integers of a line as nearly every line has them: each a '-' or none and one to ten
// digits, parted by single blanks, all within the first 64 bytes. The whole of that is checked
// with a few comparisons of 16 bytes at once instead of a branch per byte. Returns false for any
// other line, which then takes the byte-by-byte way (and is refused there when it is bad).
template <int Count> class TIntegersAtOnce {
public:
    bool Scan(std::string_view line) {
        Line = line.data();
        const std::size_t size = std::min(line.size(), Window);
        if (size < Window)
            std::memset(Bytes, 0, Window);
        std::memset(Bytes + Window, 0, sizeof Bytes - Window);
        std::memcpy(Bytes, line.data(), size);
        __m128i chunks[4];
        for (int i = 0; i < 4; ++i)
            chunks[i] = _mm_load_si128(reinterpret_cast<const __m128i*>(Bytes) + i);
        const uint64_t inLine = size == Window ? ~uint64_t{0} : (uint64_t{1} << size) - 1;
        const uint64_t blanks = BytesEqual(chunks, ' ') & inLine;
        const uint64_t minus = BytesEqual(chunks, '-');
        const uint64_t digits = DigitBytes(chunks);

        // The blank after each integer.
        uint64_t separators = blanks;
        uint64_t after = 0;
        for (int i = 0; i < Count; ++i) {
            if (separators == 0)
                return false;
            Ends[i] = static_cast<uint8_t>(std::countr_zero(separators));
            after |= separators & -separators;
            separators &= separators - 1;
        }
        const uint64_t last = uint64_t{1} << Ends[Count - 1];
        const uint64_t integers = last - 1;
        const uint64_t starts = ((after << 1) | 1) & (integers | last);
        // Runs of ten digits, which may be out of range, and of more, which go the long way.
        const uint64_t ten = digits & (digits >> 1) & (digits >> 2) & (digits >> 3) &
                             (digits >> 4) & (digits >> 5) & (digits >> 6) & (digits >> 7) &
                             (digits >> 8) & (digits >> 9) & integers;
        if ((integers & ~(digits | minus | after)) != 0 || // another byte among them
            (after & starts) != 0 ||                       // two blanks in a row, or one first
            (minus & ~starts & integers) != 0 ||           // a '-' inside a number
            ((minus << 1) & ~digits & (integers | last)) != 0 || // a '-' without digits
            (ten & (ten >> 1)) != 0)                             // eleven digits or more
            return false;
        TenDigits = ten;
        return true;
    }

    // Integer i, with its range checked; false when it is out of range.
    bool Take(int i, int32_t& value) const {
        const std::size_t start = i == 0 ? 0 : Ends[i - 1] + 1u;
        const bool negative = Bytes[start] == '-';
        const std::size_t first = start + negative;
        const std::size_t n = Ends[i] - first;
        uint64_t word;
        std::memcpy(&word, Bytes + first, 8);
        word ^= 0x3030303030303030ull;
        uint64_t v;
        if (n <= 8) {
            v = EightDigits(word << (8 * (8 - n)));
        } else {
            uint64_t rest;
            std::memcpy(&rest, Bytes + first + 8, 8);
            rest ^= 0x3030303030303030ull;
            v = EightDigits(word) * (n == 9 ? 10 : 100) + EightDigits(rest << (8 * (16 - n)));
            if (v > (negative ? 2147483648u : 2147483647u))
                return false;
        }
        value = negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
        return true;
    }

    // Whether every ten-digit integer is in range, without taking the others.
    bool TenDigitsInRange() const {
        for (uint64_t ten = TenDigits; ten != 0; ten &= ten - 1) {
            const auto first = static_cast<std::size_t>(std::countr_zero(ten));
            const bool negative = first > 0 && Bytes[first - 1] == '-';
            // Same length: the text compares as the number does.
            if (std::memcmp(Bytes + first, negative ? "2147483648" : "2147483647", 10) > 0)
                return false;
        }
        return true;
    }

    // Where the integers end: at the blank after the last one.
    const char* End() const { return Line + Ends[Count - 1]; }

    // Whether every integer is written as the writer writes it: no zero in front, no "-0".
    bool WrittenPlain() const {
        for (int i = 0; i < Count; ++i) {
            const std::size_t start = i == 0 ? 0 : Ends[i - 1] + 1u;
            const bool negative = Bytes[start] == '-';
            const std::size_t first = start + negative;
            if (Bytes[first] == '0' && (negative || Ends[i] - first > 1))
                return false;
        }
        return true;
    }

private:
    static constexpr std::size_t Window = 64;
    // Room for an eight-byte load at every position of the window.
    alignas(16) char Bytes[Window + 16];
    uint8_t Ends[Count];
    uint64_t TenDigits = 0;
    const char* Line = nullptr;
};
#endif

// Reads Line into an object whose fields are all still empty. Writes each integer as soon as it
// is read, so after a failure the fields hold what was taken before it. Only the texts and data
// named in parts are copied out, but the whole line is checked either way.
template <int Version>
TParseError ParseFieldsOf(TPropObject& o, std::string_view line, unsigned parts) {
    constexpr int Count = Version == 2 ? 9 : Version == 3 ? 11 : 13;
    int32_t lengths[3] = {0, 0, 0};
    // Known at compile time, so that the loop below unrolls into direct stores.
    int32_t* const items[13] = {&o.Owner,
                                &o.Timestamp,
                                &o.X,
                                &o.Y,
                                &o.Z,
                                &o.Yaw,
                                Version == 2 ? &lengths[0] : &o.Tilt,
                                Version == 2 ? &lengths[1] : &o.Roll,
                                Version == 2   ? &lengths[2]
                                : Version == 3 ? &lengths[0]
                                               : &o.ObjectType,
                                Version == 3 ? &lengths[1] : &lengths[0],
                                Version == 3 ? &lengths[2] : &lengths[1],
                                &lengths[2],
                                &o.DataLength};

    const char* p = line.data();
    const char* const last = p + line.size();
#ifdef __SSE2__
    TIntegersAtOnce<Count> atOnce;
    if (atOnce.Scan(line)) {
        bool inRange = true;
#pragma GCC unroll 13
        for (int i = 0; i < Count; ++i)
            inRange &= atOnce.Take(i, *items[i]);
        if (inRange)
            return ParseTexts(o, Version, lengths, atOnce.End(), last, parts);
    }
#endif
#pragma GCC unroll 13
    for (int i = 0; i < Count; ++i) {
        const TScanResult r = ScanInt32(p, last, *items[i]);
        if (r.Ec != TScanError::None)
            return TParseError::Format;
        p = r.Ptr;
    }
    return ParseTexts(o, Version, lengths, p, last, parts);
}

} // namespace

TParseError ParseFields(TPropObject& o, int version, std::string_view line, unsigned parts) {
    switch (version) {
    case 2:
        return ParseFieldsOf<2>(o, line, parts);
    case 3:
        return ParseFieldsOf<3>(o, line, parts);
    case 4:
        return ParseFieldsOf<4>(o, line, parts);
    default:
        return TParseError::Version;
    }
}

namespace {

bool IsUpperHex(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    });
}

// The owner of a readable line, and whether the line is the very bytes the writer gives the
// object it holds: the integers as the writer puts them, each text exactly as long as its count
// says, the data in upper-case hex. A line of an uncommon shape is parsed and written again to
// tell.
template <int Version, bool AsWritten>
std::optional<TLineOwner> ReadableOwnerOf(std::string_view line) {
#ifdef __SSE2__
    constexpr int Count = Version == 2 ? 9 : Version == 3 ? 11 : 13;
    constexpr int Lengths = Count - (Version == 4 ? 4 : 3);
    TIntegersAtOnce<Count> atOnce;
    if (atOnce.Scan(line)) {
        int32_t owner = 0;
        int32_t lengths[3] = {0, 0, 0};
        int32_t dataLength = 0;
        bool inRange = atOnce.TenDigitsInRange() && atOnce.Take(0, owner);
        for (int i = 0; i < 3; ++i)
            inRange &= atOnce.Take(Lengths + i, lengths[i]);
        if (Version == 4)
            inRange &= atOnce.Take(Count - 1, dataLength);
        if (inRange) {
            const char* const last = line.data() + line.size();
            const TTextsAt at = FindTexts(Version, lengths, dataLength, atOnce.End(), last);
            if (at.Error != TParseError::None)
                return std::nullopt;
            if constexpr (AsWritten) {
                const int64_t texts = int64_t{lengths[0]} + lengths[1] + lengths[2];
                const int64_t size = last - (atOnce.End() + 1);
                const bool asWritten =
                    lengths[0] >= 0 && lengths[1] >= 0 && lengths[2] >= 0 && dataLength >= 0 &&
                    size == texts + 2 * int64_t{dataLength} && atOnce.WrittenPlain() &&
                    IsUpperHex(std::string_view(atOnce.End() + 1 + texts, 2 * std::size_t(dataLength)));
                return TLineOwner{owner, asWritten};
            }
            return TLineOwner{owner, false};
        }
    }
#endif
    TPropObject o;
    if (ParseFields(o, Version, line, AsWritten ? lpAllParts : 0u) != TParseError::None)
        return std::nullopt;
    if constexpr (AsWritten)
        return TLineOwner{o.Owner, o.FormatLine(Version) == line};
    return TLineOwner{o.Owner, false};
}

template <bool AsWritten>
std::optional<TLineOwner> ReadableOwner(int version, std::string_view line) {
    switch (version) {
    case 2:
        return ReadableOwnerOf<2, AsWritten>(line);
    case 3:
        return ReadableOwnerOf<3, AsWritten>(line);
    case 4:
        return ReadableOwnerOf<4, AsWritten>(line);
    default:
        return std::nullopt;
    }
}

} // namespace

void ResetFields(TPropObject& o) {
    o.Owner = o.Timestamp = o.X = o.Y = o.Z = o.Yaw = o.Tilt = o.Roll = 0;
    o.ObjectType = o.DataLength = 0;
    o.Model.clear();
    o.Description.clear();
    o.Action.clear();
    o.Data.clear();
}

std::size_t DataBytesToWrite(const TPropObject& o, int version) {
    if (version != 4 || o.DataLength <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(o.DataLength), o.Data.size());
}

namespace {

constexpr std::size_t MaxIntegerText = 11; // "-2147483648"

char* PutInt(char* out, int64_t value) {
    out = std::to_chars(out, out + MaxIntegerText + 9, value).ptr;
    *out = ' ';
    return out + 1;
}

char* PutEscaped(char* out, const std::string& s) {
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = b == 10 ? static_cast<char>(128) : b == 13 ? static_cast<char>(127) : c;
    }
    return out;
}

} // namespace

std::size_t MaxLineSize(const TPropObject& o, std::size_t dataBytes) {
    return 13 * (MaxIntegerText + 1) + o.Model.size() + o.Description.size() + o.Action.size() +
           2 * dataBytes;
}

char* PutLine(const TPropObject& o, int version, std::size_t dataBytes, char* out) {
    for (const int32_t v : {o.Owner, o.Timestamp, o.X, o.Y, o.Z, o.Yaw})
        out = PutInt(out, v);
    if (version >= 3) {
        out = PutInt(out, o.Tilt);
        out = PutInt(out, o.Roll);
    }
    if (version == 4)
        out = PutInt(out, o.ObjectType);
    out = PutInt(out, static_cast<int64_t>(o.Model.size()));
    out = PutInt(out, static_cast<int64_t>(o.Description.size()));
    out = PutInt(out, static_cast<int64_t>(o.Action.size()));
    if (version == 4)
        out = PutInt(out, static_cast<int64_t>(dataBytes));
    std::memcpy(out, o.Model.data(), o.Model.size());
    out += o.Model.size();
    out = PutEscaped(out, o.Description);
    out = PutEscaped(out, o.Action);
    return Base16Put(out, o.Data.data(), dataBytes);
}

void TPropObject::ParseLine(int Version, std::string_view Line, unsigned Parts) {
    ResetFields(*this);
    switch (ParseFields(*this, Version, Line, Parts)) {
    case TParseError::None:
        return;
    case TParseError::Version:
        throw EPropdumpError(VersionMessage(Version));
    case TParseError::Format:
        break;
    }
    throw EPropdumpError(LineFormatMessage);
}

std::string TPropObject::FormatLine(int Version) const {
    std::string line;
    AppendLine(Version, line);
    return line;
}

void TPropObject::AppendLine(int Version, std::string& Out) const {
    if (!IsKnownVersion(Version))
        throw EPropdumpError(VersionMessage(Version));
    const std::size_t dataBytes = DataBytesToWrite(*this, Version);
    const std::size_t start = Out.size();
    Out.resize(start + MaxLineSize(*this, dataBytes));
    const char* end = PutLine(*this, Version, dataBytes, Out.data() + start);
    Out.resize(static_cast<std::size_t>(end - Out.data()));
}

std::string EscapeLineBreaks(std::string_view Source) {
    std::string result(Source);
    for (char& c : result) {
        if (c == '\n')
            c = static_cast<char>(128);
        else if (c == '\r')
            c = static_cast<char>(127);
    }
    return result;
}

void UnescapeLineBreaks(std::string& Text) {
    for (char& c : Text)
        c = UnescapeTable[static_cast<unsigned char>(c)];
}

std::optional<int32_t> ReadableLineOwner(int Version, std::string_view Line) {
    if (const std::optional<TLineOwner> Found = ReadableOwner<false>(Version, Line))
        return Found->Owner;
    return std::nullopt;
}

std::optional<TLineOwner> ReadableLineOwnerAsWritten(int Version, std::string_view Line) {
    return ReadableOwner<true>(Version, Line);
}

std::optional<int> HeaderLineVersion(std::string_view Line) {
    int32_t version = 0;
    if (Sscanf(Line, "propdump version %d", {&version}) != 1)
        return std::nullopt;
    return version;
}

int HeaderVersion(std::string_view line) {
    const std::optional<int> version = HeaderLineVersion(line);
    return version && IsKnownVersion(*version) ? *version : 0;
}
