#include "cli/Rereadable.h"

#include <cerrno>
#include <cstdlib>
#include <limits>

#include <sys/stat.h>
#include <unistd.h>

namespace {

int UnnamedTemporaryFile() {
    const char* const Folder = std::getenv("TMPDIR");
    std::string Pattern = std::string(Folder && *Folder ? Folder : "/tmp") + "/propdump-XXXXXX";
    const int Fd = ::mkstemp(Pattern.data());
    if (Fd < 0)
        ThrowFileError(errno, "Cannot keep a copy of standard input in \"" + Pattern + "\"");
    ::unlink(Pattern.c_str());
    return Fd;
}

} // namespace

TRereadable::TRereadable(const std::string& PathGiven, int FileVersionGiven)
    : Path(PathGiven), DisplayName(PathGiven == "-" ? "(standard input)" : PathGiven),
      GivenVersion(FileVersionGiven), FileVersion(FileVersionGiven),
      Copy(PathGiven == "-" ? UnnamedTemporaryFile() : -1) {
    TObjectSource Source(PathGiven, FileVersionGiven);
    FileVersion = Source.Version();
    if (PathGiven != "-")
        return;
    TPosixFileWriter Writer;
    TBatch Batch;
    while (Source.Next(Batch))
        Writer.Write(Copy.Get(), Batch.Text.View().data(), Batch.Text.Size());
    // Read again through its descriptor, the only way left to it.
    Path = "/dev/fd/" + std::to_string(Copy.Get());
}

std::unique_ptr<TObjectSource> TRereadable::Open() const {
    // The copy of standard input starts with the header line when it had one.
    return std::make_unique<TObjectSource>(Path, GivenVersion);
}

uint64_t TRereadable::Size() const {
    struct stat Info {};
    if (::stat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode))
        return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(Info.st_size);
}
