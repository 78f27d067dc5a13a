#pragma once

// The desktop's event sounds: one implementation per system (SoundPosix.cpp with the freedesktop
// sound theme through libcanberra, SoundWin32.cpp with the system's message beeps), chosen by
// the build.

#include <memory>

enum class TSoundKind { Asterisk, Question, Exclamation };

// Sounds are decoration: where the system has none to play, the editor stays silent rather
// than failing.
class TSoundPlayer {
public:
    // ApplicationName is what a sound server may show as the sound's source.
    explicit TSoundPlayer(const char* ApplicationName);
    TSoundPlayer(const TSoundPlayer&) = delete;
    TSoundPlayer& operator=(const TSoundPlayer&) = delete;
    ~TSoundPlayer();

    // Returns at once; the sound plays (or not) in the background.
    void Play(TSoundKind Kind);

private:
    struct TBackend;
    std::unique_ptr<TBackend> Backend;
};
