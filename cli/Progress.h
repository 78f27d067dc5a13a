#pragma once

// A progress bar on standard error, for long runs only: it appears when standard error is a
// terminal and the work has lasted a second, and is wiped when the work ends, so pipes and logs
// never see it. Whatever the tool writes meanwhile takes the bar off its line first.

#include <chrono>
#include <cstdint>

class TProgress {
public:
    // Total 0 when the size is unknown (standard input, a pipe).
    explicit TProgress(uint64_t Total = 0);
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;

    void SetTotal(uint64_t Bytes) { Total = Bytes; }
    void Update(uint64_t Done);
    // Takes the bar off the terminal; the next update draws it again.
    void Erase();
    // Erases the bar of the run in progress, if any, before other output.
    static void EraseShown();

private:
    using TClock = std::chrono::steady_clock;

    uint64_t Total;
    bool Enabled;
    bool Shown = false;
    TClock::time_point Start;
    TClock::time_point LastDrawn;
    static inline TProgress* Current = nullptr;
};
