// One object line of version 2, 3 or 4 (chosen by the first byte). A line that parses must
// format to a line that parses to the same fields, and the hand-written reader must agree with
// the scan routine reading the same line with the classic formats, apart from the two things the
// reader deliberately does differently: it takes only one blank before the text part (so a model
// that begins with a blank survives), and it reads a line without any text as an object with
// empty texts (that is how such an object is written).

#include "FuzzCheck.h"
#include "model/CFunctions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool IsScanBlank(char c) {
    return c == 8 || c == 10 || c == 13 || c == 32;
}

// The classic substring: a 1-based start below 1 counts as 1, a negative count as 0, and a
// count running past the end stops there.
std::string Copy(std::string_view s, int64_t index, int64_t count) {
    if (index < 1)
        index = 1;
    if (count <= 0 || index > static_cast<int64_t>(s.size()))
        return {};
    const auto start = static_cast<std::size_t>(index - 1);
    return std::string(s.substr(start, static_cast<std::size_t>(count)));
}

std::string Unescaped(std::string s) {
    for (char& c : s) {
        if (c == static_cast<char>(128))
            c = '\n';
        else if (c == static_cast<char>(127))
            c = '\r';
    }
    return s;
}

uint8_t HexValue(char c) {
    if (c >= '0' && c <= '9')
        return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint8_t>(c - 'a' + 10);
    return 255;
}

struct TExpected {
    bool Parses = false;
    TPropObject Object;
};

// What the line should give, worked out with Sscanf and the cutting rules.
TExpected Reference(int version, std::string_view line) {
    static const char* const Formats[] = {
        "%d %d %d %d %d %d %d %d %d %[^]",
        "%d %d %d %d %d %d %d %d %d %d %d %[^]",
        "%d %d %d %d %d %d %d %d %d %d %d %d %d %[^]",
    };
    const int integers = version == 2 ? 9 : version == 3 ? 11 : 13;
    int32_t v[13] = {};
    std::string text;
    std::vector<TScanDest> destinations;
    for (int i = 0; i < integers; ++i)
        destinations.emplace_back(&v[i]);
    destinations.emplace_back(&text);
    const int count = Sscanf(line, Formats[version - 2], destinations);
    if (count < integers)
        return {};

    TExpected e;
    TPropObject& o = e.Object;
    o.Owner = v[0];
    o.Timestamp = v[1];
    o.X = v[2];
    o.Y = v[3];
    o.Z = v[4];
    o.Yaw = v[5];
    int k = 6;
    if (version >= 3) {
        o.Tilt = v[k++];
        o.Roll = v[k++];
    }
    if (version == 4)
        o.ObjectType = v[k++];
    const int64_t lengths[3] = {v[k], v[k + 1], v[k + 2]};
    k += 3;
    if (version == 4)
        o.DataLength = v[k];

    // The scan skipped every blank before the text; the reader keeps all but the first, so
    // blanks after it are text even when nothing else follows.
    const std::size_t textStart = line.size() - text.size();
    std::size_t blanks = 0;
    while (blanks < textStart && IsScanBlank(line[textStart - 1 - blanks]))
        ++blanks;
    if (blanks > 1)
        text.insert(0, line.substr(textStart - blanks + 1, blanks - 1));
    if (text.empty()) {
        // Nothing after the numbers: only an object without any text reads that way.
        e.Parses = lengths[0] == 0 && lengths[1] == 0 && lengths[2] == 0 && o.DataLength == 0;
        return e;
    }

    o.Model = Copy(text, 1, lengths[0]);
    o.Description = Unescaped(Copy(text, lengths[0] + 1, lengths[1]));
    o.Action = Unescaped(Copy(text, lengths[0] + lengths[1] + 1, lengths[2]));
    if (o.DataLength != 0) {
        const std::string hex =
            Copy(text, lengths[0] + lengths[1] + lengths[2] + 1, 2 * int64_t{o.DataLength});
        // Data that is not all there is refused rather than read from beyond the line.
        if (o.DataLength < 0 || hex.size() != 2 * static_cast<std::size_t>(o.DataLength))
            return {};
        for (std::size_t i = 0; i < hex.size(); i += 2)
            o.Data.push_back(
                static_cast<uint8_t>((HexValue(hex[i]) * 16) % 256 | HexValue(hex[i + 1])));
    }
    e.Parses = true;
    return e;
}

bool Parse(TPropObject& o, int version, std::string_view line, unsigned parts = lpAllParts) {
    try {
        o.ParseLine(version, line, parts);
        return true;
    } catch (const EPropdumpError& e) {
        FUZZ_CHECK(std::string_view(e.what()) == "Line format not understood");
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const int version = 2 + data[0] % 3;
    const std::string_view line(reinterpret_cast<const char*>(data) + 1, size - 1);

    TPropObject o;
    o.MarkedForDeletion = true;
    const bool parsed = Parse(o, version, line);
    FUZZ_CHECK(o.MarkedForDeletion);
    o.MarkedForDeletion = false;

    const TExpected expected = Reference(version, line);
    FUZZ_CHECK(parsed == expected.Parses);

    // Taking only some texts checks the line just the same and reads the same numbers.
    const unsigned parts = data[0] / 3 % 16;
    TPropObject some;
    FUZZ_CHECK(Parse(some, version, line, parts) == parsed);
    if (!parsed)
        return 0;
    FUZZ_CHECK(some.Owner == o.Owner && some.Timestamp == o.Timestamp && some.X == o.X &&
               some.Y == o.Y && some.Z == o.Z && some.Yaw == o.Yaw && some.Tilt == o.Tilt &&
               some.Roll == o.Roll && some.ObjectType == o.ObjectType &&
               some.DataLength == o.DataLength);
    FUZZ_CHECK(some.Model == ((parts & lpModel) ? o.Model : ""));
    FUZZ_CHECK(some.Description == ((parts & lpDescription) ? o.Description : ""));
    FUZZ_CHECK(some.Action == ((parts & lpAction) ? o.Action : ""));
    FUZZ_CHECK(some.Data == ((parts & lpData) ? o.Data : TCharArray()));
    FUZZ_CHECK(SameFields(o, expected.Object));
    FUZZ_CHECK(o.Data.size() == static_cast<std::size_t>(o.DataLength));
    if (version < 3)
        FUZZ_CHECK(o.Tilt == 0 && o.Roll == 0);
    if (version < 4)
        FUZZ_CHECK(o.ObjectType == 0 && o.DataLength == 0);

    const std::string written = o.FormatLine(version);
    TPropObject back;
    FUZZ_CHECK(Parse(back, version, written));
    FUZZ_CHECK(SameFields(o, back));
    FUZZ_CHECK(back.FormatLine(version) == written);
    return 0;
}
