#include "model/HeapBytes.h"

#include <functional>

std::size_t HeapBytesOf(const std::string& Text) {
    const char* Own = reinterpret_cast<const char*>(&Text);
    const std::less<const char*> Before;
    const bool Inside = !Before(Text.data(), Own) && Before(Text.data(), Own + sizeof(Text));
    // The terminating NUL is allocated too.
    return Inside ? 0 : Text.capacity() + 1;
}

std::size_t HeapBytesOf(const TPropObject& Object) {
    return HeapBytesOf(Object.Model) + HeapBytesOf(Object.Description) +
           HeapBytesOf(Object.Action) + Object.Data.capacity();
}

std::size_t HeapBytesOf(const TPropdumpFile& Document) {
    std::size_t Bytes = Document.Objects.capacity() * sizeof(TPropObject);
    for (const TPropObject& Object : Document.Objects)
        Bytes += HeapBytesOf(Object);
    return Bytes;
}
