#include "ui/Sound.h"

#include <string>

#include <canberra.h>

namespace {

const char* EventIdOf(TSoundKind Kind) {
    switch (Kind) {
    case TSoundKind::Question:
        return "dialog-question";
    case TSoundKind::Exclamation:
        return "dialog-warning";
    case TSoundKind::Asterisk:
        break;
    }
    return "dialog-information";
}

} // namespace

// Without a sound server or theme the context cannot be opened; one that could not be opened
// once is not tried again.
struct TSoundPlayer::TBackend {
    std::string Name;
    ca_context* Context = nullptr;
    bool Failed = false;

    ~TBackend() {
        if (Context)
            ca_context_destroy(Context);
    }

    bool Open() {
        if (Context || Failed)
            return Context != nullptr;
        if (ca_context_create(&Context) != CA_SUCCESS) {
            Context = nullptr;
            Failed = true;
            return false;
        }
        ca_context_change_props(Context, CA_PROP_APPLICATION_NAME, Name.c_str(), nullptr);
        if (ca_context_open(Context) != CA_SUCCESS) {
            ca_context_destroy(Context);
            Context = nullptr;
            Failed = true;
            return false;
        }
        return true;
    }
};

TSoundPlayer::TSoundPlayer(const char* ApplicationName)
    : Backend(std::make_unique<TBackend>()) {
    Backend->Name = ApplicationName;
}

TSoundPlayer::~TSoundPlayer() = default;

void TSoundPlayer::Play(TSoundKind Kind) {
    if (Backend->Open())
        ca_context_play(Backend->Context, 0, CA_PROP_EVENT_ID, EventIdOf(Kind), nullptr);
}
