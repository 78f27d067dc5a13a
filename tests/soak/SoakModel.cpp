#include "SoakModel.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

namespace soak {

namespace {

unsigned char UpperOf(unsigned char C) {
    if ((C >= 'a' && C <= 'z') || (C >= 0xE0 && C <= 0xFE && C != 0xF7))
        return C - 0x20;
    switch (C) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    }
    return C;
}

std::string Escaped(std::string Text) {
    for (char& C : Text)
        C = C == '\n' ? '\x80' : C == '\r' ? '\x7F' : C;
    return Text;
}

std::string Unescaped(std::string Text) {
    for (char& C : Text)
        C = C == '\x80' ? '\n' : C == '\x7F' ? '\r' : C;
    return Text;
}

std::string Hex(const std::string& Bytes) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string Text;
    for (unsigned char B : Bytes)
        Text += {Digits[B >> 4], Digits[B & 15]};
    return Text;
}

int HexValue(char C) {
    return C >= '0' && C <= '9' ? C - '0' : C >= 'A' && C <= 'F' ? C - 'A' + 10 : C - 'a' + 10;
}

bool Blank(char C) {
    return C == ' ' || C == '\r' || C == '\n' || C == 8;
}

// Integers as the line reader takes them: any blanks, then a run of '-' and digits that must be
// one 32-bit number.
bool ReadInt(const std::string& Line, std::size_t& At, int32_t& Value) {
    while (At < Line.size() && Blank(Line[At]))
        ++At;
    const std::size_t Start = At;
    while (At < Line.size() && (Line[At] == '-' || (Line[At] >= '0' && Line[At] <= '9')))
        ++At;
    const std::string Run = Line.substr(Start, At - Start);
    if (Run.empty() || Run.find('-', 1) != std::string::npos || Run == "-")
        return false;
    const long long V = std::strtoll(Run.c_str(), nullptr, 10);
    if (Run.size() > 12 || V < INT32_MIN || V > INT32_MAX)
        return false;
    Value = static_cast<int32_t>(V);
    return true;
}

std::optional<MObject> ReadLine(const std::string& Line, int Version) {
    const int Ints = Version == 2 ? 9 : Version == 3 ? 11 : 13;
    int32_t V[13];
    std::size_t At = 0;
    for (int I = 0; I < Ints; ++I)
        if (!ReadInt(Line, At, V[I]))
            return std::nullopt;
    while (At < Line.size() && Blank(Line[At]))
        ++At;
    if (At >= Line.size())
        return std::nullopt;
    const std::string Text = Line.substr(At);
    MObject O;
    std::tie(O.Owner, O.Timestamp, O.X, O.Y, O.Z, O.Yaw) = std::tie(V[0], V[1], V[2], V[3], V[4], V[5]);
    int L = 6;
    if (Version >= 3)
        O.Tilt = V[L++], O.Roll = V[L++];
    if (Version == 4)
        O.Type = V[L++];
    const int32_t Lm = V[L], Ld = V[L + 1], La = V[L + 2];
    if (Lm < 0 || Ld < 0 || La < 0)
        return std::nullopt; // never written by the driver
    std::size_t P = 0;
    const auto Cut = [&](int32_t N) {
        std::string Piece = P < Text.size() ? Text.substr(P, static_cast<std::size_t>(N)) : "";
        P += static_cast<std::size_t>(N);
        return Piece;
    };
    O.Model = Cut(Lm);
    O.Description = Unescaped(Cut(Ld));
    O.Action = Unescaped(Cut(La));
    if (Version == 4 && V[12] > 0) {
        const std::string Digits = P < Text.size() ? Text.substr(P, 2 * V[12]) : "";
        if (Digits.size() != 2 * static_cast<std::size_t>(V[12]))
            return std::nullopt;
        for (std::size_t I = 0; I < Digits.size(); I += 2)
            O.Data += static_cast<char>(HexValue(Digits[I]) * 16 + HexValue(Digits[I + 1]));
    }
    return O;
}

// One source of truth for the case-insensitive set of names.
bool Insert(std::set<std::string>& Seen, const std::string& Name) {
    return Seen.insert(Upper(Name)).second;
}

bool HasExtension(const std::string& Model) {
    const std::size_t Dot = Model.rfind('.');
    return Dot != std::string::npos && Model.find_first_of("\\:", Dot + 1) == std::string::npos;
}

bool EndsRwx(const std::string& Model) {
    return Model.size() >= 4 && Upper(Model.substr(Model.size() - 4)) == ".RWX";
}

std::vector<std::string> Pieces(const std::string& Text) {
    std::vector<std::string> Result;
    if (Text.empty())
        return Result;
    std::size_t Start = 0;
    for (std::size_t Comma; (Comma = Text.find(',', Start)) != std::string::npos; Start = Comma + 1)
        Result.push_back(Text.substr(Start, Comma - Start));
    Result.push_back(Text.substr(Start));
    return Result;
}

} // namespace

std::string WriteDump(const MObjects& Objects, int Version, bool Header) {
    std::string Out = Header ? "propdump version " + std::to_string(Version) + "\r\n" : "";
    for (const MObject& O : Objects) {
        std::vector<long long> Ints = {O.Owner, O.Timestamp, O.X, O.Y, O.Z, O.Yaw};
        if (Version >= 3)
            Ints.insert(Ints.end(), {O.Tilt, O.Roll});
        if (Version == 4)
            Ints.push_back(O.Type);
        Ints.insert(Ints.end(), {static_cast<long long>(O.Model.size()),
                                 static_cast<long long>(O.Description.size()),
                                 static_cast<long long>(O.Action.size())});
        if (Version == 4)
            Ints.push_back(static_cast<long long>(O.Data.size()));
        for (long long I : Ints)
            Out += std::to_string(I) + ' ';
        Out += O.Model + Escaped(O.Description) + Escaped(O.Action);
        if (Version == 4)
            Out += Hex(O.Data);
        Out += "\r\n";
    }
    return Out;
}

std::optional<MObjects> ReadDump(const std::string& Bytes, int& Version) {
    const std::string Text = Bytes.substr(0, Bytes.find('\0'));
    std::vector<std::string> Lines;
    for (std::size_t At = 0; At < Text.size();) {
        std::size_t End = Text.find_first_of("\r\n", At);
        if (End == std::string::npos)
            End = Text.size();
        Lines.push_back(Text.substr(At, End - At));
        At = End + (Text.compare(End, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (Lines.empty())
        return std::nullopt;
    std::size_t First = 0;
    if (Version == 0) {
        const std::string Prefix = "propdump version ";
        if (Lines[0].compare(0, Prefix.size(), Prefix) != 0)
            return std::nullopt;
        Version = std::atoi(Lines[0].c_str() + Prefix.size());
        if (Version < 2 || Version > 4)
            return std::nullopt;
        First = 1;
    }
    MObjects Objects;
    for (std::size_t I = First; I < Lines.size(); ++I) {
        std::optional<MObject> O = ReadLine(Lines[I], Version);
        if (!O)
            return std::nullopt;
        Objects.push_back(*O);
    }
    return Objects;
}

std::string Upper(std::string Text) {
    for (char& C : Text)
        C = static_cast<char>(UpperOf(static_cast<unsigned char>(C)));
    return Text;
}

bool SameText(const std::string& A, const std::string& B) {
    return Upper(A) == Upper(B);
}

bool Matches(const std::string& Pattern, const std::string& Text) {
    const std::string P = Upper(Pattern), T = Upper(Text);
    // Can[j]: the pattern read so far covers the first j characters of the text.
    std::vector<char> Can(T.size() + 1, 0);
    Can[0] = 1;
    for (char C : P) {
        std::vector<char> Next(T.size() + 1, 0);
        for (std::size_t J = 0; J <= T.size(); ++J) {
            if (C == '*')
                Next[J] = Can[J] || (J > 0 && Next[J - 1]);
            else if (J > 0)
                Next[J] = Can[J - 1] && (C == '?' || C == T[J - 1]);
        }
        Can = std::move(Next);
    }
    return Can[T.size()];
}

bool MCriteria::Finds(const MObject& O) const {
    const auto Has = [](unsigned Set, int Bit) { return (Set >> Bit) & 1; };
    const auto Holds = [&](int Bit, bool Positive) { return Positive != Has(Exclude, Bit); };
    const auto TextTest = [&](int Bit, const std::string& Criterion, const std::string& Field) {
        return Holds(Bit, Has(Exact, Bit) ? SameText(Criterion, Field) : Matches(Criterion, Field));
    };
    if (Has(On, 0)) {
        const std::vector<std::string> List = Pieces(CitNums);
        if (!Holds(0, std::find(List.begin(), List.end(), std::to_string(O.Owner)) != List.end()))
            return false;
    }
    if (Has(On, 1)) {
        const std::vector<std::string> List = Pieces(Models);
        const bool Any = std::any_of(List.begin(), List.end(),
                                     [&](const std::string& P) { return Matches(P, O.Model); });
        if (!Holds(1, Any))
            return false;
    }
    if (Has(On, 2) && !TextTest(2, Description, O.Description))
        return false;
    if (Has(On, 3) && !TextTest(3, Action, O.Action))
        return false;
    if (Has(On, 4) || Has(On, 5)) {
        const int64_t Low = Has(On, 4) ? MinTime : INT32_MIN;
        const int64_t High = Has(On, 5) ? MaxTime : INT32_MAX;
        if (O.Timestamp < Low || O.Timestamp > High)
            return false;
    }
    if (Has(On, 6) && !Holds(6, O.Type == ObjType))
        return false;
    return true;
}

std::vector<std::string> Owners(const MObjects& Objects) {
    std::vector<std::string> List;
    std::set<std::string> Seen;
    for (const MObject& O : Objects)
        if (Insert(Seen, std::to_string(O.Owner)))
            List.push_back(std::to_string(O.Owner));
    return List;
}

std::vector<std::string> ModelNames(const MObjects& Objects) {
    std::vector<std::string> List;
    std::set<std::string> Seen;
    for (const MObject& O : Objects)
        if (!O.Model.empty() && Insert(Seen, O.Model))
            List.push_back(O.Model);
    return List;
}

namespace {

template <class TTest, class TChange>
std::size_t Edit(MObjects& Objects, TTest Test, TChange Change) {
    std::size_t Changed = 0;
    for (MObject& O : Objects)
        if (Test(O))
            Change(O), ++Changed;
    return Changed;
}

} // namespace

std::size_t ReplaceOwner(MObjects& Objects, int32_t Find, int32_t To) {
    return Edit(
        Objects, [&](const MObject& O) { return Find == -1 || O.Owner == Find; },
        [&](MObject& O) { O.Owner = To; });
}

std::size_t ReplaceModel(MObjects& Objects, const std::string& Find, const std::string& To) {
    return Edit(
        Objects, [&](const MObject& O) { return SameText(O.Model, Find); },
        [&](MObject& O) { O.Model = To; });
}

std::size_t Normalize(MObjects& Objects) {
    return Edit(
        Objects, [](const MObject& O) { return O.Type == 0 && !HasExtension(O.Model); },
        [](MObject& O) { O.Model += ".rwx"; });
}

std::size_t Denormalize(MObjects& Objects) {
    return Edit(
        Objects, [](const MObject& O) { return O.Type == 0 && EndsRwx(O.Model); },
        [](MObject& O) { O.Model.resize(O.Model.size() - 4); });
}

bool Relocate(MObject& O, int32_t Tenths, int32_t CX, int32_t CZ, int32_t DX, int32_t DY,
              int32_t DZ) {
    const int Quarters = ((Tenths / 900) % 4 + 4) % 4;
    int64_t X = int64_t{O.X} - CX, Z = int64_t{O.Z} - CZ;
    // North turns towards west: a quarter turn takes (dx, dz) to (dz, -dx).
    for (int Q = 0; Q < Quarters; ++Q)
        std::tie(X, Z) = std::make_tuple(Z, -X);
    X += CX + int64_t{DX};
    Z += CZ + int64_t{DZ};
    const int64_t Y = int64_t{O.Y} + DY;
    for (int64_t V : {X, Y, Z})
        if (V < INT32_MIN || V > INT32_MAX)
            return false;
    O.X = static_cast<int32_t>(X), O.Y = static_cast<int32_t>(Y), O.Z = static_cast<int32_t>(Z);
    if (Quarters != 0)
        O.Yaw = static_cast<int32_t>(((int64_t{O.Yaw} + Quarters * 900) % 3600 + 3600) % 3600);
    return true;
}

std::vector<std::size_t> Differences(const MObjects& Old, const MObjects& New) {
    using TPlace = std::tuple<int32_t, int32_t, int32_t>;
    std::map<TPlace, std::vector<std::size_t>> Unpaired;
    for (std::size_t I = 0; I < Old.size(); ++I)
        Unpaired[{Old[I].X, Old[I].Y, Old[I].Z}].push_back(I);
    std::vector<std::size_t> Listed;
    for (std::size_t I = 0; I < New.size(); ++I) {
        std::vector<std::size_t>& Here = Unpaired[{New[I].X, New[I].Y, New[I].Z}];
        const auto Equal = std::find_if(Here.begin(), Here.end(),
                                        [&](std::size_t J) { return Old[J] == New[I]; });
        if (Equal != Here.end())
            Here.erase(Equal);
        else
            Listed.push_back(I);
    }
    return Listed;
}

std::vector<std::size_t> Lacking(const MObjects& Held, const MObjects& Other) {
    using TPlace = std::tuple<int32_t, int32_t, int32_t>;
    std::map<TPlace, std::vector<std::size_t>> Unpaired;
    for (std::size_t I = 0; I < Held.size(); ++I)
        Unpaired[{Held[I].X, Held[I].Y, Held[I].Z}].push_back(I);
    // Equal objects pair first; what is left at a place pairs in file order.
    std::vector<std::size_t> Left;
    for (std::size_t I = 0; I < Other.size(); ++I) {
        std::vector<std::size_t>& Here = Unpaired[{Other[I].X, Other[I].Y, Other[I].Z}];
        const auto Equal = std::find_if(Here.begin(), Here.end(),
                                        [&](std::size_t J) { return Held[J] == Other[I]; });
        if (Equal != Here.end())
            Here.erase(Equal);
        else
            Left.push_back(I);
    }
    std::vector<std::size_t> Lacks;
    for (std::size_t I : Left) {
        std::vector<std::size_t>& Here = Unpaired[{Other[I].X, Other[I].Y, Other[I].Z}];
        if (Here.empty())
            Lacks.push_back(I);
        else
            Here.erase(Here.begin());
    }
    return Lacks;
}

MObject InVersion(MObject O, int Version) {
    if (Version < 4)
        O.Type = 0, O.Data.clear();
    if (Version < 3)
        O.Tilt = O.Roll = 0;
    return O;
}

} // namespace soak
