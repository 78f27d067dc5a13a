#include "model/Propdmp.h"

#include "model/FileIo.h"
#include "model/LineFormat.h"
#include "model/Parallel.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

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

// Formatting the numbers costs more than writing the bytes, so a large document is formatted in
// batches on the worker threads while this thread writes the batches done, in file order. A few
// batches are held at a time, whatever the document's size.
template <class F>
void FormatDocument(const std::vector<TPropObject>& objects, int version, F&& emit) {
    const std::size_t batch = BatchTuning().BatchSize != 0 ? BatchTuning().BatchSize : 8192;
    const std::string header = "propdump version " + std::to_string(version) + "\r\n";
    emit(header.data(), header.size());
    struct TJob {
        std::size_t First = 0;
        std::size_t Last = 0;
        std::vector<char> Buffer;
        std::size_t Used = 0;
    };
    const std::size_t batches = (objects.size() + batch - 1) / batch;
    std::size_t next = 0;
    RunInOrder<TJob>(
        batches >= 4 ? WorkerThreads() : 1,
        [&](TJob& job) {
            if (next == batches)
                return false;
            job.First = next * batch;
            job.Last = std::min(job.First + batch, objects.size());
            ++next;
            return true;
        },
        [&](unsigned, TJob& job) {
            if (job.Buffer.empty())
                job.Buffer.resize(1024 * 1024);
            job.Used = FormatLines(objects.data() + job.First, objects.data() + job.Last, version,
                                   job.Buffer, 0);
        },
        [&](const TJob& job) { emit(job.Buffer.data(), job.Used); });
}

} // namespace

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
