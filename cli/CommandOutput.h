#pragma once

// What the commands share to write their results: standard output, the report lines, objects as
// file lines, result rows and JSON, and the way a changed file reaches its place.

#include "cli/Options.h"
#include "model/FileIo.h"
#include "model/Propdmp.h"
#include "ops/Conversion.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

void WriteOut(std::string_view Text);
// Raises std::system_error when standard output could not take everything.
void FlushOut();

// Label and the count with ',' separators: "Objects deleted: 1,234".
std::string Counted(std::string_view Label, uint64_t Count);

std::string HeaderLine(int Version);
// The object's line in Version with its CR LF, as the window's Save writes it.
void AppendObjectLine(const TPropObject& Object, int Version, std::string& Out);

// The row of the search results, in UTF-8, its cells separated by tabs, without a line end.
// Index is the object's 0-based place in its file.
void AppendRow(std::string& Out, uint64_t Index, const TPropObject& Object);
// Every field of the object as the members of a JSON object, without the braces.
void AppendJsonFields(std::string& Out, uint64_t Index, const TPropObject& Object);

bool ToStandardOutput(const TInvocation& Invocation);
// Whether the result replaces the file it is read from.
bool InPlace(const TInvocation& Invocation);
// Raises EInputError before anything is read when the result would replace something that is not
// a regular file: opening a pipe would wait for a writer, and what is read from it cannot be put
// back.
void RefuseIrregularInPlace(const TInvocation& Invocation);
// The report goes where the result does not.
void Report(const TInvocation& Invocation, const std::string& Lines);

// Sends the new file that Produce hands to its sink where the command writes it: nowhere for a
// dry run, to standard output, or over FILE (or -o OUT) once the whole of it is on disk, so an
// error raised by Produce leaves the target as it was. Produce raises TNothingChanged when the
// file would get back what it holds: it is then left as it was (same inode, same time) and
// WriteResult returns false.
struct TNothingChanged {};
bool WriteResult(const TInvocation& Invocation,
                 const std::function<void(const TByteSink& Sink)>& Produce);

// The report lines of what a conversion dropped ("Objects that lost their type or data: 12").
std::string LossLines(const TVersionLoss& Loss);
// Why a conversion to Version is refused.
std::string LossText(const TVersionLoss& Loss, int Version);
