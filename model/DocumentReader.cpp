#include "model/Propdmp.h"

#include "model/BlockReader.h"
#include "model/CodePage.h"
#include "model/DistinctSet.h"
#include "model/FileIo.h"
#include "model/HeapBytes.h"
#include "model/LineFormat.h"
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

// What a block of the file holds besides its objects, taken while each object is fresh in the
// cache: the heap bytes of its objects and, when asked for, its distinct values in the order of
// their first object there.
class TBlockGatherer {
public:
    explicit TBlockGatherer(bool distinct = false) : Distinct(distinct) {}

    bool WantsDistinct() const { return Distinct; }

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

    // Adds the values of a later part that this one lacks: the order of a walk over both.
    void Absorb(const TBlockGatherer& later) {
        HeapBytes += later.HeapBytes;
        if (!Distinct)
            return;
        for (const int32_t owner : later.OwnerOrder)
            if (Owners.Insert(owner))
                OwnerOrder.push_back(owner);
        for (const std::string_view model : later.ModelOrder)
            if (Models.Insert(model))
                ModelOrder.push_back(model);
    }

    // The model names are views into the parsed objects, taken before they move.
    TDistinctValues Values() const {
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

// Stops the load once asked to, and tells the caller of the bytes done.
class TWatch {
public:
    explicit TWatch(const TLoadControl& control) : Control(control) {}
    void StopIfCancelled() const {
        if (Control.Cancel && Control.Cancel->load(std::memory_order_relaxed))
            throw ELoadCancelled();
    }
    void Report(uint64_t bytes) const {
        if (Control.OnBatch && bytes != 0)
            Control.OnBatch(bytes);
    }

private:
    const TLoadControl& Control;
};

// What the first walk learnt of one block, for the second to read it again.
struct TBlockPlan {
    uint64_t Offset = 0;
    uint64_t Bytes = 0;
    uint64_t Lines = 0;     // the line of a NUL byte included
    uint64_t FirstLine = 1; // 1-based
    bool NulLine = false;
};

struct TCounted {
    std::vector<TBlockPlan> Blocks;
    uint64_t Lines = 0;   // before the end of the text
    uint64_t Bytes = 0;   // of text
    uint64_t NulLine = 0; // the line of a NUL byte the text cannot be read past; 0 when none
    int HeaderVersion = 0;
};

constexpr uint64_t None = std::numeric_limits<uint64_t>::max();

bool IsLineEndByte(char c) {
    return c == '\n' || c == '\r';
}

// What the first walk learns of one range of a source's bytes, [Begin, End), read with the byte
// before it: a line starts at the first byte, after LF, and after CR when LF does not follow.
// Everything is counted up to the range's first NUL byte, where the text ends.
struct TRangeCount {
    uint64_t Begin = 0;
    uint64_t End = 0;
    uint64_t Starts = 0;       // line starts before the text's end in the range
    uint64_t FirstStart = None; // the first of them
    uint64_t LastStart = None;  // the last line start at or before the range's text end
    uint64_t Nul = None;       // the first NUL byte
    bool OnlyNulAfter = true;  // after it the range holds NUL bytes only
    int HeaderVersion = 0;     // of the source's first line, in the first range
    TReadBuffer Storage;
};

void CountRange(TRangeCount& range, std::string_view bytes) {
    // The job is reused: nothing of the range it counted before may stay.
    range.FirstStart = None;
    range.HeaderVersion = 0;
    // bytes holds the byte before the range, when there is one, then the range.
    const uint64_t base = range.Begin == 0 ? 0 : range.Begin - 1;
    const std::string_view own = bytes.substr(static_cast<std::size_t>(range.Begin - base));
    const auto nul = static_cast<const char*>(std::memchr(own.data(), '\0', own.size()));
    const std::size_t textEnd =
        static_cast<std::size_t>(range.Begin - base) +
        (nul ? static_cast<std::size_t>(nul - own.data()) : own.size());
    range.Nul = nul ? range.Begin + static_cast<uint64_t>(nul - own.data()) : None;
    range.OnlyNulAfter =
        !nul || AllNul(own.substr(static_cast<std::size_t>(nul - own.data())));
    // Line starts in the range are the line ends one byte earlier: those at the positions from
    // the byte before the range to the one before the text's end (which only looks ahead).
    const std::string_view ends = bytes.substr(0, textEnd);
    const bool atStart = range.Begin == 0;
    if (atStart && !ends.empty())
        range.HeaderVersion = HeaderVersion(FirstLineOf(ends));
    if (ends.empty()) {
        range.Starts = 0;
    } else {
        range.Starts = CountLineEnds(ends) - (IsLineEndByte(ends.back()) ? 1 : 0) +
                       (atStart ? 1 : 0);
    }
    if (atStart && !ends.empty()) {
        range.FirstStart = 0;
    } else if (range.Starts > 0) {
        for (std::size_t p = 0; p + 1 < ends.size(); ++p) {
            if (ends[p] == '\n' || (ends[p] == '\r' && ends[p + 1] != '\n')) {
                range.FirstStart = base + p + 1;
                break;
            }
        }
    }
    // The last line start at or before the text's end: a NUL byte right after a line end
    // starts a line of its own.
    range.LastStart = atStart && !ends.empty() ? 0 : None;
    for (std::size_t p = ends.size(); p-- > 0;) {
        if (ends[p] == '\n' || (ends[p] == '\r' && (p + 1 == ends.size() || ends[p + 1] != '\n'))) {
            if (p + 1 == ends.size() && !nul)
                continue; // the range goes on: that start belongs to the next one
            range.LastStart = base + p + 1;
            break;
        }
    }
}

// The first walk over a source that can be read at any place: fixed ranges of it counted side
// by side on the workers, each reading its own bytes, and the blocks of whole lines for the
// second walk drawn from where their first lines start. readAt(offset, size, storage, watch)
// gives size bytes from offset on, a read block at a time, each told to watch.
template <class TRead>
TCounted CountRanges(uint64_t size, TRead&& readAt, const TWatch& watch, unsigned threads) {
    const uint64_t rangeBytes = BatchTuning().BlockBytes != 0 ? BatchTuning().BlockBytes
                                                              : TBlockReader::DefaultBlockBytes;
    TCounted counted;
    uint64_t next = 0;
    bool ended = false;     // the text ended at a NUL byte
    bool onlyNul = true;    // and nothing but NUL bytes follows it
    uint64_t nulAt = None;
    uint64_t lastStart = None;
    uint64_t lines = 0;
    RunInOrder<TRangeCount>(
        threads,
        [&](TRangeCount& range) {
            if (next >= size || (ended && !onlyNul))
                return false;
            watch.StopIfCancelled();
            range.Begin = next;
            range.End = std::min(size, next + rangeBytes);
            next = range.End;
            return true;
        },
        [&](unsigned, TRangeCount& range) {
            const uint64_t from = range.Begin == 0 ? 0 : range.Begin - 1;
            CountRange(range, readAt(from, range.End - from, range.Storage, watch));
        },
        [&](TRangeCount& range) {
            if (ended) {
                onlyNul = onlyNul && range.Nul == range.Begin && range.OnlyNulAfter;
                return;
            }
            if (range.Begin == 0)
                counted.HeaderVersion = range.HeaderVersion;
            if (range.FirstStart != None) {
                if (!counted.Blocks.empty())
                    counted.Blocks.back().Bytes = range.FirstStart - counted.Blocks.back().Offset;
                counted.Blocks.push_back({range.FirstStart, 0, 0, lines + 1, false});
            }
            if (!counted.Blocks.empty())
                counted.Blocks.back().Lines += range.Starts;
            lines += range.Starts;
            if (range.LastStart != None)
                lastStart = range.LastStart;
            if (range.Nul != None) {
                ended = true;
                nulAt = range.Nul;
                onlyNul = range.OnlyNulAfter;
            }
        });
    // A source that starts with a NUL byte holds no text at all, whatever follows.
    if (nulAt == 0)
        return {};
    const uint64_t textEnd = ended ? nulAt : size;
    if (!counted.Blocks.empty())
        counted.Blocks.back().Bytes = textEnd - counted.Blocks.back().Offset;
    counted.Lines = lines;
    counted.Bytes = textEnd;
    if (ended && !onlyNul) {
        // The line of the NUL byte cannot be read past: it is bad, and those before it stand.
        TBlockPlan& last = counted.Blocks.back();
        last.NulLine = true;
        if (lastStart == nulAt) {
            // It starts at the NUL byte: no start of it was counted.
            ++last.Lines;
            counted.NulLine = counted.Lines + 1;
        } else {
            counted.NulLine = counted.Lines--;
        }
    }
    return counted;
}

// The second walk: every block read again where the first found it, on the workers, a read
// block at a time (each reported, and the load stopped before it once asked), and its object
// lines parsed into slotFor(worker, index). Never asks for more slots than the first walk
// counted lines, whatever the file holds now. The first bad line of the file wins.
template <class TText, class TSlots>
void ParseBlocks(const TCounted& counted, TText&& textOf, uint64_t headerLines, int version,
                 const TWatch& watch, unsigned threads, TSlots&& slotFor,
                 TBlockGatherer* gathered = nullptr) {
    struct TJob {
        const TBlockPlan* Plan = nullptr;
        TBlock Block;
        TBlockGatherer Gathered;
    };
    std::size_t next = 0;
    RunInOrder<TJob>(
        threads,
        [&](TJob& job) {
            if (next == counted.Blocks.size())
                return false;
            watch.StopIfCancelled();
            job.Plan = &counted.Blocks[next++];
            return true;
        },
        [&](unsigned worker, TJob& job) {
            const TBlockPlan& plan = *job.Plan;
            job.Block.Text = textOf(plan, job.Block.Storage, watch);
            job.Block.EndsInNulLine = plan.NulLine;
            if (gathered)
                job.Gathered = TBlockGatherer(gathered->WantsDistinct());
            // Another program may have changed the file between the two walks; what is left
            // must not pass for the whole document.
            const uint64_t objectLines = plan.Lines - (plan.NulLine ? 1 : 0);
            uint64_t seen = 0;
            ForEachLineOf(job.Block, [&](std::string_view text) {
                const uint64_t index = seen++;
                if (index >= objectLines) {
                    if (index >= plan.Lines)
                        throw ChangedWhileRead();
                    return; // the NUL line
                }
                const uint64_t line = plan.FirstLine + index;
                if (line <= headerLines)
                    return;
                TPropObject& o = slotFor(worker, line - 1 - headerLines);
                switch (ParseFields(o, version, text)) {
                case TParseError::None:
                    if (gathered)
                        job.Gathered.Add(o);
                    return;
                case TParseError::Version:
                    throw EPropdumpError(VersionMessage(version), static_cast<int>(line));
                case TParseError::Format:
                    throw EPropdumpError(LineFormatMessage, static_cast<int>(line));
                }
            });
            if (seen != plan.Lines)
                throw ChangedWhileRead();
        },
        [&](TJob& job) {
            if (gathered)
                gathered->Absorb(job.Gathered);
        });
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

// Reads the document in two walks, each spread over the workers: the first counts the lines of
// fixed ranges of the bytes, so that the object list is allocated once and every block of whole
// lines knows where its objects go; the second reads each block again and parses it into place.
// readAt is the source, as CountRanges takes it.
template <class TRead>
TLoaded LoadDocument(uint64_t size, TRead&& readAt, int version, const TLoadControl& control) {
    const auto textOf = [&readAt](const TBlockPlan& plan, TReadBuffer& storage,
                                  const TWatch& watch) {
        return readAt(plan.Offset, plan.Bytes, storage, watch);
    };
    const TWatch watch(control);
    const unsigned threads = WorkerThreads();
    const bool hasHeader = version == 0;
    const TCounted counted = CountRanges(size, readAt, watch, threads);
    const uint64_t lines = counted.Lines;
    // A text that starts with a NUL byte has no block at all.
    if (lines == 0 && counted.NulLine == 0)
        throw EPropdumpError("File contains no data");
    TLoaded loaded;
    loaded.Version = version;
    if (hasHeader) {
        if (counted.NulLine == 1)
            throw EPropdumpError(NulByteMessage, 1);
        if (counted.HeaderVersion == 0)
            throw EPropdumpVersionUnknown("Unknown propdump format");
        loaded.Version = counted.HeaderVersion;
    }
    const uint64_t headerLines = hasHeader ? 1 : 0;
    const uint64_t objectLines = lines - headerLines;

    // No object line is shorter than nine one-digit integers with their blanks. More lines than
    // the bytes could hold of those (a file of blank lines) mean a bad line: find the first one
    // without asking for room for every line.
    constexpr uint64_t ShortestObjectLine = 17;
    if (objectLines > counted.Bytes / ShortestObjectLine + 1) {
        std::vector<TPropObject> scratch(threads);
        ParseBlocks(counted, textOf, headerLines, loaded.Version, watch, threads,
                    [&](unsigned worker, uint64_t) -> TPropObject& {
                        ResetFields(scratch[worker]);
                        return scratch[worker];
                    });
        throw ChangedWhileRead();
    }

    std::vector<TPropObject>& objects = loaded.Objects;
    // Making room counts as one more walk over the bytes, in proportion to the objects made.
    uint64_t prepared = 0;
    PrepareObjects(objects, static_cast<std::size_t>(objectLines),
                   threads > 1 && counted.Blocks.size() > 1, [&](std::size_t done) {
                       watch.StopIfCancelled();
                       const uint64_t now = size * done / objectLines;
                       watch.Report(now - prepared);
                       prepared = now;
                   });
    TPropObject* const slots = objects.data();
    TBlockGatherer gathered(control.Distinct != nullptr);
    ParseBlocks(
        counted, textOf, headerLines, loaded.Version, watch, threads,
        [slots](unsigned, uint64_t i) -> TPropObject& { return slots[i]; },
        control.Distinct || control.HeapBytes ? &gathered : nullptr);
    if (counted.NulLine != 0)
        throw EPropdumpError(NulByteMessage, static_cast<int>(counted.NulLine));
    if (control.HeapBytes)
        *control.HeapBytes = objects.capacity() * sizeof(TPropObject) + gathered.HeapBytes;
    if (control.Distinct)
        *control.Distinct = gathered.Values();
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
    const auto readAt = [Bytes](uint64_t offset, uint64_t size, TReadBuffer&,
                                const TWatch& watch) {
        for (uint64_t done = 0; done < size; done += ReadBlock) {
            watch.StopIfCancelled();
            watch.Report(std::min<uint64_t>(ReadBlock, size - done));
        }
        return Bytes.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
    };
    TakeLoaded(*this, LoadDocument(Bytes.size(), readAt, Version, Control), Path);
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version) {
    LoadFromFile(Path, Version, TLoadControl{});
}

void TPropdumpFile::LoadFromFile(const std::string& Path, int Version,
                                 const TLoadControl& Control) {
    const FileSystem::TFile file = OpenFile(Path);
    const FileSystem::TFileIdentity status = FileSystem::IdentifyFile(file);
    if (!status.Regular || !FileSystem::Rewind(file)) {
        // A pipe or the like can be read only once, and its size is not known: take it whole.
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
    if (Control.OnTotal)
        Control.OnTotal(3 * status.Size);
    // Every range of the file is read by the worker that counts it, and every block again by the
    // one that parses it; a file cut short meanwhile gives fewer bytes than were there.
    const auto readAt = [&file, &Path](uint64_t offset, uint64_t size, TReadBuffer& storage,
                                       const TWatch& watch) {
        const auto bytes = static_cast<std::size_t>(size);
        storage.Resize(0);
        char* const into = storage.Extend(bytes);
        for (std::size_t got = 0; got < bytes;) {
            watch.StopIfCancelled();
            const std::size_t n = ReadFileAt(file, offset + got, into + got,
                                             std::min(ReadBlock, bytes - got), Path);
            if (n == 0)
                throw ChangedWhileRead();
            watch.Report(n);
            got += n;
        }
        storage.Resize(bytes);
        return storage.View();
    };
    TLoaded loaded = LoadDocument(status.Size, readAt, Version, Control);
    // Nor may what was added at its end meanwhile be left out unseen.
    char after;
    if (ReadFileAt(file, status.Size, &after, 1, Path) != 0)
        throw ChangedWhileRead();
    TakeLoaded(*this, std::move(loaded), Path);
}
