// Arbitrary bytes as a whole file (the first byte picks the version the caller passes). A load
// that fails must leave the document exactly as it was; a load that succeeds must hold what a
// plain line-by-line reading of the same bytes gives, and must save to bytes that load back to
// the same document.

#include "FuzzCheck.h"
#include "model/CFunctions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

const TPropdumpFile& KnownDocument() {
    static const TPropdumpFile document = [] {
        TPropdumpFile d;
        d.LoadFromMemory(
            "propdump version 4\r\n"
            "104 1000000000 -6789 1500 12345 900 0 450 2 9 7 0 3 box01.rwxred box01AB00\r\n"
            "5 6 7 8 9 10 11 12 0 4 3 1 0 treeab\x80\x7F\r\n",
            "/known/file", 0);
        d.Objects[1].MarkedForDeletion = true;
        return d;
    }();
    return document;
}

// Lines end at CR LF, LF or CR; a break at the very end adds no line; a NUL ends the text, and
// the file cannot be read when anything but NUL bytes follows it (false).
bool SplitLines(std::string_view bytes, std::vector<std::string_view>& lines) {
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
        if (bytes.find_first_not_of('\0', nul) != std::string_view::npos)
            return false;
        bytes = bytes.substr(0, nul);
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.push_back(bytes.substr(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.push_back(bytes.substr(start));
    return true;
}

// The document the bytes should give, or false when they should not load.
bool Reference(std::string_view bytes, int version, std::vector<TPropObject>& objects,
               int& finalVersion) {
    std::vector<std::string_view> lines;
    if (!SplitLines(bytes, lines) || lines.empty())
        return false;
    std::size_t first = 0;
    if (version == 0) {
        int32_t named = 0;
        if (Sscanf(lines[0], "propdump version %d", {&named}) != 1 || named < 2 || named > 4)
            return false;
        version = named;
        first = 1;
    }
    finalVersion = version;
    for (std::size_t i = first; i < lines.size(); ++i) {
        try {
            objects.emplace_back().ParseLine(version, lines[i]);
        } catch (const EPropdumpError&) {
            return false;
        }
    }
    return true;
}

std::string SavedBytes(const TPropdumpFile& document) {
    std::string bytes = "propdump version " + std::to_string(document.Version) + "\r\n";
    for (const TPropObject& o : document.Objects) {
        o.AppendLine(document.Version, bytes);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    static const int Versions[8] = {0, 0, 0, 0, 2, 3, 4, 5};
    const int version = Versions[data[0] % 8];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<TPropObject> expected;
    int expectedVersion = 0;
    const bool loads = Reference(bytes, version, expected, expectedVersion);

    TPropdumpFile document = KnownDocument();
    try {
        document.LoadFromMemory(bytes, "/new/file", version);
    } catch (const EPropdumpError&) {
        FUZZ_CHECK(!loads);
        FUZZ_CHECK(SameDocument(document, KnownDocument()));
        return 0;
    } catch (const EPropdumpVersionUnknown&) {
        FUZZ_CHECK(!loads && version == 0);
        FUZZ_CHECK(SameDocument(document, KnownDocument()));
        return 0;
    }
    FUZZ_CHECK(loads);
    FUZZ_CHECK(document.FileName == "/new/file");
    FUZZ_CHECK(document.Version == expectedVersion);
    FUZZ_CHECK(document.Objects.size() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        FUZZ_CHECK(SameFields(document.Objects[i], expected[i]));

    TPropdumpFile reloaded;
    reloaded.LoadFromMemory(SavedBytes(document), "/new/file", 0);
    FUZZ_CHECK(SameDocument(reloaded, document));
    return 0;
}
