#include "cli/CommandOutput.h"

#include "cli/Errors.h"
#include "cli/Progress.h"
#include "cli/TextCodec.h"
#include "model/Base16.h"
#include "ops/CountText.h"
#include "ops/SearchResultRow.h"

#include <cerrno>
#include <cstdio>
#include <utility>

void WriteOut(std::string_view Text) {
    TProgress::EraseShown();
    if (!Text.empty())
        std::fwrite(Text.data(), 1, Text.size(), stdout);
}

void FlushOut() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        ThrowFileError(errno, "Cannot write standard output");
}

std::string Counted(std::string_view Label, uint64_t Count) {
    return std::string(Label) + GroupThousands(static_cast<long long>(Count));
}

std::string HeaderLine(int Version) {
    return "propdump version " + std::to_string(Version) + "\r\n";
}

void AppendObjectLine(const TPropObject& Object, int Version, std::string& Out) {
    Object.AppendLine(Version, Out);
    Out += "\r\n";
}

void AppendRow(std::string& Out, uint64_t Index, const TPropObject& Object) {
    const TSearchResultRow Row = SearchResultRow(static_cast<int64_t>(Index), Object);
    Out += std::to_string(Row.Position);
    for (const std::string* Cell : {&Row.Owner, &Row.DateTime, &Row.Location, &Row.Model}) {
        Out += '\t';
        Append1252AsUtf8(Out, *Cell);
    }
}

void AppendJsonFields(std::string& Out, uint64_t Index, const TPropObject& Object) {
    Out += "\"position\":" + std::to_string(Index + 1);
    const std::pair<const char*, int32_t> Numbers[] = {{"owner", Object.Owner},
                                                       {"timestamp", Object.Timestamp},
                                                       {"x", Object.X},
                                                       {"y", Object.Y},
                                                       {"z", Object.Z},
                                                       {"yaw", Object.Yaw},
                                                       {"tilt", Object.Tilt},
                                                       {"roll", Object.Roll},
                                                       {"type", Object.ObjectType}};
    for (const auto& [Name, Value] : Numbers)
        Out += std::string(",\"") + Name + "\":" + std::to_string(Value);
    for (const auto& [Name, Text] :
         {std::pair{"model", &Object.Model}, std::pair{"description", &Object.Description},
          std::pair{"action", &Object.Action}}) {
        Out += std::string(",\"") + Name + "\":";
        AppendJsonString(Out, *Text);
    }
    Out += ",\"data\":\"";
    Base16Append(Out, Object.Data.data(), Object.Data.size());
    Out += '"';
}

bool ToStandardOutput(const TInvocation& Invocation) {
    return Invocation.Output == "-" || (Invocation.Output.empty() && Invocation.File == "-");
}

void Report(const TInvocation& Invocation, const std::string& Lines) {
    TProgress::EraseShown();
    if (!Invocation.DryRun && ToStandardOutput(Invocation))
        std::fputs(Lines.c_str(), stderr);
    else
        WriteOut(Lines);
    if (Invocation.DryRun)
        std::fputs("propdump: dry run: nothing written\n", stderr);
}

bool InPlace(const TInvocation& Invocation) {
    if (Invocation.DryRun || ToStandardOutput(Invocation) || Invocation.File == "-")
        return false;
    return Invocation.Output.empty() ||
           IdentifyFile(Invocation.Output).SameFileAs(IdentifyFile(Invocation.File));
}

void RefuseIrregularInPlace(const TInvocation& Invocation) {
    if (!InPlace(Invocation))
        return;
    const TFileIdentity Input = IdentifyFile(Invocation.File);
    if (Input.Exists && !Input.Regular)
        throw EInputError(Invocation.File, 0,
                          "not a regular file, so it cannot be rewritten in place; write the "
                          "result elsewhere with -o OUT");
}

bool WriteResult(const TInvocation& Invocation,
                 const std::function<void(const TByteSink& Sink)>& Produce) {
    TSystemFileWriter Writer;
    if (Invocation.DryRun) {
        Produce([](const char*, std::size_t) {});
    } else if (ToStandardOutput(Invocation)) {
        std::error_code Error;
        const FileSystem::TFile Out = FileSystem::OpenStandardOutput(Error);
        if (Error)
            ThrowFileError(Error, "Cannot write standard output");
        Produce([&](const char* Data, std::size_t Size) { Writer.Write(Out, Data, Size); });
    } else
        try {
            SaveFileAtomically(Invocation.Output.empty() ? Invocation.File : Invocation.Output,
                               Writer, Produce);
        } catch (const TNothingChanged&) {
            return false;
        }
    return true;
}

std::string LossLines(const TVersionLoss& Loss) {
    std::string Lines;
    if (Loss.TypeOrData != 0)
        Lines += Counted("Objects that lost their type or data: ", Loss.TypeOrData) + '\n';
    if (Loss.TiltOrRoll != 0)
        Lines += Counted("Objects that lost their tilt or roll: ", Loss.TiltOrRoll) + '\n';
    return Lines;
}
