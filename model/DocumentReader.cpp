#include "model/Propdmp.h"

#include "model/CodePage.h"
#include "model/DistinctSet.h"
#include "model/FileIo.h"
#include "model/HeapBytes.h"
#include "model/LineFormat.h"
#include "model/LineSplitter.h"
#include "model/Parallel.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <utility>

namespace {

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

// What a part of the file holds besides its objects, taken while each object is fresh in the
// cache: its distinct values, in the order of their first object there, and the heap bytes of
// its objects.
class TPartGatherer {
public:
    TPartGatherer(bool distinct) : Distinct(distinct) {}

    void Add(const TPropObject& o) {
        HeapBytes += HeapBytesOf(o);
        if (!Distinct)
            return;
        // Objects of one owner tend to come in runs; a run needs no hash look-up.
        if (!HaveOwner || o.Owner != LastOwner) {
            HaveOwner = true;
            LastOwner = o.Owner;
            if (Owners.Insert(o.Owner))
                OwnerOrder.push_back(o.Owner);
        }
        if (!o.Model.empty() && Models.Insert(o.Model))
            ModelOrder.push_back(o.Model);
    }

    // This part's values, then those of later that this part lacks: the order of a walk over
    // both parts. The model names are views into the parsed objects, taken before they move.
    TDistinctValues MergedWith(TPartGatherer& later) {
        for (const int32_t owner : later.OwnerOrder)
            if (Owners.Insert(owner))
                OwnerOrder.push_back(owner);
        for (const std::string_view model : later.ModelOrder)
            if (Models.Insert(model))
                ModelOrder.push_back(model);
        TDistinctValues values;
        values.CitizenNumbers.reserve(OwnerOrder.size());
        for (const int32_t owner : OwnerOrder)
            values.CitizenNumbers.push_back(std::to_string(owner));
        values.ModelNames.assign(ModelOrder.begin(), ModelOrder.end());
        return values;
    }

private:
    TDistinctSet<int32_t, TOwnerHash, std::equal_to<int32_t>> Owners;
    TDistinctSet<std::string_view, TCaseInsensitiveHash1252, TCaseInsensitiveEqual1252> Models;
    std::vector<int32_t> OwnerOrder;
    std::vector<std::string_view> ModelOrder;
    int32_t LastOwner = 0;
    bool HaveOwner = false;
    bool Distinct;

public:
    std::size_t HeapBytes = 0;
};

// A source that reports each batch it hands out and stops the load once asked to. Batches are
// at most a read block, also from memory, so that word comes often enough.
template <class TSource> class TWatchedSource {
public:
    static constexpr bool NeedsBuffer = TSource::NeedsBuffer;
    TWatchedSource(const TSource& source, const TLoadControl& control)
        : Source(source), Control(control),
          Watched(Control.OnBatch != nullptr || Control.Cancel != nullptr) {}
    uint64_t Size() const { return Source.Size(); }
    std::string_view Read(uint64_t offset, uint64_t most, char* buffer) const {
        if (!Watched)
            return Source.Read(offset, most, buffer);
        StopIfCancelled();
        const std::string_view chunk =
            Source.Read(offset, std::min<uint64_t>(most, ReadBlock), buffer);
        if (Control.OnBatch)
            Control.OnBatch(chunk.size());
        return chunk;
    }
    // Work between reads, counted in bytes.
    void Report(uint64_t bytes) const {
        StopIfCancelled();
        if (Control.OnBatch && bytes != 0)
            Control.OnBatch(bytes);
    }

private:
    void StopIfCancelled() const {
        if (Control.Cancel && Control.Cancel->load(std::memory_order_relaxed))
            throw ELoadCancelled();
    }

    const TSource& Source;
    const TLoadControl& Control;
    bool Watched;
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
                const std::atomic<bool>& stop, TSlots&& slotFor,
                TPartGatherer* gather = nullptr) {
    uint64_t seen = 0;
    uint64_t bytes = 0;
    WalkLines(source, range, stop, bytes, [&](std::string_view line) {
        if (seen == plan.Lines)
            throw ChangedWhileRead();
        const uint64_t index = seen++;
        if (index < plan.Skipped)
            return;
        const int lineNumber = static_cast<int>(plan.FirstLine + index);
        TPropObject& o = slotFor(index - plan.Skipped);
        switch (ParseFields(o, version, line)) {
        case TParseError::None:
            if (gather)
                gather->Add(o);
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
// Constructing them takes a while on a busy machine, so it goes in slices, each told to
// sliceDone (which may throw to stop the load).
template <class F>
void PrepareObjects(std::vector<TPropObject>& objects, std::size_t count, bool together,
                    F&& sliceDone) {
    objects.reserve(count);
    std::atomic<bool> stopHelper = false;
    std::jthread helper;
    const std::size_t bytes = count * sizeof(TPropObject);
    if (bytes >= 2 * 1024 * 1024) {
        FileSystem::AdviseLargeAllocation(objects.data(), bytes);
        char* const middle = reinterpret_cast<char*>(objects.data()) + bytes / 2;
        char* const last = reinterpret_cast<char*>(objects.data()) + bytes;
        if (together)
            helper = TryToStartThread([=, &stopHelper] {
                constexpr std::size_t Piece = 64 * 1024 * 1024;
                for (char* at = middle; at < last && !stopHelper; at += Piece)
                    FileSystem::PrefaultForWriting(
                        at, std::min<std::size_t>(Piece, static_cast<std::size_t>(last - at)));
            });
    }
    // Whatever ends this function, the helper stops at its next piece.
    struct TStop {
        std::atomic<bool>& Flag;
        ~TStop() { Flag = true; }
    } stop{stopHelper};
    constexpr std::size_t Slice = 1 << 18;
    for (std::size_t done = 0; done < count;) {
        done = std::min(count, done + Slice);
        objects.resize(done);
        sliceDone(done);
    }
}

struct TLoaded {
    std::vector<TPropObject> Objects;
    int Version = 0;
};

// Reads the document in two walks over the bytes, each split into two parts at a line start and
// run on two threads: the first counts the lines of each part, so that the object list is
// allocated once and every part knows where its objects go; the second parses them into place.
// The error of the first bad line of the file wins, wherever the threads were.
template <class TSource>
TLoaded LoadDocument(const TSource& source, int version, const TLoadControl& control) {
    TDistinctValues* const distinct = control.Distinct;
    const bool gather = distinct || control.HeapBytes;
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
    // Making room counts as one more walk over the bytes, in proportion to the objects made.
    uint64_t prepared = 0;
    PrepareObjects(objects, static_cast<std::size_t>(objectLines), together,
                   [&](std::size_t done) {
                       const uint64_t now = source.Size() * done / objectLines;
                       source.Report(now - prepared);
                       prepared = now;
                   });
    TPropObject* const firstSlots = objects.data();
    TPropObject* const secondSlots = firstSlots + (counts[0].Lines - headerLines);
    const TPartPlan plans[2] = {{counts[0].Lines, 1, headerLines},
                                {counts[1].Lines, counts[0].Lines + 1, 0}};
    TPartGatherer gathered[2] = {TPartGatherer(distinct), TPartGatherer(distinct)};
    stop = false;
    const TOutcomes parsed = RunSideBySide(
        together, stop,
        [&] {
            ParseLines(
                source, parts[0], plans[0], loaded.Version, stop,
                [&](uint64_t i) -> TPropObject& { return firstSlots[i]; },
                gather ? &gathered[0] : nullptr);
        },
        [&] {
            ParseLines(
                source, parts[1], plans[1], loaded.Version, stop,
                [&](uint64_t i) -> TPropObject& { return secondSlots[i]; },
                gather ? &gathered[1] : nullptr);
        });
    if (parsed.First)
        std::rethrow_exception(parsed.First);
    if (parsed.Second)
        std::rethrow_exception(parsed.Second);
    if (nulLine != 0)
        throw EPropdumpError(NulByteMessage, static_cast<int>(nulLine));
    if (control.HeapBytes)
        *control.HeapBytes = objects.capacity() * sizeof(TPropObject) + gathered[0].HeapBytes +
                             gathered[1].HeapBytes;
    if (distinct)
        *distinct = gathered[0].MergedWith(gathered[1]);
    return loaded;
}

void TakeLoaded(TPropdumpFile& document, TLoaded&& loaded, const std::string& path) {
    document.Objects = std::move(loaded.Objects);
    document.FileName = path;
    document.Version = loaded.Version;
}

} // namespace

void TPropdumpFile::LoadFromMemory(std::string_view Bytes, const std::string& Path, int Version) {
    LoadFromMemory(Bytes, Path, Version, TLoadControl{});
}

void TPropdumpFile::LoadFromMemory(std::string_view Bytes, const std::string& Path, int Version,
                                   const TLoadControl& Control) {
    // Both walks read every byte, one counting the lines, the other parsing them; making room
    // for the objects between them is counted as a third.
    if (Control.OnTotal)
        Control.OnTotal(3 * static_cast<uint64_t>(Bytes.size()));
    const TMemorySource source(Bytes);
    TakeLoaded(*this, LoadDocument(TWatchedSource(source, Control), Version, Control),
               Path);
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version) {
    LoadFromFile(Path, Version, TLoadControl{});
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version,
                                 const TLoadControl& Control) {
    const FileSystem::TFile file = OpenFile(Path);
    if (!FileSystem::Rewind(file)) {
        // A pipe or the like can be read only once: take it whole.
        std::string bytes;
        auto buffer = std::make_unique<char[]>(ReadBlock);
        ReadBlocks(file, Path, buffer.get(), [&](std::string_view chunk) {
            if (Control.Cancel && Control.Cancel->load(std::memory_order_relaxed))
                throw ELoadCancelled();
            bytes.append(chunk);
            if (Control.OnBatch)
                Control.OnBatch(chunk.size());
            return true;
        });
        // What the pipe held was never known beforehand; the bar stays a busy one.
        TLoadControl rest = Control;
        rest.OnTotal = nullptr;
        LoadFromMemory(bytes, Path, Version, rest);
        return;
    }
    const FileSystem::TFileIdentity status = FileSystem::IdentifyFile(file);
    if (status.Regular && Control.OnTotal)
        Control.OnTotal(3 * status.Size);
    const TFileSource source(file, Path, status.Size);
    TakeLoaded(*this, LoadDocument(TWatchedSource(source, Control), Version, Control),
               Path);
}
