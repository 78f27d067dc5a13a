#include "model/CFunctions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

// The scanner follows its own rules rather than the C library's: whitespace is exactly backspace,
// line feed, carriage return and space (a TAB is an ordinary character), every directive but 'c'
// skips whitespace first, literals included, and a problem with the format or the input ends the
// scan quietly with the count so far. Only running out of destinations leaves as an exception.

namespace {

constexpr std::size_t NoWidth = std::numeric_limits<std::size_t>::max();

struct TCharSet {
    uint64_t Bits[4] = {0, 0, 0, 0};

    constexpr bool Has(uint8_t c) const { return (Bits[c >> 6] >> (c & 63)) & 1; }
    constexpr bool Empty() const { return (Bits[0] | Bits[1] | Bits[2] | Bits[3]) == 0; }
    constexpr bool Full() const { return (Bits[0] & Bits[1] & Bits[2] & Bits[3]) == ~uint64_t{0}; }
    constexpr void Put(uint8_t first, uint8_t last, bool member) {
        for (int c = first; c <= last; ++c) {
            const uint64_t bit = uint64_t{1} << (c & 63);
            Bits[c >> 6] = member ? (Bits[c >> 6] | bit) : (Bits[c >> 6] & ~bit);
        }
    }
    constexpr TCharSet With(char first, char last) const {
        TCharSet s = *this;
        s.Put(static_cast<uint8_t>(first), static_cast<uint8_t>(last), true);
        return s;
    }
    constexpr TCharSet With(std::string_view members) const {
        TCharSet s = *this;
        for (char c : members)
            s.Put(static_cast<uint8_t>(c), static_cast<uint8_t>(c), true);
        return s;
    }
};

constexpr bool IsWhitespace(char c) {
    return c == 8 || c == 10 || c == 13 || c == 32;
}

constexpr TCharSet AllBytes = TCharSet{}.With('\0', '\xFF');
constexpr TCharSet NonWhitespace = [] {
    TCharSet s = AllBytes;
    for (char c : {'\x08', '\x0A', '\x0D', '\x20'})
        s.Put(static_cast<uint8_t>(c), static_cast<uint8_t>(c), false);
    return s;
}();
constexpr TCharSet SignedDigits = TCharSet{}.With('0', '9').With("-");
constexpr TCharSet Digits = TCharSet{}.With('0', '9');
constexpr TCharSet FloatChars = TCharSet{}.With('0', '9').With("+-.Ee");
constexpr TCharSet HexChars = TCharSet{}.With('0', '9').With('A', 'F').With('a', 'f').With("$-Xx");
constexpr TCharSet PointerChars = TCharSet{}.With('0', '9').With("$-Xx");

enum class TKind {
    Whitespace,
    Literal,
    Chars,   // c
    Int32,   // d
    Int16,   // h
    Int64,   // i
    UInt32,  // u
    Float,   // e f g
    Money,   // m
    Hex,     // x
    Pointer, // p
    String,  // s and bracketed sets
};

struct TDirective {
    TKind Kind = TKind::Literal;
    char Literal = 0;
    std::size_t Width = NoWidth;
    bool Assigns = false;
    // Null (also for an empty bracketed set) means the kind's default: every byte for 'c', every
    // non-whitespace byte otherwise.
    const TCharSet* Set = nullptr;
};

[[noreturn]] void BadFormat() {
    throw ESscanfError("Bad format string");
}

// Cuts the next token off Format at Pos. A whitespace run is one token, any other plain character
// is one, and a directive runs from '%' to its conversion letter or to the ']' closing its set
// (plus a 'c' or 'C' directly after it).
std::string_view NextToken(std::string_view Format, std::size_t& Pos) {
    const std::size_t start = Pos;
    const char first = Format[Pos++];
    if (first != '%') {
        if (IsWhitespace(first))
            while (Pos < Format.size() && IsWhitespace(Format[Pos]))
                ++Pos;
        return Format.substr(start, Pos - start);
    }
    for (;;) {
        if (Pos >= Format.size())
            BadFormat();
        const char c = Format[Pos++];
        if (c == '*' || (c >= '0' && c <= '9'))
            continue;
        if (c != '[')
            break;
        for (;;) {
            if (Pos >= Format.size())
                BadFormat();
            const char s = Format[Pos++];
            if (s == ']')
                break;
            // A backslash takes the next character with it, so "\]" does not close the set.
            if (s == '\\') {
                if (Pos >= Format.size())
                    BadFormat();
                ++Pos;
            }
        }
        if (Pos < Format.size() && (Format[Pos] == 'c' || Format[Pos] == 'C'))
            ++Pos;
        break;
    }
    return Format.substr(start, Pos - start);
}

TCharSet ParseSet(std::string_view Text) {
    auto bad = [Text] { return std::runtime_error("BAD SET : " + std::string(Text)); };
    const bool complement = !Text.empty() && Text[0] == '^';
    TCharSet set = complement ? AllBytes : TCharSet{};
    std::size_t i = complement ? 1 : 0;
    auto member = [&]() -> uint8_t {
        if (Text[i] == '\\' && ++i >= Text.size())
            throw bad();
        return static_cast<uint8_t>(Text[i++]);
    };
    while (i < Text.size()) {
        const uint8_t first = member();
        uint8_t last = first;
        // A '-' at the very end is a member of its own, not a range.
        if (i + 1 < Text.size() && Text[i] == '-') {
            ++i;
            last = member();
            if (last < first)
                throw bad();
        }
        set.Put(first, last, !complement);
    }
    return set;
}

// Appends the digits of Text to Width; a width too large for size_t simply means "no limit".
void AddWidthDigits(std::string_view Text, std::size_t& Width) {
    for (char c : Text) {
        if (c < '0' || c > '9')
            BadFormat();
        const std::size_t digit = static_cast<std::size_t>(c - '0');
        Width = Width > (NoWidth - digit) / 10 ? NoWidth : Width * 10 + digit;
    }
}

// A bracketed set is built into Given, which the directive then points at.
TDirective Interpret(std::string_view Token, TCharSet& Given) {
    TDirective d;
    if (Token[0] != '%') {
        if (IsWhitespace(Token[0])) {
            d.Kind = TKind::Whitespace;
            return d;
        }
        d.Kind = TKind::Literal;
        d.Literal = Token[0];
        d.Width = 1;
        return d;
    }

    std::string_view body = Token.substr(1);
    char conversion = 's';
    if (body.back() != ']') {
        conversion = body.back();
        body.remove_suffix(1);
    }

    // The tokenizer ends a directive at its set's closing bracket or the 'c' after it, so only
    // the star and width part can stand before the set and nothing after it.
    std::string_view prefix = body;
    const std::size_t open = body.find('[');
    if (open != std::string_view::npos) {
        std::size_t close = open + 1;
        while (close < body.size() && body[close] != ']')
            close += body[close] == '\\' ? 2 : 1;
        if (close >= body.size())
            BadFormat();
        Given = ParseSet(body.substr(open + 1, close - open - 1));
        d.Set = Given.Empty() ? nullptr : &Given;
        prefix = body.substr(0, open);
    }

    const std::size_t star = prefix.find('*');
    d.Assigns = star == std::string_view::npos;
    const bool hasWidth = !prefix.empty() && prefix != "*";
    if (hasWidth) {
        d.Width = 0;
        AddWidthDigits(prefix.substr(0, star), d.Width);
        if (!d.Assigns)
            AddWidthDigits(prefix.substr(star + 1), d.Width);
    }

    switch (conversion) {
    case 'c':
        d.Kind = TKind::Chars;
        if (!hasWidth)
            d.Width = 1;
        break;
    case 's':
        d.Kind = TKind::String;
        break;
    case 'd':
        d.Kind = TKind::Int32;
        d.Set = &SignedDigits;
        break;
    case 'h':
        d.Kind = TKind::Int16;
        d.Set = &SignedDigits;
        break;
    case 'i':
        d.Kind = TKind::Int64;
        d.Set = &SignedDigits;
        break;
    case 'u':
        d.Kind = TKind::UInt32;
        d.Set = &Digits;
        break;
    case 'e':
    case 'f':
    case 'g':
        d.Kind = TKind::Float;
        d.Set = &FloatChars;
        break;
    case 'm':
        d.Kind = TKind::Money;
        d.Set = &SignedDigits;
        break;
    case 'x':
        d.Kind = TKind::Hex;
        d.Set = &HexChars;
        break;
    case 'p':
        d.Kind = TKind::Pointer;
        d.Set = &PointerChars;
        break;
    case '%':
        // "%%" matches one '%' in the input after skipping whitespace, as in the C library; it
        // takes no width and no star.
        if (hasWidth || !d.Assigns)
            BadFormat();
        d.Kind = TKind::Literal;
        d.Literal = '%';
        d.Width = 1;
        d.Assigns = false;
        break;
    default:
        // 'C' after a set lands here too: upper-case letters are not conversions.
        BadFormat();
    }
    return d;
}

std::optional<int64_t> ParseSigned(std::string_view Text, int64_t Min, int64_t Max) {
    std::size_t i = 0;
    const bool negative = !Text.empty() && Text[0] == '-';
    if (negative)
        ++i;
    if (i == Text.size())
        return std::nullopt;
    const uint64_t limit =
        negative ? static_cast<uint64_t>(-(Min + 1)) + 1 : static_cast<uint64_t>(Max);
    uint64_t magnitude = 0;
    for (; i < Text.size(); ++i) {
        if (Text[i] < '0' || Text[i] > '9')
            return std::nullopt;
        const uint64_t digit = static_cast<uint64_t>(Text[i] - '0');
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

std::optional<uint32_t> ParseHexDigits(std::string_view Text) {
    if (Text.empty())
        return std::nullopt;
    uint64_t value = 0;
    for (char c : Text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return std::nullopt;
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

bool StartsWithHexPrefix(std::string_view Text) {
    return Text.size() >= 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
}

std::optional<uint32_t> ParseHex(std::string_view Text) {
    if (StartsWithHexPrefix(Text))
        Text.remove_prefix(2);
    if (!Text.empty() && Text[0] == '$')
        Text.remove_prefix(1);
    return ParseHexDigits(Text);
}

// Decimal within the signed 32-bit range, or a '$', "0x" or "x" marked hexadecimal bit pattern.
std::optional<int32_t> ParsePointer(std::string_view Text) {
    std::size_t prefix = 0;
    if (StartsWithHexPrefix(Text))
        prefix = 2;
    else if (!Text.empty() && (Text[0] == '$' || Text[0] == 'x' || Text[0] == 'X'))
        prefix = 1;
    if (prefix == 0) {
        const std::optional<int64_t> value = ParseSigned(Text, INT32_MIN, INT32_MAX);
        return value ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
    }
    const std::optional<uint32_t> bits = ParseHexDigits(Text.substr(prefix));
    return bits ? std::optional<int32_t>(static_cast<int32_t>(*bits)) : std::nullopt;
}

// Sign, digits with at most one '.', and an optional exponent whose marker may stand without
// digits ("6.789E" is 6.789: compass letters E/e follow the numbers of position texts). The point
// is always '.', whatever the process locale says: std::from_chars never looks at the locale.
std::optional<long double> ParseFloat(std::string_view Text) {
    const std::size_t n = Text.size();
    std::size_t i = 0;
    if (i < n && (Text[i] == '+' || Text[i] == '-'))
        ++i;
    // Magnitude: the decimal position of the leading significant digit, to tell an overflow from
    // an underflow when the value does not fit.
    int64_t magnitude = 0;
    bool significant = false;
    std::size_t digits = 0;
    for (; i < n && Text[i] >= '0' && Text[i] <= '9'; ++i, ++digits) {
        significant = significant || Text[i] != '0';
        magnitude += significant ? 1 : 0;
    }
    if (i < n && Text[i] == '.')
        for (++i; i < n && Text[i] >= '0' && Text[i] <= '9'; ++i, ++digits) {
            significant = significant || Text[i] != '0';
            magnitude -= significant ? 0 : 1;
        }
    if (digits == 0)
        return std::nullopt;
    const std::size_t mantissaEnd = i;
    bool exponentDigits = false;
    int64_t exponent = 0;
    if (i < n && (Text[i] == 'E' || Text[i] == 'e')) {
        ++i;
        const bool negative = i < n && Text[i] == '-';
        if (i < n && (Text[i] == '+' || Text[i] == '-'))
            ++i;
        for (; i < n && Text[i] >= '0' && Text[i] <= '9'; ++i) {
            exponentDigits = true;
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (Text[i] - '0');
        }
        exponent = negative ? -exponent : exponent;
    }
    if (i != n)
        return std::nullopt;

    const std::size_t first = Text[0] == '+' ? 1 : 0;
    const std::string_view number = Text.substr(first, (exponentDigits ? n : mantissaEnd) - first);
    long double value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc() && end == number.data() + number.size())
        return value;
    if (error == std::errc::result_out_of_range && magnitude + exponent <= 0)
        return Text[0] == '-' ? -0.0L : 0.0L;
    return std::nullopt;
}

struct TValue {
    enum class TType { Integer, Float, Text } Type = TType::Integer;
    int64_t Integer = 0;
    long double Float = 0;
    std::string_view Text;
};

std::optional<TValue> Convert(TKind Kind, std::string_view Text) {
    TValue v;
    auto integer = [&v](auto value) -> std::optional<TValue> {
        if (!value)
            return std::nullopt;
        v.Integer = static_cast<int64_t>(*value);
        return v;
    };
    switch (Kind) {
    case TKind::Int32:
        return integer(ParseSigned(Text, INT32_MIN, INT32_MAX));
    case TKind::Int16: {
        const std::optional<int64_t> value = ParseSigned(Text, INT32_MIN, INT32_MAX);
        return integer(value ? std::optional<int16_t>(static_cast<int16_t>(*value)) : std::nullopt);
    }
    case TKind::Int64:
        return integer(ParseSigned(Text, INT64_MIN, INT64_MAX));
    case TKind::UInt32: {
        const std::optional<int64_t> value = ParseSigned(Text, INT64_MIN, INT64_MAX);
        return integer(value ? std::optional<uint32_t>(static_cast<uint32_t>(*value))
                             : std::nullopt);
    }
    case TKind::Money: {
        // The run never holds a point (the set is '-' and digits), so scaling to four decimal
        // places is exact and no rounding is ever due.
        const std::optional<int64_t> value = ParseSigned(Text, INT64_MIN, INT64_MAX);
        if (!value || *value > INT64_MAX / 10000 || *value < INT64_MIN / 10000)
            return std::nullopt;
        return integer(std::optional<int64_t>(*value * 10000));
    }
    case TKind::Hex:
        return integer(ParseHex(Text));
    case TKind::Pointer:
        return integer(ParsePointer(Text));
    case TKind::Float: {
        const std::optional<long double> value = ParseFloat(Text);
        if (!value)
            return std::nullopt;
        v.Type = TValue::TType::Float;
        v.Float = *value;
        return v;
    }
    default:
        v.Type = TValue::TType::Text;
        v.Text = Text;
        return v;
    }
}

// Integers narrow modulo the destination's width, as 'h' and 'u' do by definition; a float is
// cut toward zero and must fit, since there is no sensible bit pattern for it otherwise.
template <class T> bool StoreNumber(void* Ptr, const TValue& Value) {
    if (Value.Type == TValue::TType::Text)
        return false;
    T result;
    if (Value.Type == TValue::TType::Integer) {
        result = static_cast<T>(Value.Integer);
    } else {
        const long double whole = std::trunc(Value.Float);
        const long double lower = static_cast<long double>(std::numeric_limits<T>::min());
        const long double upper =
            static_cast<long double>(std::numeric_limits<T>::max() / 2 + 1) * 2;
        if (!(whole >= lower && whole < upper))
            return false;
        result = static_cast<T>(whole);
    }
    *static_cast<T*>(Ptr) = result;
    return true;
}

bool Store(const TScanDest& Dest, const TValue& Value, const TDirective& Directive) {
    if (Dest.Ptr == nullptr)
        return false;
    using K = TScanDest::TKind;
    const bool text = Value.Type == TValue::TType::Text;
    switch (Dest.Kind) {
    case K::Int16:
        return StoreNumber<int16_t>(Dest.Ptr, Value);
    case K::Int32:
        return StoreNumber<int32_t>(Dest.Ptr, Value);
    case K::UInt32:
        return StoreNumber<uint32_t>(Dest.Ptr, Value);
    case K::Int64:
        return StoreNumber<int64_t>(Dest.Ptr, Value);
    case K::Extended:
        if (text)
            return false;
        *static_cast<long double*>(Dest.Ptr) = Value.Type == TValue::TType::Float
                                                   ? Value.Float
                                                   : static_cast<long double>(Value.Integer);
        return true;
    case K::String:
        if (!text)
            return false;
        static_cast<std::string*>(Dest.Ptr)->assign(Value.Text);
        return true;
    case K::ShortString:
        if (!text)
            return false;
        static_cast<TShortString*>(Dest.Ptr)->Value.assign(Value.Text.substr(0, 255));
        return true;
    case K::Chars: {
        // Only 'c' knows how many bytes the caller expects; a string run has no such size.
        if (Directive.Kind != TKind::Chars)
            return false;
        char* buffer = static_cast<char*>(Dest.Ptr);
        const std::size_t copied = std::min(Value.Text.size(), Dest.Size);
        std::memcpy(buffer, Value.Text.data(), copied);
        const std::size_t filled = std::min(Directive.Width, Dest.Size);
        if (filled > copied)
            std::memset(buffer + copied, 0, filled - copied);
        return true;
    }
    }
    return false;
}

} // namespace

int Sscanf(std::string_view Input, std::string_view Format,
           std::span<const TScanDest> Destinations) {
    int count = 0;
    std::size_t used = 0;
    std::size_t in = 0;
    std::size_t pos = 0;
    TCharSet given;
    while (pos < Format.size()) {
        TDirective d;
        try {
            d = Interpret(NextToken(Format, pos), given);
        } catch (const std::runtime_error&) {
            // "Bad format string" and "BAD SET : ..." end the scan; they never reach the caller.
            return count;
        }

        if (d.Kind != TKind::Chars)
            while (in < Input.size() && IsWhitespace(Input[in]))
                ++in;
        // Once the input is used up no later directive can assign anything.
        if (in >= Input.size())
            return count;
        if (d.Kind == TKind::Whitespace)
            continue;

        const TCharSet& set = d.Set ? *d.Set : d.Kind == TKind::Chars ? AllBytes : NonWhitespace;
        const std::size_t limit = std::min(d.Width, Input.size() - in);
        const std::size_t start = in;
        // "%[^]" takes the whole text part of every object line; no need to test each byte.
        if (set.Full())
            in += limit;
        while (in - start < limit && set.Has(static_cast<uint8_t>(Input[in])))
            ++in;
        const std::string_view text = Input.substr(start, in - start);

        if (d.Kind == TKind::Literal) {
            if (text.size() != 1 || text[0] != d.Literal)
                return count;
            continue;
        }
        const std::optional<TValue> value = Convert(d.Kind, text);
        if (!value)
            return count;
        if (!d.Assigns)
            continue;
        if (used >= Destinations.size())
            throw ESscanfError("Insufficent pointers for format specifiers!");
        if (!Store(Destinations[used++], *value, d))
            return count;
        ++count;
    }
    return count;
}
