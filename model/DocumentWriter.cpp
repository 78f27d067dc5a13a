#include "model/Propdmp.h"

#include "model/FileIo.h"
#include "model/LineFormat.h"
#include "model/Parallel.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
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
