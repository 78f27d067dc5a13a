#pragma once

// One object line of the file, read and written: the line format that the document's reader
// and writer share. TPropObject's own ParseLine and FormatLine are built on it.

#include "model/Propdmp.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class TParseError { None, Format, Version };

inline constexpr char LineFormatMessage[] = "Line format not understood";

std::string VersionMessage(int Version);
bool IsKnownVersion(int Version);

// Reads Line into an object whose fields are all still empty (ResetFields). Writes each integer
// as soon as it is read, so after a failure the fields hold what was taken before it. Only the
// texts and data named in Parts are copied out, but the whole line is checked either way.
TParseError ParseFields(TPropObject& Object, int Version, std::string_view Line,
                        unsigned Parts = lpAllParts);
void ResetFields(TPropObject& Object);

// Data bytes a line carries: what DataLength claims, but never more than Data holds, so the
// writer never reads past Data and the count it writes always matches the hex that follows.
std::size_t DataBytesToWrite(const TPropObject& Object, int Version);
// The most bytes PutLine writes for Object.
std::size_t MaxLineSize(const TPropObject& Object, std::size_t DataBytes);
// Writes the line (without its line end) into Out, which has room for MaxLineSize bytes;
// returns its end.
char* PutLine(const TPropObject& Object, int Version, std::size_t DataBytes, char* Out);

// ReadableLineOwner's answer, and whether the line is byte for byte what the writer would give
// the object it holds (FormatLine): a reader that only passes lines on may then copy them.
struct TLineOwner {
    int32_t Owner = 0;
    bool AsWritten = false;
};
std::optional<TLineOwner> ReadableLineOwnerAsWritten(int Version, std::string_view Line);

// The version a header line names; 0 when the line is no header of a known version.
int HeaderVersion(std::string_view Line);
