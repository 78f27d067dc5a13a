#include "ops/CsvRow.h"

#include "model/Base16.h"
#include "model/CodePage.h"
#include "ops/ObjectTypeLabels.h"
#include "text/DateTimeText.h"

namespace {

// Quotes only where a reader needs them, so that plain rows stay plain.
void AppendText(std::string& Out, std::string_view Bytes) {
    if (Bytes.find_first_of(",\"\r\n") == std::string_view::npos) {
        Append1252AsUtf8(Out, Bytes);
        return;
    }
    Out += '"';
    for (std::size_t At = 0;;) {
        const std::size_t Quote = Bytes.find('"', At);
        Append1252AsUtf8(Out, Bytes.substr(At, Quote - At));
        if (Quote == std::string_view::npos)
            break;
        Out += "\"\"";
        At = Quote + 1;
    }
    Out += '"';
}

void AppendNumber(std::string& Out, int64_t Value) {
    Out += std::to_string(Value);
    Out += ',';
}

} // namespace

std::string_view CsvHeader() {
    return "position,owner,timestamp,time,x,y,z,yaw,tilt,roll,type,model,description,action,data"
           "\r\n";
}

void AppendCsvRow(std::string& Out, uint64_t Index, const TPropObject& Object) {
    AppendNumber(Out, static_cast<int64_t>(Index + 1));
    AppendNumber(Out, Object.Owner);
    AppendNumber(Out, Object.Timestamp);
    Out += FormatIsoDateTime(SecondsToDateTime(Object.Timestamp));
    Out += ',';
    for (const int32_t Value : {Object.X, Object.Y, Object.Z, Object.Yaw, Object.Tilt, Object.Roll})
        AppendNumber(Out, Value);
    // A type without a name keeps its number, so that no type reads as another.
    const std::string_view Name = ObjectTypeShortName(Object.ObjectType);
    if (!Name.empty())
        Out += Name;
    else if (Object.ObjectType != 0)
        Out += std::to_string(Object.ObjectType);
    Out += ',';
    for (const std::string* Text : {&Object.Model, &Object.Description, &Object.Action}) {
        AppendText(Out, *Text);
        Out += ',';
    }
    Base16Append(Out, Object.Data.data(), Object.Data.size());
    Out += "\r\n";
}
