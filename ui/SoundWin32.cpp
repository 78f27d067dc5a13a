#include "ui/Sound.h"

#include <windows.h>

namespace {

UINT BeepOf(TSoundKind Kind) {
    switch (Kind) {
    case TSoundKind::Question:
        return MB_ICONQUESTION;
    case TSoundKind::Exclamation:
        return MB_ICONEXCLAMATION;
    case TSoundKind::Asterisk:
        break;
    }
    return MB_ICONASTERISK;
}

} // namespace

// The system plays its own sounds for the message kinds; there is nothing to open.
struct TSoundPlayer::TBackend {};

TSoundPlayer::TSoundPlayer(const char*) : Backend(std::make_unique<TBackend>()) {}

TSoundPlayer::~TSoundPlayer() = default;

void TSoundPlayer::Play(TSoundKind Kind) {
    // Asynchronous: MessageBeep queues the sound and returns.
    (void)MessageBeep(BeepOf(Kind));
}
