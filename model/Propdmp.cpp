#include "model/Propdmp.h"

#include "model/Base16.h"
#include "model/CFunctions.h"
#include "model/CodePage.h"
#include "model/FileIo.h"
#include "model/LineSplitter.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <functional>
#include <memory>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

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

// One integer item: blanks, then the longest run of '-' and digits, which must be a single
// 32-bit signed number. A run such as "1-2" or "--5" is refused as a whole, never split.
TScanResult ScanInt32(const char* first, const char* last, int32_t& value) {
    const char* p = SkipBlanks(first, last);
    if (p == last)
        return {p, TScanError::Missing};
    const bool negative = *p == '-';
    if (negative)
        ++p;
    const char* const digits = p;
    uint64_t v = 0;
    // A line holds a dozen integers, so reading them costs more than anything else: where the
    // line has room, the first eight digits are taken with one load and three multiplications
    // instead of a multiplication per digit.
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

void AssignUnescaped(std::string& target, std::string_view source) {
    target.resize(source.size());
    char* out = target.data();
    for (const char c : source)
        *out++ = UnescapeTable[static_cast<unsigned char>(c)];
}

// Reads Line into an object whose fields are all still empty. Writes each integer as soon as it
// is read, so after a failure the fields hold what was taken before it. Only the texts and data
// named in parts are copied out, but the whole line is checked either way.
TParseError ParseFields(TPropObject& o, int version, std::string_view line,
                        unsigned parts = lpAllParts) {
    int32_t lengths[3] = {0, 0, 0};
    int32_t* items[13];
    int count = 0;
    for (int32_t* p : {&o.Owner, &o.Timestamp, &o.X, &o.Y, &o.Z, &o.Yaw})
        items[count++] = p;
    switch (version) {
    case 2:
        break;
    case 3:
        items[count++] = &o.Tilt;
        items[count++] = &o.Roll;
        break;
    case 4:
        items[count++] = &o.Tilt;
        items[count++] = &o.Roll;
        items[count++] = &o.ObjectType;
        break;
    default:
        return TParseError::Version;
    }
    for (int32_t& length : lengths)
        items[count++] = &length;
    if (version == 4)
        items[count++] = &o.DataLength;

    const char* p = line.data();
    const char* const last = p + line.size();
    for (int i = 0; i < count; ++i) {
        const TScanResult r = ScanInt32(p, last, *items[i]);
        if (r.Ec != TScanError::None)
            return TParseError::Format;
        p = r.Ptr;
    }

    // An object without any text is written as its numbers and one blank; take it back as such.
    if (lengths[0] == 0 && lengths[1] == 0 && lengths[2] == 0 && o.DataLength == 0 &&
        SkipBlanks(p, last) == last)
        return TParseError::None;

    // Only the one separator goes: further blanks belong to the text, so a model that begins
    // with a blank is read back as it was written.
    if (p != last && IsBlank(*p))
        ++p;
    const std::string_view text(p, static_cast<std::size_t>(last - p));
    if (text.empty())
        return TParseError::Format;

    const int64_t modelEnd = lengths[0];
    const int64_t descriptionEnd = modelEnd + lengths[1];
    const int64_t actionEnd = descriptionEnd + lengths[2];
    if (version == 4 && o.DataLength != 0) {
        // Refused rather than guessed at: data that is not all there is never read from beyond
        // the line.
        const int64_t dataStart = std::max<int64_t>(actionEnd, 0);
        if (o.DataLength < 0 ||
            static_cast<int64_t>(text.size()) - dataStart < 2 * static_cast<int64_t>(o.DataLength))
            return TParseError::Format;
        if (parts & lpData)
            DecodeData(o, text.data() + dataStart, o.DataLength);
    }
    if (parts & lpModel)
        o.Model.assign(Cut(text, 0, lengths[0]));
    if (parts & lpDescription)
        AssignUnescaped(o.Description, Cut(text, modelEnd, lengths[1]));
    if (parts & lpAction)
        AssignUnescaped(o.Action, Cut(text, descriptionEnd, lengths[2]));
    return TParseError::None;
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

namespace {

int ReadHeader(std::string_view line) {
    int32_t version = 0;
    if (Sscanf(line, "propdump version %d", {&version}) != 1 || !IsKnownVersion(version))
        throw EPropdumpVersionUnknown("Unknown propdump format");
    return version;
}

struct TLoaded {
    std::vector<TPropObject> Objects;
    int Version = 0;
};

// Reads the document in two walks over the bytes: the first counts the lines so that the object
// list is allocated exactly once, the second parses. forEachChunk must hand over the same bytes
// both times.
template <class TChunks> TLoaded LoadDocument(TChunks&& forEachChunk, int version) {
    std::size_t lines = 0;
    std::size_t bytes = 0;
    ForEachLine(
        [&](auto&& onChunk) {
            forEachChunk([&](std::string_view chunk) {
                bytes += chunk.size();
                return onChunk(chunk);
            });
        },
        [&](std::string_view) { ++lines; });
    if (lines == 0)
        throw EPropdumpError("File contains no data");

    TLoaded loaded;
    loaded.Version = version;
    const bool hasHeader = version == 0;
    // No object line is shorter than nine one-digit integers with their blanks, so a file of
    // blank lines cannot make the list ask for far more room than the file could ever fill.
    constexpr std::size_t ShortestObjectLine = 17;
    const std::size_t objectLines = hasHeader ? lines - 1 : lines;
    loaded.Objects.reserve(std::min(objectLines, bytes / ShortestObjectLine + 1));
    std::size_t lineNumber = 0;
    const auto changedWhileRead = [] {
        return EPropdumpError("The file changed while it was being read");
    };
    ForEachLine(forEachChunk, [&](std::string_view line) {
        if (++lineNumber > lines)
            throw changedWhileRead();
        if (hasHeader && lineNumber == 1) {
            loaded.Version = ReadHeader(line);
            return;
        }
        TPropObject& o = loaded.Objects.emplace_back();
        switch (ParseFields(o, loaded.Version, line)) {
        case TParseError::None:
            return;
        case TParseError::Version:
            throw EPropdumpError(VersionMessage(loaded.Version), static_cast<int>(lineNumber));
        case TParseError::Format:
            throw EPropdumpError(LineFormatMessage, static_cast<int>(lineNumber));
        }
    });
    // Another program may have cut the file short between the two walks; what is left must not
    // pass for the whole document.
    if (lineNumber != lines)
        throw changedWhileRead();
    return loaded;
}

// Formats the whole document in chunks and hands each full chunk to emit.
template <class F>
void FormatDocument(const std::vector<TPropObject>& objects, int version, F&& emit) {
    constexpr std::size_t Chunk = 1024 * 1024;
    std::vector<char> buffer(Chunk);
    const std::string header = "propdump version " + std::to_string(version) + "\r\n";
    std::memcpy(buffer.data(), header.data(), header.size());
    std::size_t used = header.size();
    for (const TPropObject& o : objects) {
        const std::size_t dataBytes = DataBytesToWrite(o, version);
        const std::size_t need = MaxLineSize(o, dataBytes) + 2;
        if (used + need > buffer.size()) {
            emit(buffer.data(), used);
            used = 0;
            if (need > buffer.size())
                buffer.resize(need);
        }
        char* end = PutLine(o, version, dataBytes, buffer.data() + used);
        *end++ = '\r';
        *end++ = '\n';
        used = static_cast<std::size_t>(end - buffer.data());
    }
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
    TLoaded loaded = LoadDocument(
        [Bytes](auto&& onChunk) {
            if (!Bytes.empty())
                onChunk(Bytes);
        },
        Version);
    Objects = std::move(loaded.Objects);
    FileName = Path;
    this->Version = loaded.Version;
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version) {
    TFd fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
        ThrowFileError(errno, "Cannot open file \"" + Path + "\"");
    if (::lseek(fd.Get(), 0, SEEK_SET) != 0) {
        // A pipe or the like can be read only once: take it whole.
        std::string bytes;
        auto buffer = std::make_unique<char[]>(ReadBlock);
        ReadBlocks(fd.Get(), Path, buffer.get(), [&](std::string_view chunk) {
            bytes.append(chunk);
            return true;
        });
        LoadFromMemory(bytes, Path, Version);
        return;
    }
    auto buffer = std::make_unique<char[]>(ReadBlock);
    TLoaded loaded = LoadDocument(
        [&](auto&& onChunk) {
            if (::lseek(fd.Get(), 0, SEEK_SET) != 0)
                ThrowFileError(errno, "Cannot read file \"" + Path + "\"");
            ReadBlocks(fd.Get(), Path, buffer.get(), onChunk);
        },
        Version);
    Objects = std::move(loaded.Objects);
    FileName = Path;
    this->Version = loaded.Version;
}

void TPropdumpFile::Save() {
    TPosixFileWriter writer;
    Save(writer);
}

namespace {

// What would not read back as written, or null. A line break inside a model name would split the
// object's line (the other two texts are escaped, the model name cannot be), and the reader takes
// a NUL byte for the end of the file.
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
