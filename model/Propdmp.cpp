#include "model/Propdmp.h"

#include "model/Base16.h"
#include "model/CFunctions.h"
#include "model/CodePage.h"
#include "model/FileIo.h"
#include "model/LineSplitter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr char LineFormatMessage[] = "Line format not understood";

std::string VersionMessage(int Version) {
    return "'" + std::to_string(Version) + "' is not a known propdump file version";
}

bool IsKnownVersion(int Version) {
    return Version >= 2 && Version <= 4;
}

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

enum class TParseError { None, Format, Version };

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

TParseError ParseFields(TPropObject& o, int version, std::string_view line,
                        unsigned parts = lpAllParts) {
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

template <int Version> std::optional<int32_t> ReadableOwnerOf(std::string_view line) {
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
            if (FindTexts(Version, lengths, dataLength, atOnce.End(), last).Error !=
                TParseError::None)
                return std::nullopt;
            return owner;
        }
    }
#endif
    TPropObject o;
    if (ParseFields(o, Version, line, 0) != TParseError::None)
        return std::nullopt;
    return o.Owner;
}

void ResetFields(TPropObject& o) {
    o.Owner = o.Timestamp = o.X = o.Y = o.Z = o.Yaw = o.Tilt = o.Roll = 0;
    o.ObjectType = o.DataLength = 0;
    o.Model.clear();
    o.Description.clear();
    o.Action.clear();
    o.Data.clear();
}

// Data bytes a line carries: what DataLength claims, but never more than Data holds, so the
// writer never reads past Data and the count it writes always matches the hex that follows.
std::size_t DataBytesToWrite(const TPropObject& o, int version) {
    if (version != 4 || o.DataLength <= 0)
        return 0;
    return std::min(static_cast<std::size_t>(o.DataLength), o.Data.size());
}

constexpr std::size_t MaxIntegerText = 11; // "-2147483648"

std::size_t MaxLineSize(const TPropObject& o, std::size_t dataBytes) {
    return 13 * (MaxIntegerText + 1) + o.Model.size() + o.Description.size() + o.Action.size() +
           2 * dataBytes;
}

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

// Writes the line into out, which has room for MaxLineSize bytes; returns its end.
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
    static constexpr char Digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < dataBytes; ++i) {
        *out++ = Digits[o.Data[i] >> 4];
        *out++ = Digits[o.Data[i] & 0x0F];
    }
    return out;
}

} // namespace

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
    switch (Version) {
    case 2:
        return ReadableOwnerOf<2>(Line);
    case 3:
        return ReadableOwnerOf<3>(Line);
    case 4:
        return ReadableOwnerOf<4>(Line);
    default:
        return std::nullopt;
    }
}

std::optional<int> HeaderLineVersion(std::string_view Line) {
    int32_t version = 0;
    if (Sscanf(Line, "propdump version %d", {&version}) != 1)
        return std::nullopt;
    return version;
}

namespace {

// The version a header line names; 0 when the line is no header of a known version.
int HeaderVersion(std::string_view line) {
    const std::optional<int> version = HeaderLineVersion(line);
    return version && IsKnownVersion(*version) ? *version : 0;
}

EPropdumpError ChangedWhileRead() {
    return EPropdumpError("The file changed while it was being read");
}

// Bytes already in memory: every read is a view into them.
class TMemorySource {
public:
    static constexpr bool NeedsBuffer = false;
    explicit TMemorySource(std::string_view bytes) : Bytes(bytes) {}
    uint64_t Size() const { return Bytes.size(); }
    std::string_view Read(uint64_t offset, uint64_t most, char*) const {
        if (offset >= Bytes.size())
            return {};
        return Bytes.substr(static_cast<std::size_t>(offset),
                            static_cast<std::size_t>(std::min<uint64_t>(most, Bytes.size())));
    }

private:
    std::string_view Bytes;
};

// A file read at explicit offsets, so that two threads can each read their own part of it.
class TFileSource {
public:
    static constexpr bool NeedsBuffer = true;
    TFileSource(const FileSystem::TFile& file, const std::string& path, uint64_t size)
        : File(file), Path(path), Bytes(size) {}
    uint64_t Size() const { return Bytes; }
    std::string_view Read(uint64_t offset, uint64_t most, char* buffer) const {
        const auto size = static_cast<std::size_t>(std::min<uint64_t>(most, ReadBlock));
        return {buffer, ReadFileAt(File, offset, buffer, size, Path)};
    }

private:
    const FileSystem::TFile& File;
    const std::string& Path;
    uint64_t Bytes; // as the file system told before reading; a guide for splitting only
};

constexpr uint64_t ToTheEnd = std::numeric_limits<uint64_t>::max();

// Bytes from Begin up to End (or the end of the text); Begin is always the start of a line.
struct TRange {
    uint64_t Begin = 0;
    uint64_t End = ToTheEnd;
    bool Empty() const { return Begin >= End; }
};

// What a walk met of a NUL byte (TLineSplitter), with offsets into the whole text.
struct TWalkEnd {
    uint64_t NulAt = ToTheEnd;   // the first NUL byte
    uint64_t TextEnd = ToTheEnd; // where the text ends because of it
    bool NulInText = false;      // it cannot be read past: the line after the last one is bad
};

// Cuts the range into lines exactly as one walk over the whole text would. Once stop is set it
// reads no further; the caller then has no use for what it got.
template <class TSource, class F>
TWalkEnd WalkLines(const TSource& source, TRange range, const std::atomic<bool>& stop,
                   uint64_t& bytes, F&& onLine) {
    if (range.Empty())
        return {};
    std::unique_ptr<char[]> buffer;
    if constexpr (TSource::NeedsBuffer)
        buffer = std::make_unique_for_overwrite<char[]>(ReadBlock);
    const TLineSplitter splitter = ForEachLine(
        [&](auto&& onChunk) {
            for (uint64_t at = range.Begin;
                 at < range.End && !stop.load(std::memory_order_relaxed);) {
                const std::string_view chunk = source.Read(at, range.End - at, buffer.get());
                if (chunk.empty())
                    return;
                at += chunk.size();
                bytes += chunk.size();
                if (!onChunk(chunk))
                    return;
            }
        },
        onLine);
    TWalkEnd end;
    if (splitter.TextEnd() != TLineSplitter::NoNul) {
        end.NulAt = range.Begin + splitter.NulOffset();
        end.TextEnd = range.Begin + splitter.TextEnd();
        end.NulInText = splitter.NulInText();
    }
    return end;
}

// Below this size a second thread costs more than it saves.
constexpr uint64_t SplitFrom = 256 * 1024;

// The start of the second of two parts that each hold whole lines: the first line start at or
// after the middle of the text. ToTheEnd, for one part alone, when the text is small or no line
// starts within a read block of the middle.
template <class TSource> uint64_t SecondPartStart(const TSource& source) {
    if (source.Size() < SplitFrom)
        return ToTheEnd;
    const uint64_t middle = source.Size() / 2;
    std::unique_ptr<char[]> buffer;
    if constexpr (TSource::NeedsBuffer)
        buffer = std::make_unique_for_overwrite<char[]>(ReadBlock);
    // near[0] is the byte before the middle: a line starts after LF, and after a CR not followed
    // by LF.
    const std::string_view near = source.Read(middle - 1, ReadBlock, buffer.get());
    for (std::size_t i = 1; i < near.size(); ++i) {
        if (near[i - 1] == '\n' || (near[i - 1] == '\r' && near[i] != '\n'))
            return middle - 1 + i;
    }
    return ToTheEnd;
}

// The outcome of each part, never thrown across threads.
struct TOutcomes {
    std::exception_ptr First;
    std::exception_ptr Second;
};

template <class F> std::exception_ptr Outcome(F& f) {
    try {
        f();
        return nullptr;
    } catch (...) {
        return std::current_exception();
    }
}

// A thread that runs f, or none (not joinable) when the system has none to give.
template <class F> std::jthread TryToStartThread(F&& f) {
    try {
        return std::jthread(std::forward<F>(f));
    } catch (const std::system_error&) {
        return {};
    }
}

// Runs first on this thread and, when together, second on another one at the same time. The
// first part comes earlier in the file, so once it fails the second cannot matter any more:
// stop tells it so. Without a thread to be had, second runs here afterwards.
template <class F1, class F2>
TOutcomes RunSideBySide(bool together, std::atomic<bool>& stop, F1&& first, F2&& second) {
    TOutcomes outcomes;
    std::jthread helper;
    if (together)
        helper = TryToStartThread([&] { outcomes.Second = Outcome(second); });
    outcomes.First = Outcome(first);
    if (outcomes.First)
        stop = true;
    if (helper.joinable())
        helper.join();
    else if (!stop)
        outcomes.Second = Outcome(second);
    return outcomes;
}

struct TLineCount {
    uint64_t Lines = 0; // before the end of the text
    uint64_t Bytes = 0;
    TWalkEnd End;
};

template <class TSource>
TLineCount CountLines(const TSource& source, TRange range, const std::atomic<bool>& stop,
                      int* headerVersion) {
    TLineCount count;
    count.End = WalkLines(source, range, stop, count.Bytes, [&](std::string_view line) {
        if (headerVersion && count.Lines == 0)
            *headerVersion = HeaderVersion(line);
        ++count.Lines;
    });
    return count;
}

// What the second walk expects of one part.
struct TPartPlan {
    uint64_t Lines = 0;     // as counted by the first walk
    uint64_t FirstLine = 1; // 1-based number of the part's first line in the file
    uint64_t Skipped = 0;   // lines at its start that hold no object (the header)
};

// Parses the part's object lines into slotFor(0), slotFor(1), ... Never asks for more slots than
// the first walk counted lines, whatever the file holds now.
template <class TSource, class TSlots>
void ParseLines(const TSource& source, TRange range, const TPartPlan& plan, int version,
                const std::atomic<bool>& stop, TSlots&& slotFor) {
    uint64_t seen = 0;
    uint64_t bytes = 0;
    WalkLines(source, range, stop, bytes, [&](std::string_view line) {
        if (seen == plan.Lines)
            throw ChangedWhileRead();
        const uint64_t index = seen++;
        if (index < plan.Skipped)
            return;
        const int lineNumber = static_cast<int>(plan.FirstLine + index);
        switch (ParseFields(slotFor(index - plan.Skipped), version, line)) {
        case TParseError::None:
            return;
        case TParseError::Version:
            throw EPropdumpError(VersionMessage(version), lineNumber);
        case TParseError::Format:
            throw EPropdumpError(LineFormatMessage, lineNumber);
        }
    });
    // Another program may have cut the file short between the two walks; what is left must not
    // pass for the whole document.
    if (seen != plan.Lines)
        throw ChangedWhileRead();
}

// Room for count objects, all constructed. The object list is the one big allocation of a load:
// with huge pages the kernel hands it out in 2 MB pieces instead of faulting in every 4 KB page
// on its own. When together, another thread has the kernel clear the back half meanwhile.
void PrepareObjects(std::vector<TPropObject>& objects, std::size_t count, bool together) {
    objects.reserve(count);
    std::jthread helper;
    const std::size_t bytes = count * sizeof(TPropObject);
    if (bytes >= 2 * 1024 * 1024) {
        FileSystem::AdviseLargeAllocation(objects.data(), bytes);
        char* const middle = reinterpret_cast<char*>(objects.data()) + bytes / 2;
        if (together)
            helper = TryToStartThread(
                [=] { FileSystem::PrefaultForWriting(middle, bytes - bytes / 2); });
    }
    objects.resize(count);
}

struct TLoaded {
    std::vector<TPropObject> Objects;
    int Version = 0;
};

// Reads the document in two walks over the bytes, each split into two parts at a line start and
// run on two threads: the first counts the lines of each part, so that the object list is
// allocated once and every part knows where its objects go; the second parses them into place.
// The error of the first bad line of the file wins, wherever the threads were.
template <class TSource> TLoaded LoadDocument(const TSource& source, int version) {
    const bool hasHeader = version == 0;
    TRange parts[2];
    parts[0].End = parts[1].Begin = SecondPartStart(source);
    bool together = !parts[1].Empty();

    TLineCount counts[2];
    int headerVersion = 0;
    std::atomic<bool> stop = false;
    const TOutcomes counted = RunSideBySide(
        together, stop,
        [&] {
            counts[0] = CountLines(source, parts[0], stop, hasHeader ? &headerVersion : nullptr);
            if (counts[0].End.NulAt != ToTheEnd)
                stop = true;
        },
        [&] { counts[1] = CountLines(source, parts[1], stop, nullptr); });
    if (counted.First)
        std::rethrow_exception(counted.First);
    if (counts[0].End.NulAt != ToTheEnd) {
        // The text ended in the first part, so the second was never there.
        counts[1] = {};
        parts[1] = {ToTheEnd, ToTheEnd};
        together = false;
    } else if (counted.Second) {
        std::rethrow_exception(counted.Second);
    }
    const uint64_t textEnd = std::min(counts[0].End.TextEnd, counts[1].End.TextEnd);
    for (TRange& part : parts)
        part.End = std::min(part.End, textEnd);

    const uint64_t lines = counts[0].Lines + counts[1].Lines;
    // The line of a NUL byte that has more than NUL bytes after it; 0 when there is none. The
    // lines before it are still read, so that an earlier bad line is the one named.
    const uint64_t nulLine = counts[0].End.NulInText   ? counts[0].Lines + 1
                             : counts[1].End.NulInText ? lines + 1
                                                       : 0;
    if (lines == 0 && (nulLine == 0 || counts[0].End.NulAt == 0))
        throw EPropdumpError("File contains no data");
    TLoaded loaded;
    loaded.Version = version;
    if (hasHeader) {
        if (nulLine == 1)
            throw EPropdumpError(NulByteMessage, 1);
        if (headerVersion == 0)
            throw EPropdumpVersionUnknown("Unknown propdump format");
        loaded.Version = headerVersion;
    }
    const uint64_t headerLines = hasHeader ? 1 : 0;
    const uint64_t objectLines = lines - headerLines;

    // No object line is shorter than nine one-digit integers with their blanks. More lines than
    // the bytes could hold of those (a file of blank lines) mean a bad line: find the first one
    // without asking for room for every line.
    constexpr uint64_t ShortestObjectLine = 17;
    if (objectLines > (counts[0].Bytes + counts[1].Bytes) / ShortestObjectLine + 1) {
        TPropObject scratch;
        stop = false;
        ParseLines(source, TRange{0, textEnd}, {lines, 1, headerLines}, loaded.Version, stop,
                   [&](uint64_t) -> TPropObject& {
                       ResetFields(scratch);
                       return scratch;
                   });
        throw ChangedWhileRead();
    }

    std::vector<TPropObject>& objects = loaded.Objects;
    PrepareObjects(objects, static_cast<std::size_t>(objectLines), together);
    TPropObject* const firstSlots = objects.data();
    TPropObject* const secondSlots = firstSlots + (counts[0].Lines - headerLines);
    const TPartPlan plans[2] = {{counts[0].Lines, 1, headerLines},
                                {counts[1].Lines, counts[0].Lines + 1, 0}};
    stop = false;
    const TOutcomes parsed = RunSideBySide(
        together, stop,
        [&] {
            ParseLines(source, parts[0], plans[0], loaded.Version, stop,
                       [&](uint64_t i) -> TPropObject& { return firstSlots[i]; });
        },
        [&] {
            ParseLines(source, parts[1], plans[1], loaded.Version, stop,
                       [&](uint64_t i) -> TPropObject& { return secondSlots[i]; });
        });
    if (parsed.First)
        std::rethrow_exception(parsed.First);
    if (parsed.Second)
        std::rethrow_exception(parsed.Second);
    if (nulLine != 0)
        throw EPropdumpError(NulByteMessage, static_cast<int>(nulLine));
    return loaded;
}

// Appends the lines of objects [first, last) to buffer from used on, growing it as needed;
// returns the new used size.
std::size_t FormatLines(const TPropObject* first, const TPropObject* last, int version,
                        std::vector<char>& buffer, std::size_t used) {
    for (const TPropObject* o = first; o != last; ++o) {
        const std::size_t dataBytes = DataBytesToWrite(*o, version);
        const std::size_t need = MaxLineSize(*o, dataBytes) + 2;
        if (used + need > buffer.size())
            buffer.resize(std::max(2 * buffer.size(), used + need));
        char* end = PutLine(*o, version, dataBytes, buffer.data() + used);
        *end++ = '\r';
        *end++ = '\n';
        used = static_cast<std::size_t>(end - buffer.data());
    }
    return used;
}

// Formatting the numbers costs more than writing the bytes, so a large document is formatted
// in batches on two threads: a helper formats every second batch into a buffer of its own while
// this thread formats and emits the others. Bytes go to emit in file order, a batch at a time,
// and never more than two batches are held.
template <class F>
void FormatDocument(const std::vector<TPropObject>& objects, int version, F&& emit) {
    constexpr std::size_t Batch = 8192;
    const std::string header = "propdump version " + std::to_string(version) + "\r\n";
    std::vector<char> buffer(1024 * 1024);
    std::memcpy(buffer.data(), header.data(), header.size());
    const TPropObject* const all = objects.data();
    const std::size_t batches = (objects.size() + Batch - 1) / Batch;
    const auto batchBegin = [&](std::size_t k) {
        return all + std::min(k * Batch, objects.size());
    };

    struct TShared {
        std::mutex Lock;
        std::condition_variable Changed;
        std::size_t Ready = 0; // the batch in the helper's buffer, 0 while none
        bool Stop = false;
        std::exception_ptr Failure;
    } shared;
    std::vector<char> helperBuffer;
    std::size_t helperUsed = 0;
    std::jthread helper;
    if (batches >= 4)
        helper = TryToStartThread([&] {
            try {
                helperBuffer.resize(1024 * 1024);
                for (std::size_t k = 1; k < batches; k += 2) {
                    const std::size_t used =
                        FormatLines(batchBegin(k), batchBegin(k + 1), version, helperBuffer, 0);
                    std::unique_lock lock(shared.Lock);
                    helperUsed = used;
                    shared.Ready = k;
                    shared.Changed.notify_all();
                    shared.Changed.wait(lock, [&] { return shared.Ready == 0 || shared.Stop; });
                    if (shared.Stop)
                        return;
                }
            } catch (...) {
                const std::lock_guard lock(shared.Lock);
                shared.Failure = std::current_exception();
                shared.Changed.notify_all();
            }
        });
    // Whatever ends this function, the helper is told to stop before it is joined.
    struct TStopper {
        TShared& Shared;
        std::jthread& Helper;
        ~TStopper() {
            {
                const std::lock_guard lock(Shared.Lock);
                Shared.Stop = true;
            }
            Shared.Changed.notify_all();
            if (Helper.joinable())
                Helper.join();
        }
    } stopper{shared, helper};

    const std::size_t step = helper.joinable() ? 2 : 1;
    std::size_t used = header.size();
    for (std::size_t k = 0; k < batches; k += step) {
        used = FormatLines(batchBegin(k), batchBegin(k + 1), version, buffer, used);
        emit(buffer.data(), used);
        used = 0;
        if (step == 1 || k + 1 == batches)
            continue;
        std::unique_lock lock(shared.Lock);
        shared.Changed.wait(lock, [&] { return shared.Ready == k + 1 || shared.Failure; });
        if (shared.Failure)
            std::rethrow_exception(shared.Failure);
        lock.unlock();
        emit(helperBuffer.data(), helperUsed);
        lock.lock();
        shared.Ready = 0;
        shared.Changed.notify_all();
    }
    if (batches == 0)
        emit(buffer.data(), used);
}

// The set behind the two list fillers: a few thousand distinct keys asked about a million
// times, where a node-based set's division and pointer chase cost more than the hashing. Open
// addressing in a power-of-two table, the hash kept beside each key; insert-only.
template <class TKey, class THash, class TEqual> class TDistinctSet {
public:
    // True when Key was not in the set yet.
    bool Insert(TKey key) {
        if (2 * (Count + 1) > Slots.size())
            Grow();
        return Place(key, THash{}(key));
    }

private:
    struct TSlot {
        std::size_t Hash = 0;
        TKey Key{};
        bool Used = false;
    };

    bool Place(TKey key, std::size_t hash) {
        const std::size_t mask = Slots.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            TSlot& slot = Slots[i];
            if (!slot.Used) {
                slot = {hash, key, true};
                ++Count;
                return true;
            }
            if (slot.Hash == hash && TEqual{}(slot.Key, key))
                return false;
        }
    }

    void Grow() {
        std::vector<TSlot> old(std::max<std::size_t>(64, 2 * Slots.size()));
        old.swap(Slots);
        Count = 0;
        for (const TSlot& slot : old)
            if (slot.Used)
                Place(slot.Key, slot.Hash);
    }

    std::vector<TSlot> Slots;
    std::size_t Count = 0;
};

// Citizen numbers are often round or close together; mix them so the low bits differ.
struct TOwnerHash {
    std::size_t operator()(int32_t owner) const {
        const uint64_t h =
            static_cast<uint64_t>(static_cast<uint32_t>(owner)) * 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(h ^ (h >> 32));
    }
};

} // namespace

TPropObject& TPropdumpFile::Item(int Index) {
    if (Index < 0 || Index >= Count())
        throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
    return Objects[static_cast<std::size_t>(Index)];
}

const TPropObject& TPropdumpFile::Item(int Index) const {
    return const_cast<TPropdumpFile*>(this)->Item(Index);
}

void TPropdumpFile::LoadFromMemory(std::string_view Bytes, const std::string& Path, int Version) {
    TLoaded loaded = LoadDocument(TMemorySource(Bytes), Version);
    Objects = std::move(loaded.Objects);
    FileName = Path;
    this->Version = loaded.Version;
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version) {
    const FileSystem::TFile file = OpenFile(Path);
    if (!FileSystem::Rewind(file)) {
        // A pipe or the like can be read only once: take it whole.
        std::string bytes;
        auto buffer = std::make_unique<char[]>(ReadBlock);
        ReadBlocks(file, Path, buffer.get(), [&](std::string_view chunk) {
            bytes.append(chunk);
            return true;
        });
        LoadFromMemory(bytes, Path, Version);
        return;
    }
    const FileSystem::TFileIdentity status = FileSystem::IdentifyFile(file);
    TLoaded loaded = LoadDocument(TFileSource(file, Path, status.Size), Version);
    Objects = std::move(loaded.Objects);
    FileName = Path;
    this->Version = loaded.Version;
}

void TPropdumpFile::Save() {
    TSystemFileWriter writer;
    Save(writer);
}

namespace {

// What would not read back as written, or null. A line break inside a model name would split the
// object's line (the other two texts are escaped, the model name cannot be), and a NUL byte would
// make the file unreadable past it.
const char* UnsavableText(const TPropObject& o) {
    if (o.Model.find_first_of("\r\n") != std::string::npos)
        return "a line break in its model name";
    if (o.Model.find('\0') != std::string::npos)
        return "a NUL byte in its model name";
    if (o.Description.find('\0') != std::string::npos)
        return "a NUL byte in its description";
    if (o.Action.find('\0') != std::string::npos)
        return "a NUL byte in its action";
    return nullptr;
}

} // namespace

void TPropdumpFile::Save(TFileWriter& Writer) {
    if (!Objects.empty() && !IsKnownVersion(Version))
        throw EPropdumpError(VersionMessage(Version));
    for (std::size_t i = 0; i < Objects.size(); ++i) {
        if (const char* flaw = UnsavableText(Objects[i]))
            throw EPropdumpError("Object " + std::to_string(i + 1) + " has " + flaw +
                                 " and cannot be saved");
    }

    SaveFileAtomically(FileName, Writer,
                       [&](const TByteSink& sink) { FormatDocument(Objects, Version, sink); });
}

void TPropdumpFile::Clear() {
    std::vector<TPropObject>().swap(Objects);
    FileName.clear();
}

std::vector<std::string> TPropdumpFile::GetCitizenNumbers() const {
    std::vector<std::string> result;
    TDistinctSet<int32_t, TOwnerHash, std::equal_to<int32_t>> seen;
    const TPropObject* previous = nullptr;
    for (const TPropObject& o : Objects) {
        // Objects of one owner tend to come in runs; a run needs no hash look-up.
        if (previous && previous->Owner == o.Owner)
            continue;
        previous = &o;
        if (seen.Insert(o.Owner))
            result.push_back(std::to_string(o.Owner));
    }
    return result;
}

std::vector<std::string> TPropdumpFile::GetModelNames() const {
    std::vector<std::string> result;
    TDistinctSet<std::string_view, TCaseInsensitiveHash1252, TCaseInsensitiveEqual1252> seen;
    for (const TPropObject& o : Objects) {
        if (!o.Model.empty() && seen.Insert(o.Model))
            result.push_back(o.Model);
    }
    return result;
}

void TPropdumpFile::DeleteMarked() {
    Objects.erase(std::remove_if(Objects.begin(), Objects.end(),
                                 [](const TPropObject& o) { return o.MarkedForDeletion; }),
                  Objects.end());
}
