#include "cli/Progress.h"

#include "model/FileSystem.h"

#include <cstdio>
#include <string>

TProgress::TProgress(uint64_t Total)
    : Total(Total), Enabled(FileSystem::IsTerminal(FileSystem::TStandardStream::Error)),
      Start(TClock::now()) {
    Current = this;
}

TProgress::~TProgress() {
    Erase();
    if (Current == this)
        Current = nullptr;
}

void TProgress::Erase() {
    if (!Shown)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    Shown = false;
}

void TProgress::EraseShown() {
    if (Current)
        Current->Erase();
}

void TProgress::Update(uint64_t Done) {
    if (!Enabled)
        return;
    const TClock::time_point Now = TClock::now();
    if (Now - Start < std::chrono::seconds(1) || Now - LastDrawn < std::chrono::milliseconds(100))
        return;
    LastDrawn = Now;
    Shown = true;
    if (Total == 0) {
        std::fprintf(stderr, "\rpropdump: %llu MB read",
                     static_cast<unsigned long long>(Done >> 20));
    } else {
        constexpr int Width = 40;
        const uint64_t Part = Done >= Total ? Width : Done * Width / Total;
        const std::string Bar = std::string(Part, '#') + std::string(Width - Part, ' ');
        std::fprintf(stderr, "\rpropdump: [%s] %3d%%", Bar.c_str(),
                     static_cast<int>(Done >= Total ? 100 : Done * 100 / Total));
    }
    std::fflush(stderr);
}
