#pragma once

#include "model/FileIo.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using TCharArray = std::vector<uint8_t>;

class EPropdumpError : public std::runtime_error {
public:
    explicit EPropdumpError(const std::string& Message, int Line = 0)
        : std::runtime_error(Message), LineNumber(Line) {}
    // 1-based line of the file that failed to parse; 0 when the error is not about one line.
    int LineNumber;
};

// A NUL byte followed by more than NUL bytes: an EPropdumpError of its line.
inline constexpr char NulByteMessage[] = "NUL byte: the file cannot be read past it";

// Raised when a file has no valid "propdump version %d" header; the caller asks for a version.
class EPropdumpVersionUnknown : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The texts and the data of an object line, for reading only some of them.
enum TLinePart : unsigned {
    lpModel = 1,
    lpDescription = 2,
    lpAction = 4,
    lpData = 8,
    lpAllParts = lpModel | lpDescription | lpAction | lpData,
};

class TPropObject {
public:
    int32_t Owner = 0;
    int32_t Timestamp = 0;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Z = 0;
    int32_t Yaw = 0;
    int32_t Tilt = 0;
    int32_t Roll = 0;
    int32_t ObjectType = 0;
    int32_t DataLength = 0;
    std::string Model;
    std::string Description;
    std::string Action;
    TCharArray Data;
    bool MarkedForDeletion = false;

    // Line is one line of the file without its break. Raises EPropdumpError "Line format not
    // understood" or the unknown-version error; MarkedForDeletion is left alone. Parts names
    // the texts and data to take (the others are left empty); every line is checked whole, so a
    // line is refused or taken alike whatever Parts says.
    void ParseLine(int Version, std::string_view Line, unsigned Parts = lpAllParts);
    // Every line written here reads back with ParseLine to the same fields. Data is written
    // only as far as it goes, with the count of the bytes actually written.
    std::string FormatLine(int Version) const;
    // Appends FormatLine(Version) to Out without a temporary (the saver's hot path).
    void AppendLine(int Version, std::string& Out) const;
};

std::string EscapeLineBreaks(std::string_view Source);
void UnescapeLineBreaks(std::string& Text);

// The owner of Line when ParseLine(Version, Line) would take it, nullopt when it would refuse
// it: the whole line is checked, but for a fraction of what parsing it costs, so that a reader
// looking for some owners only parses the lines of those.
std::optional<int32_t> ReadableLineOwner(int Version, std::string_view Line);

// The number a "propdump version N" line names, known version or not; nullopt for any other line.
std::optional<int> HeaderLineVersion(std::string_view Line);

// A load stopped through its control's Cancel flag.
class ELoadCancelled : public std::runtime_error {
public:
    ELoadCancelled() : std::runtime_error("The file was not read to its end") {}
};

// The distinct citizen numbers and model names of a document, as GetCitizenNumbers and
// GetModelNames give them.
struct TDistinctValues {
    std::vector<std::string> CitizenNumbers;
    std::vector<std::string> ModelNames;
};

// What a caller may ask of a load besides the document: word of its progress, a way to stop it,
// and the distinct values, gathered while the lines are parsed rather than in a walk afterwards.
struct TLoadControl {
    // Once, before the first batch, when the load knows how many bytes its batches will add up
    // to; a load from a pipe never knows.
    std::function<void(uint64_t Total)> OnTotal;
    // After every read block of either walk, with its bytes, and while room is made for the
    // objects, with a share of the total. Called from the reading threads, several at once.
    std::function<void(uint64_t Bytes)> OnBatch;
    // Checked before every batch: once set, the load stops with ELoadCancelled.
    const std::atomic<bool>* Cancel = nullptr;
    // Filled when the load succeeds.
    TDistinctValues* Distinct = nullptr;
    // Filled when the load succeeds, with what HeapBytesOf tells of the document.
    std::size_t* HeapBytes = nullptr;
};

class TPropdumpFile {
public:
    TPropdumpFile() = default;
    virtual ~TPropdumpFile() = default;

    std::vector<TPropObject> Objects;
    std::string FileName;
    int Version = 0;

    int Count() const { return static_cast<int>(Objects.size()); }
    // std::out_of_range outside 0..Count()-1.
    TPropObject& Item(int Index);
    const TPropObject& Item(int Index) const;

    // Version 0 reads the version from the header line; any other version takes every line as
    // an object line. On any error the document is left exactly as it was.
    void LoadFromFile(const std::string& Path, int Version);
    void LoadFromFile(const std::string& Path, int Version, const TLoadControl& Control);
    // The same, from bytes already in memory.
    void LoadFromMemory(std::string_view Bytes, const std::string& Path, int Version);
    void LoadFromMemory(std::string_view Bytes, const std::string& Path, int Version,
                        const TLoadControl& Control);

    // Gives FileName the new content through SaveFileAtomically: a failure at any point leaves
    // the old file as it was, and the file keeps everything it carries besides its bytes.
    // Refuses (EPropdumpError, nothing written) a version outside 2..4 when there are objects,
    // and a model name holding a line break. File errors are std::system_error.
    void Save();
    void Save(TFileWriter& Writer);

    void Clear();
    std::vector<std::string> GetCitizenNumbers() const;
    std::vector<std::string> GetModelNames() const;
    void DeleteMarked();
};
