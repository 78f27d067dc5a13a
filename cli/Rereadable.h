#pragma once

// A file that a command reads more than once: one pass to look, another to write. Standard input
// can be read only once, so it is first copied to a temporary file that no name points to (it
// goes with the process, however that ends) and read again from there.

#include "cli/Errors.h"
#include "cli/ObjectSource.h"
#include "model/FileIo.h"

#include <cstdint>
#include <memory>
#include <string>

class TRereadable {
public:
    // Path "-" is standard input; FileVersion as for TObjectSource. Raises as TObjectSource does.
    TRereadable(const std::string& Path, int FileVersion);

    // "(standard input)" or the path, for messages.
    const std::string& Name() const { return DisplayName; }
    // The version from the header, or the one given.
    int Version() const { return FileVersion; }
    // Bytes in the file; the most there can be for one whose size cannot be known.
    uint64_t Size() const;

    // Runs Read(Source) on a new source at the start of the file; errors name the file as the
    // user gave it.
    template <class TRead> void Read(TRead&& ReadSource) const {
        const std::unique_ptr<TObjectSource> Source = Open();
        try {
            ReadSource(*Source);
        } catch (EInputError& Error) {
            if (Error.File == Source->Name())
                Error.File = DisplayName;
            throw;
        }
    }

private:
    std::unique_ptr<TObjectSource> Open() const;

    std::string Path;
    std::string DisplayName;
    int GivenVersion;
    int FileVersion;
    FileSystem::TFile Copy;
};
