// The soak: seeded random sequences of commands in the real main window, each step checked
// against the reference model of SoakModel.h. A failing sequence is shrunk to the shortest one
// that still fails and printed as a regression case for Regressions.h.
//
//   soak_driver SECONDS [SEED]   random cases until the time is up
//   soak_driver --regressions    the kept cases, once each
//   soak_driver --cases N SEED   N random cases
//   soak_driver --tool SECONDS [SEED]  propdump's commands chained, against the window's
//   soak_driver --allocations    load, save, a bulk edit and a deletion, with each of their
//                                allocations failing in turn

#include "SoakModel.h"
#include "support/DialogTesting.h"
#include "tests/model/ScratchFiles.h"
#include "tests/support/FailingNew.h"
#include "support/FakePlatform.h"

#include "ops/MapArea.h"
#include "ui/Command.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"
#include "ui/uFrmObject.h"
#include "ui/uFrmSearch.h"
#include "ui/uFrmSetVersion.h"
#include "ui/uMainForm.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <sstream>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace soak;

namespace {

#define SOAK_COMMANDS(X)                                                                           \
    X(Open) X(OpenHeaderless) X(OpenMissing) X(Save) X(SaveAs) X(SaveAsFails) X(Close) X(Revert) \
    X(ReplaceCitNum) X(ReplaceModel) X(Normalize) X(Denormalize) X(Criteria) X(Search) X(Delete) \
    X(Clear) X(EditObject) X(Undo) X(Redo) X(UndoRedo) X(AreaFind) X(Move) X(Import) X(Compare)  \
    X(Exit) X(SaveFault)

enum TKind {
#define SOAK_ENUM(Name) k##Name,
    SOAK_COMMANDS(SOAK_ENUM)
#undef SOAK_ENUM
        KindCount
};

const char* const KindNames[] = {
#define SOAK_NAME(Name) "k" #Name,
    SOAK_COMMANDS(SOAK_NAME)
#undef SOAK_NAME
};

// How often each command is drawn, in the order above.
const int Weights[KindCount] = {4, 2, 1, 4, 2, 1, 2, 3, 6, 6, 3, 3, 6, 8, 4, 3, 6, 6, 4, 4, 4, 5,
                                3, 3, 1, 2};

struct TCommand {
    int Kind;
    uint32_t Seed;
};

struct TCase {
    uint32_t Seed;
    std::vector<TCommand> Commands;
};

} // namespace

#include "Regressions.h"

namespace {

using TRng = std::mt19937;

template <class T> const T& Pick(TRng& Rng, const std::vector<T>& From) {
    return From[Rng() % From.size()];
}

bool Chance(TRng& Rng, int Percent) {
    return static_cast<int>(Rng() % 100) < Percent;
}

int32_t Between(TRng& Rng, int32_t Low, int32_t High) {
    return Low + static_cast<int32_t>(Rng() % static_cast<uint32_t>(High - Low + 1));
}

const std::vector<std::string> ModelPool = {
    "tree",     "TREE.RWX", "bush.rwx", "Tree.rwx", "rock01", "sign.rwx", "wall.RWX", "pole.",
    "dir.rwx\\tree", "a.rwx.rwx", "\xE9t\xE9.rwx", "\xC9T\xC9.RWX", "zebra"};
const std::vector<std::string> TextPool = {
    "", "", "for sale", "For Sale", "red box", "a\r\nb", "*", "line one\nline two", "caf\xE9"};
const std::vector<int32_t> OwnerPool = {1, 5, 7, 104, 253811, -1, 0};

MObject RandomObject(TRng& Rng, int Version) {
    MObject O;
    O.Owner = Pick(Rng, OwnerPool);
    O.Timestamp = Chance(Rng, 5) ? -Between(Rng, 1, 1000) : Between(Rng, 999999000, 1000001000);
    O.X = Between(Rng, -20000, 20000);
    O.Y = Between(Rng, -500, 5000);
    O.Z = Between(Rng, -20000, 20000);
    O.Yaw = Between(Rng, 0, 3599);
    if (Version >= 3)
        O.Tilt = Between(Rng, -10, 10), O.Roll = Between(Rng, -10, 10);
    if (Version == 4 && Chance(Rng, 20)) {
        O.Type = Pick(Rng, std::vector<int32_t>{1, 2, 3, 4, 5, 7});
        for (int I = Between(Rng, 0, 6); I > 0; --I)
            O.Data += static_cast<char>(Rng() & 0xFF);
    }
    O.Model = Pick(Rng, ModelPool);
    O.Description = Pick(Rng, TextPool);
    O.Action = Chance(Rng, 30) ? "create color red" : "";
    return O;
}

MObjects RandomObjects(TRng& Rng, int Version, int Max) {
    MObjects Objects(static_cast<std::size_t>(Between(Rng, 0, Max)));
    for (MObject& O : Objects)
        O = RandomObject(Rng, Version);
    return Objects;
}

QString Counted(std::size_t N) {
    std::string Digits = std::to_string(N);
    for (int At = static_cast<int>(Digits.size()) - 3; At > 0; At -= 3)
        Digits.insert(static_cast<std::size_t>(At), ",");
    return QString::fromStdString(Digits);
}

QString Objects(std::size_t N, const char* Noun) {
    return Counted(N) + ' ' + Noun + (N == 1 ? "" : "s");
}

QString Latin(const std::string& Bytes) {
    return QString::fromLatin1(Bytes.data(), static_cast<int>(Bytes.size()));
}

// Compass text of whole thousandths: "1.5S 2W".
QString PositionText(int32_t Z, int32_t X) {
    return QStringLiteral("%1%2 %3%4")
        .arg(std::abs(Z) / 1000.0)
        .arg(Z < 0 ? 'S' : 'N')
        .arg(std::abs(X) / 1000.0)
        .arg(X < 0 ? 'E' : 'W');
}

std::string ReadFile(const QString& Path) {
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return {};
    return File.readAll().toStdString();
}

void WriteFile(const QString& Path, const std::string& Bytes) {
    QFile File(Path);
    if (!File.open(QIODevice::WriteOnly) ||
        File.write(Bytes.data(), static_cast<qint64>(Bytes.size())) != qint64(Bytes.size()))
        qFatal("cannot write %s", qPrintable(Path));
}

MObjects AsSaved(MObjects Objects, int Version) {
    for (MObject& O : Objects)
        O = InVersion(O, Version);
    return Objects;
}

// Writes Limit bytes, then raises Signal, then writes the rest.
class TSignallingWriter : public TFileWriter {
public:
    TSignallingWriter(std::size_t Limit, int Signal) : Limit(Limit), Signal(Signal) {}
    void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) override {
        const std::size_t First = std::min(Size, Limit - std::min(Limit, Written));
        Plain.Write(File, Data, First);
        Written += First;
        if (First < Size) {
            ::raise(Signal);
            Plain.Write(File, Data + First, Size - First);
        }
    }

private:
    std::size_t Limit, Written = 0;
    int Signal;
    TSystemFileWriter Plain;
};

// What a change does to the search results when it is undone or redone.
enum class TAfterStep { Refresh, ClearResults, Repaint };

struct MStep {
    QString Name;
    MObjects Before, After;
    TAfterStep After_;
};

// The file as the model expects it on disk.
struct MFile {
    MObjects Objects;
    int Version;
    bool Header;
};

// Everything the window should show, kept by the model.
struct MWindow {
    MObjects Objects;
    int Version = 0;
    QString File; // empty: no document
    // The objects as of the last refresh of the summary: the count and the two lists show them.
    MObjects Listed;
    std::vector<int> Results; // 1-based positions
    std::vector<MStep> Done, Undone;
    std::size_t SavedLevel = 0;
    bool SavedLost = false;
    MCriteria Criteria;
    std::optional<std::pair<MArea, bool>> Area;
    bool Unsaved() const {
        return !File.isEmpty() && (SavedLost || SavedLevel != Done.size());
    }
};

class TSoakCase {
public:
    explicit TSoakCase(uint32_t Seed) : Seed(Seed) {
        Form = std::make_unique<TMainForm>();
        TRng Rng(Seed);
        const int Version = Between(Rng, 2, 4);
        const QString Path = Dir.filePath("start.pd");
        Files[Path] = {RandomObjects(Rng, Version, 40), Version, true};
        WriteFile(Path, WriteDump(Files[Path].Objects, Version));
        Fake.OpenFileAnswers.enqueue(Path);
        Form->OpenFile->trigger();
        WaitIdle();
        Loaded(Path);
    }

    // The first difference between the window and the model after Commands, or empty.
    std::string Run(const std::vector<TCommand>& Commands, std::size_t& Ran) {
        std::string Failure = Check();
        for (Ran = 0; Ran < Commands.size() && Failure.empty(); ++Ran) {
            Step(Commands[Ran]);
            Failure = Check();
            if (!Failure.empty())
                Failure = "after command " + std::to_string(Ran + 1) + " (" +
                          KindNames[Commands[Ran].Kind] + "): " + Failure;
        }
        return Failure;
    }

private:
    // A command has finished once the window is idle again: no walk over the objects, no search
    // under way. Commands that come back before their work is done end here.
    void WaitIdle() {
        QCoreApplication::processEvents();
        while (Form->LongLoopRunning() || !Form->DoSearch->isEnabled())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    void Loaded(const QString& Path) {
        const MFile& F = Files[Path];
        M.Objects = M.Listed = F.Objects;
        M.Version = F.Version;
        M.File = Path;
        M.Done.clear();
        M.Undone.clear();
        M.SavedLevel = 0;
        M.SavedLost = false;
    }

    void ClearResults() {
        M.Results.clear();
        M.Area.reset();
    }

    void Change(const QString& Name, const MObjects& Before, TAfterStep After) {
        if (M.SavedLevel > M.Done.size())
            M.SavedLost = true;
        M.Undone.clear();
        M.Done.push_back({Name, Before, M.Objects, After});
        // An object edited in the editor only has the objects list repainted.
        if (After != TAfterStep::Repaint)
            M.Listed = M.Objects;
    }

    void Saved() {
        Files[M.File] = {AsSaved(M.Objects, M.Version), M.Version, true};
        M.SavedLevel = M.Done.size();
        M.SavedLost = false;
        CheckFile = M.File;
    }

    // The question about unsaved changes before the document goes; false: it stays.
    bool MayDiscard(TRng& Rng) {
        if (!M.Unsaved())
            return true;
        const int Answer = static_cast<int>(Rng() % 3);
        Fake.MessageAnswers.enqueue(Answer == 0   ? QMessageBox::Save
                                    : Answer == 1 ? QMessageBox::Discard
                                                  : QMessageBox::Cancel);
        if (Answer == 0)
            Saved();
        return Answer != 2;
    }

    void Answer(bool Yes) {
        Fake.MessageAnswers.enqueue(Yes ? QMessageBox::Yes : QMessageBox::No);
    }

    void Modal(std::function<int(QDialog&)> Handler) {
        Fake.ModalHandlers.enqueue(std::move(Handler));
    }

    // A file for Open, Import or Compare: another generated one, or one already written.
    QString SomeFile(TRng& Rng, bool Header) {
        if (Header && Chance(Rng, 30)) {
            std::vector<QString> Known;
            for (const auto& [Path, F] : Files)
                if (F.Header && QFile::exists(Path))
                    Known.push_back(Path);
            if (!Known.empty())
                return Pick(Rng, Known);
        }
        const QString Path = Dir.filePath(QStringLiteral("gen-%1.pd").arg(++FileCount));
        const int Version = Between(Rng, 2, 4);
        Files[Path] = {RandomObjects(Rng, Version, 30), Version, Header};
        WriteFile(Path, WriteDump(Files[Path].Objects, Version, Header));
        return Path;
    }

    void Open(TRng& Rng, TKind Kind) {
        if (!MayDiscard(Rng))
            return;
        const QString Path = Kind == kOpenMissing ? Dir.filePath("missing.pd")
                                                  : SomeFile(Rng, Kind != kOpenHeaderless);
        const bool Cancelled = Chance(Rng, 10);
        Fake.OpenFileAnswers.enqueue(Cancelled ? QString() : Path);
        if (Cancelled)
            return;
        ClearResults();
        if (Kind == kOpenMissing) {
            ExpectError = true;
            return;
        }
        if (Kind == kOpenHeaderless && Files[Path].Objects.empty()) {
            ExpectError = true; // an empty file is no dump whatever its version
            return;
        }
        if (Kind == kOpenHeaderless) {
            const bool Chosen = Chance(Rng, 80);
            const int Version = Files[Path].Version;
            Modal([Chosen, Version](QDialog& Dialog) {
                auto& Frm = static_cast<TFrmSetVersion&>(Dialog);
                if (!Chosen)
                    return int(QDialog::Rejected);
                Frm.RadioItems->button(Version - 2)->click();
                Frm.OkButton->click();
                return Frm.result();
            });
            if (!Chosen)
                return;
        }
        Loaded(Path);
    }

    void SaveAs(TRng& Rng, bool Fails) {
        if (M.File.isEmpty())
            return;
        const QString Path = Fails ? QStringLiteral("/nonexistent-folder/x.pd")
                                   : Dir.filePath(QStringLiteral("saved-%1.pd").arg(Rng() % 8));
        Fake.SaveFileAnswers.enqueue(Path);
        if (Fails) {
            M.SavedLost = true;
            ExpectError = true;
            return;
        }
        M.File = Path;
        Saved();
    }

    void Revert(TRng& Rng) {
        if (M.File.isEmpty())
            return;
        const bool Yes = Chance(Rng, 70);
        Answer(Yes);
        if (!Yes)
            return;
        ClearResults();
        if (!Files[M.File].Header) {
            ExpectError = true;
            return;
        }
        Loaded(M.File);
    }

    // Runs a bulk edit the model has done on Objects; a change becomes an undo step.
    void Bulk(const QString& Name, const MObjects& Before, std::size_t Changed) {
        if (Changed > 0)
            Change(Name, Before, TAfterStep::Refresh);
    }

    void ReplaceCitNum(TRng& Rng) {
        static const std::vector<std::string> Bad = {"", "abc", "5x", "12345678901"};
        std::vector<std::string> Good = {"-1", "5", "104", "0", "-7", "99"};
        for (const std::string& Owner : Owners(M.Objects))
            Good.push_back(Owner);
        std::string Find = Pick(Rng, Good), To = Pick(Rng, Good);
        if (Chance(Rng, 15))
            (Chance(Rng, 50) ? Find : To) = Pick(Rng, Bad);
        Form->FindCitNum->setText(Latin(Find));
        Form->ReplaceCitNum->setText(Latin(To));
        const auto IsNumber = [](const std::string& T) {
            return !T.empty() && T.size() < 11 && T.find_first_not_of("-0123456789") == T.npos;
        };
        if (!IsNumber(Find) || !IsNumber(To)) {
            ExpectError = true;
            return;
        }
        const MObjects Before = M.Objects;
        const std::size_t N = soak::ReplaceOwner(M.Objects, std::stoi(Find), std::stoi(To));
        Bulk("Citizen number replacement (" + Objects(N, "object") + ")", Before, N);
    }

    void ReplaceModel(TRng& Rng) {
        std::vector<std::string> Names = ModelPool;
        for (const std::string& Name : ModelNames(M.Objects))
            Names.push_back(Chance(Rng, 50) ? Name : Upper(Name));
        const std::string Find = Chance(Rng, 10) ? "" : Pick(Rng, Names);
        const std::string To = Chance(Rng, 10) ? Find : Pick(Rng, ModelPool);
        Form->FindModelName->setText(Latin(Find));
        Form->ReplaceModelName->setText(Latin(To));
        if (Find == To)
            return;
        const MObjects Before = M.Objects;
        const std::size_t N = soak::ReplaceModel(M.Objects, Find, To);
        M.Listed = M.Objects; // also when nothing changed
        Bulk("Model replacement (" + Objects(N, "object") + ")", Before, N);
    }

    void Suffix(TRng& Rng, bool Adding) {
        const bool Yes = Chance(Rng, 80);
        Answer(Yes);
        if (!Yes)
            return;
        const MObjects Before = M.Objects;
        const std::size_t N = Adding ? soak::Normalize(M.Objects) : soak::Denormalize(M.Objects);
        Bulk(Adding ? "Normalize" : "Denormalize", Before, N);
    }

    MCriteria RandomCriteria(TRng& Rng) {
        MCriteria C;
        for (int Bit = 0; Bit < 7; ++Bit) {
            if (Chance(Rng, 25))
                C.On |= 1u << Bit;
            if (Chance(Rng, 25))
                C.Exclude |= 1u << Bit;
            if (Chance(Rng, 25))
                C.Exact |= 1u << Bit;
        }
        std::vector<std::string> Owned = {"5", "7", "104", "", "5,7", "5,,7", "5, 7", "-1,0"};
        for (const std::string& Owner : Owners(M.Objects))
            Owned.push_back(Owner);
        C.CitNums = Pick(Rng, Owned);
        C.Models = Pick(Rng, std::vector<std::string>{"tree*", "tree*,BUSH.RWX", "*.rwx", "*",
                                                      "", "t?ee", "*e*,", "\xC9T\xC9.rwx"});
        const std::vector<std::string> Texts = {"for sale", "*sale*", "*", "", "*line*", "F?R*",
                                                "caf\xC9", "create*", "*red*"};
        C.Description = Pick(Rng, Texts);
        C.Action = Pick(Rng, Texts);
        C.MinTime = Between(Rng, 999999000, 1000001000);
        C.MaxTime = Between(Rng, 999999000, 1000001000);
        C.ObjType = Between(Rng, 2, 5);
        return C;
    }

    void Criteria(TRng& Rng) {
        const bool Ok = Chance(Rng, 85);
        const MCriteria C = RandomCriteria(Rng);
        Modal([Ok, C](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmSearch&>(Dialog);
            if (!Ok)
                return int(QDialog::Rejected);
            TSearchCriteria& S = Frm.Criteria;
            S = TSearchCriteria();
            for (int Bit = 0; Bit < 7; ++Bit) {
                const auto Field = static_cast<TSearchField>(Bit);
                S.Fields.Set(Field, (C.On >> Bit) & 1);
                S.Exclude.Set(Field, (C.Exclude >> Bit) & 1);
                S.ExactMatch.Set(Field, (C.Exact >> Bit) & 1);
            }
            S.CitNumsText = C.CitNums;
            S.ModelsText = C.Models;
            S.DescriptionText = C.Description;
            S.ActionText = C.Action;
            S.MinTime = 25569 + static_cast<double>(C.MinTime) / 86400;
            S.MaxTime = 25569 + static_cast<double>(C.MaxTime) / 86400;
            S.ObjType = C.ObjType;
            Frm.FormShow();
            Frm.OkButton->click();
            return Frm.result();
        });
        if (!Ok)
            return;
        M.Criteria = C;
        M.Area.reset();
    }

    bool NoObjects() {
        return M.Objects.empty();
    }

    void List(const std::function<bool(const MObject&)>& Finds) {
        M.Results.clear();
        for (std::size_t I = 0; I < M.Objects.size(); ++I)
            if (Finds(M.Objects[I]))
                M.Results.push_back(static_cast<int>(I + 1));
    }

    void Search() {
        if (NoObjects())
            return;
        if (M.Area) {
            const auto [Area, With] = *M.Area;
            List([&](const MObject& O) { return Area.Contains(O) && (!With || M.Criteria.Finds(O)); });
            return;
        }
        if (M.Criteria.On == 0) {
            M.Results.clear();
            ExpectError = true;
            return;
        }
        List([&](const MObject& O) { return M.Criteria.Finds(O); });
    }

    void AreaFind(TRng& Rng) {
        const int32_t X1 = Between(Rng, -25000, 25000), X2 = Between(Rng, -25000, 25000);
        const int32_t Z1 = Between(Rng, -25000, 25000), Z2 = Between(Rng, -25000, 25000);
        const bool With = Chance(Rng, 40);
        RunCommand(Form.get(), [&] {
            Form->FindObjectsInArea(TMapArea::FromCorners(X1, Z1, X2, Z2), With);
        });
        if (NoObjects())
            return;
        if (With && M.Criteria.On == 0) {
            ExpectError = true;
            return;
        }
        M.Area = {{std::min(X1, X2), std::max(X1, X2), std::min(Z1, Z2), std::max(Z1, Z2)}, With};
        Search();
    }

    void Delete(TRng& Rng) {
        if (!Form->DeleteSearchResults->isEnabled())
            return;
        const bool Yes = Chance(Rng, 80);
        Answer(Yes);
        if (!Yes)
            return;
        const MObjects Before = M.Objects;
        std::vector<char> Gone(M.Objects.size(), 0);
        for (int P : M.Results)
            Gone[static_cast<std::size_t>(P - 1)] = 1;
        MObjects Kept;
        for (std::size_t I = 0; I < Before.size(); ++I)
            if (!Gone[I])
                Kept.push_back(Before[I]);
        M.Objects = Kept;
        const std::size_t N = Before.size() - Kept.size();
        if (N > 0)
            Change("Delete of " + Objects(N, "found object"), Before, TAfterStep::ClearResults);
        M.Listed = M.Objects;
        ClearResults();
    }

    void EditObject(TRng& Rng) {
        if (M.Objects.empty())
            return;
        const std::size_t At = Rng() % M.Objects.size();
        MObject& O = M.Objects[At];
        const auto Edit = [&] {
            RunCommand(Form.get(),
                       [&] { Form->EditObject(Form->Propdump.Item(static_cast<int>(At)), false); });
        };
        if (O.Type != 0)
            return Edit();
        // The fields in the order OK writes them back; a value that is no number stops there.
        const std::vector<std::string> Numbers = {"77", "-3", "0", "104", "x1", "", "99999999999"};
        const bool Typed[4] = {Chance(Rng, 40), Chance(Rng, 50), Chance(Rng, 30), Chance(Rng, 30)};
        const std::string Texts[4] = {Pick(Rng, ModelPool), Pick(Rng, Numbers), Pick(Rng, Numbers),
                                      Pick(Rng, Numbers)};
        const int Button = static_cast<int>(Rng() % 4); // OK Yes, OK No, OK Cancel, Cancel
        Modal([=, this](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmObject&>(Dialog);
            QLineEdit* const Edits[4] = {Frm.Edit1, Frm.Edit3, Frm.Edit5, Frm.Edit6};
            for (int F = 0; F < 4; ++F)
                if (Typed[F]) {
                    Edits[F]->selectAll();
                    QTest::keyClick(Edits[F], Qt::Key_Delete);
                    TypeText(Edits[F], Latin(Texts[F]));
                }
            if (Button == 3) {
                Fake.MessageAnswers.enqueue(QMessageBox::Yes);
                Frm.CancelButton->click();
            } else {
                Fake.MessageAnswers.enqueue(Button == 0   ? QMessageBox::Yes
                                            : Button == 1 ? QMessageBox::No
                                                          : QMessageBox::Cancel);
                Frm.OkButton->click();
            }
            Fake.MessageAnswers.clear();
            return Frm.result();
        });
        Edit();
        if (Button != 0)
            return;
        // A value that is no number refuses the whole edit.
        MObject Edited = O;
        int32_t* const Numeric[3] = {&Edited.Owner, &Edited.Tilt, &Edited.Roll};
        if (Typed[0])
            Edited.Model = Texts[0];
        for (int F = 1; F < 4; ++F) {
            const std::string& T = Texts[F];
            if (!Typed[F])
                continue;
            if (T.empty() || T.size() > 10 || T.find_first_not_of("-0123456789") != T.npos) {
                ExpectError = true;
                return;
            }
            *Numeric[F - 1] = std::stoi(T);
        }
        const MObject Before = O;
        const MObjects All = M.Objects;
        O = Edited;
        if (!(O == Before)) {
            MObjects Old = All;
            Old[At] = Before;
            Change("Edit of object " + QString::number(At + 1), Old, TAfterStep::Repaint);
        }
    }

    void History(bool Undoing) {
        std::vector<MStep>& From = Undoing ? M.Done : M.Undone;
        std::vector<MStep>& To = Undoing ? M.Undone : M.Done;
        if (From.empty())
            return;
        MStep Step = From.back();
        From.pop_back();
        M.Objects = Undoing ? Step.Before : Step.After;
        if (Step.After_ != TAfterStep::Repaint)
            M.Listed = M.Objects;
        if (Step.After_ == TAfterStep::ClearResults)
            ClearResults();
        To.push_back(std::move(Step));
    }

    void Move(TRng& Rng) {
        if (M.Results.empty())
            return;
        const int32_t DX = Between(Rng, -3, 3) * 1000, DZ = Between(Rng, -3, 3) * 500;
        const int32_t Turn = Pick(Rng, std::vector<int32_t>{0, 0, 90, -90, 180, 270, 360});
        const int32_t CX = Between(Rng, -10, 10) * 1000, CZ = Between(Rng, -10, 10) * 1000;
        const bool Copy = Chance(Rng, 30), Yes = Chance(Rng, 85);
        Modal([=](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmMove&>(Dialog);
            Frm.OffsetEdit->setText(PositionText(DZ, DX));
            Frm.TurnEdit->setText(QString::number(Turn));
            Frm.CentreEdit->setText(PositionText(CZ, CX));
            Frm.CopyCheck->setChecked(Copy);
            Frm.OkButton->click();
            return Frm.result();
        });
        if (!Copy && DX == 0 && DZ == 0 && Turn % 360 == 0) {
            ExpectError = true; // the dialog refuses a move by nothing
            return;
        }
        Answer(Yes);
        if (!Yes)
            return;
        const MObjects Before = M.Objects;
        const std::vector<int> Found = M.Results;
        for (std::size_t I = 0; I < Found.size(); ++I) {
            MObject O = Before[static_cast<std::size_t>(Found[I] - 1)];
            Relocate(O, Turn * 10, CX, CZ, DX, 0, DZ);
            if (Copy) {
                M.Objects.push_back(O);
                M.Results[I] = static_cast<int>(M.Objects.size());
            } else {
                M.Objects[static_cast<std::size_t>(Found[I] - 1)] = O;
            }
        }
        // Copies are listed as results of their own; moved objects stay what the search found.
        if (Copy)
            M.Area.reset();
        Change((Copy ? "Copy of " : "Move of ") + Objects(Found.size(), "object"), Before,
               Copy ? TAfterStep::ClearResults : TAfterStep::Refresh);
    }

    void Import(TRng& Rng) {
        if (M.File.isEmpty())
            return;
        // Some of the document's own objects, so that "only what it lacks" has work to do.
        const QString Path = Dir.filePath(QStringLiteral("other-%1.pd").arg(++FileCount));
        MObjects Other = RandomObjects(Rng, M.Version, 8);
        for (const MObject& O : M.Objects)
            if (Chance(Rng, 30))
                Other.push_back(InVersion(O, M.Version));
        std::shuffle(Other.begin(), Other.end(), Rng);
        Files[Path] = {Other, M.Version, true};
        WriteFile(Path, WriteDump(Other, M.Version));
        const bool Ok = Chance(Rng, 85), Criteria = Chance(Rng, 40) && M.Criteria.On != 0,
                   Missing = Chance(Rng, 50);
        const int32_t DX = Chance(Rng, 50) ? 0 : Between(Rng, -2, 2) * 1000;
        Fake.OpenFileAnswers.enqueue(Path);
        Modal([=](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmImport&>(Dialog);
            if (!Ok)
                return int(QDialog::Rejected);
            Frm.CriteriaCheck->setChecked(Criteria);
            Frm.MissingCheck->setChecked(Missing);
            Frm.OffsetEdit->setText(DX == 0 ? QString() : PositionText(0, DX));
            Frm.OkButton->click();
            return Frm.result();
        });
        if (!Ok)
            return;
        MObjects Chosen;
        for (MObject O : Other)
            if (!Criteria || M.Criteria.Finds(O)) {
                Relocate(O, 0, 0, 0, DX, 0, 0);
                Chosen.push_back(O);
            }
        if (Missing) {
            MObjects Lacks;
            for (std::size_t I : Lacking(M.Objects, Chosen))
                Lacks.push_back(Chosen[I]);
            Chosen = Lacks;
        }
        if (Chosen.empty())
            return;
        const MObjects Before = M.Objects;
        M.Results.clear();
        M.Area.reset();
        for (const MObject& O : Chosen) {
            M.Objects.push_back(O);
            M.Results.push_back(static_cast<int>(M.Objects.size()));
        }
        Change("Import of " + Objects(Chosen.size(), "object"), Before, TAfterStep::ClearResults);
    }

    void Compare(TRng& Rng) {
        if (M.File.isEmpty())
            return;
        // An earlier state of the document: some objects gone, some changed, some new.
        const QString Path = Dir.filePath(QStringLiteral("old-%1.pd").arg(++FileCount));
        MObjects Old;
        for (const MObject& O : M.Objects) {
            if (Chance(Rng, 15))
                continue;
            Old.push_back(InVersion(O, M.Version));
            if (Chance(Rng, 15))
                Old.back().Owner += 1;
        }
        for (MObject& O : RandomObjects(Rng, M.Version, 4))
            Old.push_back(O);
        Files[Path] = {Old, M.Version, true};
        WriteFile(Path, WriteDump(Old, M.Version));
        Fake.OpenFileAnswers.enqueue(Path);
        M.Area.reset();
        M.Results.clear();
        for (std::size_t I : Differences(Old, M.Objects))
            M.Results.push_back(static_cast<int>(I + 1));
    }

    void Step(const TCommand& Command) {
        TRng Rng(Command.Seed);
        Fake.Reset();
        ExpectError = false;
        CheckFile.clear();
        SaveFailure.clear();
        QAction* Action = nullptr;
        switch (Command.Kind) {
        case kOpen:
        case kOpenHeaderless:
        case kOpenMissing:
            Open(Rng, static_cast<TKind>(Command.Kind));
            Action = Form->OpenFile;
            break;
        case kSave:
            if (!M.File.isEmpty())
                Saved();
            Action = Form->SaveFile;
            break;
        case kSaveAs:
        case kSaveAsFails:
            SaveAs(Rng, Command.Kind == kSaveAsFails);
            Action = Form->SaveFileAs;
            break;
        case kClose:
            if (!M.File.isEmpty() && MayDiscard(Rng)) {
                ClearResults();
                MWindow Closed;
                Closed.Version = M.Version;
                Closed.Criteria = M.Criteria;
                M = Closed;
            }
            Action = Form->CloseFile;
            break;
        case kRevert:
            Revert(Rng);
            Action = Form->RevertFile;
            break;
        case kReplaceCitNum:
            ReplaceCitNum(Rng);
            Action = Form->DoCitNumReplace;
            break;
        case kReplaceModel:
            ReplaceModel(Rng);
            Action = Form->ReplaceModels;
            break;
        case kNormalize:
        case kDenormalize:
            Suffix(Rng, Command.Kind == kNormalize);
            Action = Command.Kind == kNormalize ? Form->NormalizeModels : Form->DenormalizeModels;
            break;
        case kCriteria:
            Criteria(Rng);
            Form->SpeedButton3->click();
            break;
        case kSearch:
            Search();
            Action = Form->DoSearch;
            break;
        case kDelete:
            Delete(Rng);
            Action = Form->DeleteSearchResults;
            break;
        case kClear:
            ClearResults();
            Action = Form->ClearSearchResults;
            break;
        case kEditObject:
            EditObject(Rng);
            break;
        case kUndo:
        case kRedo:
            History(Command.Kind == kUndo);
            Action = Command.Kind == kUndo ? Form->EditUndo : Form->EditRedo;
            break;
        case kUndoRedo:
            UndoRedo();
            break;
        case kAreaFind:
            AreaFind(Rng);
            break;
        case kMove:
            Move(Rng);
            Action = Form->MoveSearchResults;
            break;
        case kImport:
            Import(Rng);
            Action = Form->ImportObjects;
            break;
        case kCompare:
            Compare(Rng);
            Action = Form->CompareWith;
            break;
        case kSaveFault:
            SaveFault(Rng);
            break;
        case kExit:
            // Only with a question to say Cancel to: the run goes on in the same window.
            if (!M.Unsaved())
                return;
            Fake.MessageAnswers.enqueue(QMessageBox::Cancel);
            Action = Form->ExitApp;
            break;
        }
        if (Action)
            Action->trigger();
        WaitIdle();
        if (qEnvironmentVariableIsSet("SOAK_VERBOSE"))
            std::printf("%s: %s\n  criteria on %x excl %x exact %x [%s] [%s] [%s] [%s] %lld..%lld type %d\n%s",
                        KindNames[Command.Kind], qPrintable(Fake.Log.join(" / ")), M.Criteria.On,
                        M.Criteria.Exclude, M.Criteria.Exact, M.Criteria.CitNums.c_str(),
                        M.Criteria.Models.c_str(), M.Criteria.Description.c_str(),
                        M.Criteria.Action.c_str(), (long long)M.Criteria.MinTime,
                        (long long)M.Criteria.MaxTime, M.Criteria.ObjType,
                        WriteDump(M.Objects, 4, false).c_str());
    }

    // A save of the document that fails after a random number of bytes, or is ended by a signal
    // there: the file holds the old content or the whole new one, no temporary file stays
    // behind, and the document is as it was.
    void SaveFault(TRng& Rng) {
        if (M.File.isEmpty())
            return;
        const std::string Old = ReadFile(M.File);
        const MObjects Written = AsSaved(M.Objects, M.Version);
        const std::string New = WriteDump(Written, M.Version);
        const auto Entries = QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
        const std::size_t Limit = Rng() % (New.size() + 1);
        const bool Signalled = Chance(Rng, 50);
        const int Signal = Pick(Rng, std::vector<int>{SIGINT, SIGTERM, SIGHUP});
        const std::string What = (Signalled ? "a save ended by signal " + std::to_string(Signal)
                                            : std::string("a save failing")) +
                                 " after " + std::to_string(Limit) + " bytes";
        int Status = 0;
        bool Threw = false;
        if (!Signalled) {
            TFailingWriter Writer(Limit, Chance(Rng, 50) ? ENOSPC : EIO);
            try {
                Form->Propdump.Save(Writer);
            } catch (const std::system_error&) {
                Threw = true;
            }
        } else {
            std::fflush(stdout);
            const pid_t Child = ::fork();
            if (Child == 0) {
                TSignallingWriter Writer(Limit, Signal);
                try {
                    Form->Propdump.Save(Writer);
                } catch (...) {
                }
                ::_exit(0);
            }
            ::waitpid(Child, &Status, 0);
        }
        const std::string Now = ReadFile(M.File);
        if (Now == New)
            Files[M.File] = {Written, M.Version, true};
        if (Limit < New.size() && !Signalled && !Threw)
            SaveFailure = What + " reported success";
        else if (Signalled && Limit < New.size() &&
                 !(WIFSIGNALED(Status) && WTERMSIG(Status) == Signal))
            SaveFailure = What + ": the process did not end by the signal";
        else if (Now != Old && (Now != New || Threw))
            SaveFailure = What + " changed the file";
        else if (QDir(Dir.path()).entryList(QDir::AllEntries | QDir::Hidden) != Entries)
            SaveFailure = What + " left a file behind";
        if (qEnvironmentVariableIsSet("SOAK_VERBOSE"))
            std::printf("%s of %zu: status %d, file %s\n", What.c_str(), New.size(), Status,
                        Now == Old ? "old" : Now == New ? "new" : "other");
    }

    // Undo then redo leaves the document as it was.
    void UndoRedo() {
        if (M.Done.empty())
            return;
        const MObjects Before = M.Objects;
        History(true);
        Form->EditUndo->trigger();
        WaitIdle();
        History(false);
        Form->EditRedo->trigger();
        WaitIdle();
        if (!(M.Objects == Before))
            qFatal("the model's own undo and redo differ");
    }

    std::string Check();

    uint32_t Seed;
    QTemporaryDir Dir;
    FakePlatform Fake;
    std::unique_ptr<TMainForm> Form;
    MWindow M;
    std::map<QString, MFile> Files;
    int FileCount = 0;
    bool ExpectError = false;
    QString CheckFile;
    std::string SaveFailure;
};

template <class T> std::string Show(const T& Value) {
    std::ostringstream Out;
    Out << Value;
    return Out.str();
}

std::string Show(const QString& Text) {
    return '"' + Text.toStdString() + '"';
}

std::string Show(const QStringList& List) {
    return Show(List.join(QStringLiteral("|")));
}

std::string Show(const std::vector<int>& List) {
    std::string Text;
    for (int I : List)
        Text += std::to_string(I) + ' ';
    return '[' + Text + ']';
}

#define SOAK_EXPECT(Actual, Expected, What)                                                        \
    do {                                                                                           \
        const auto A_ = (Actual);                                                                  \
        const auto E_ = (Expected);                                                                \
        if (!(A_ == E_))                                                                           \
            return std::string(What) + ": window " + Show(A_) + ", model " + Show(E_);          \
    } while (0)

MObjects FromCore(const std::vector<TPropObject>& Objects) {
    MObjects Result;
    for (const TPropObject& W : Objects)
        Result.push_back({W.Owner, W.Timestamp, W.X, W.Y, W.Z, W.Yaw, W.Tilt, W.Roll, W.ObjectType,
                          W.Model, W.Description, W.Action,
                          std::string(W.Data.begin(), W.Data.end())});
    return Result;
}

std::string Differs(const MObjects& Seen, const MObjects& Model, const std::string& What) {
    SOAK_EXPECT(Seen.size(), Model.size(), What + " count");
    for (std::size_t I = 0; I < Model.size(); ++I)
        if (!(Seen[I] == Model[I]))
            return What + " object " + std::to_string(I + 1) + " differs: window " +
                   WriteDump({Seen[I]}, 4, false) + " model " + WriteDump({Model[I]}, 4, false);
    return {};
}

std::string TSoakCase::Check() {
    if (!SaveFailure.empty())
        return SaveFailure;
    std::string Failure = Differs(FromCore(Form->Propdump.Objects), M.Objects, "document");
    if (!Failure.empty())
        return Failure;
    const bool Open = !M.File.isEmpty();
    SOAK_EXPECT(QString::fromStdString(Form->Propdump.FileName), M.File, "file name");
    SOAK_EXPECT(Form->PropObjCount->text(),
                Open ? "Objects in propdump: " + Counted(M.Listed.size()) : QString(), "count");
    SOAK_EXPECT(Form->PropFileVer->text(),
                Open ? QStringLiteral("File version %1").arg(M.Version) : QString(), "version");
    QStringList Owned, Named, Shown = Form->ModelItems->stringList();
    if (Open) {
        for (const std::string& O : Owners(M.Listed))
            Owned << Latin(O);
        for (const std::string& N : ModelNames(M.Listed))
            Named << Latin(N);
    }
    SOAK_EXPECT(Form->CitNumItems->stringList(), Owned, "citizen numbers");
    // The list's order is the locale's collation; which names it holds is the rule.
    Named.sort(Qt::CaseInsensitive);
    Shown.sort(Qt::CaseInsensitive);
    SOAK_EXPECT(Shown, Named, "model names");

    std::vector<int> Rows;
    for (int Row = 0; Row < Form->SearchResults->RowCount(); ++Row)
        Rows.push_back(Form->SearchResults->Position(Row));
    SOAK_EXPECT(Rows, M.Results, "search results");
    SOAK_EXPECT(Form->GroupBox3->title(), "Results: " + Counted(M.Results.size()), "results caption");
    // Each row shows its object as it is now, as the objects list shows it.
    const QAbstractItemModel* List = Form->ListBox1->model();
    for (int Row = 0; Row < Form->SearchResults->RowCount(); ++Row) {
        const auto P = static_cast<std::size_t>(Rows[static_cast<std::size_t>(Row)] - 1);
        const QStringList Listed =
            List->data(List->index(static_cast<int>(P), 0)).toString().split(QChar(0x1D));
        QStringList Cells;
        for (int Column = 1; Column <= 3; ++Column)
            Cells << Form->SearchResults->data(Form->SearchResults->index(Row, Column)).toString();
        SOAK_EXPECT(Cells, Listed.mid(0, 3), "result row " + std::to_string(Row + 1));
        const MObject& O = M.Objects[P];
        const char* const Labels[] = {"Zone", "Particle Emitter", "Mover", "Camera"};
        const QString Model = O.Type <= 1   ? Latin(O.Model)
                              : O.Type <= 5 ? QString::fromUtf8("\u00AB %1 \u00BB")
                                                  .arg(QLatin1String(Labels[O.Type - 2]))
                                            : QString();
        SOAK_EXPECT(Form->SearchResults->data(Form->SearchResults->index(Row, 4)).toString(),
                    Model, "result model " + std::to_string(Row + 1));
    }

    const auto Caption = [](const char* Verb, const std::vector<MStep>& Steps) {
        return Steps.empty() ? QString::fromLatin1(Verb)
                             : QString::fromLatin1(Verb) + ' ' + Steps.back().Name;
    };
    SOAK_EXPECT(Form->EditUndo->text(), Caption("&Undo", M.Done), "undo");
    SOAK_EXPECT(Form->EditUndo->isEnabled(), !M.Done.empty(), "undo enabled");
    SOAK_EXPECT(Form->EditRedo->text(), Caption("&Redo", M.Undone), "redo");
    SOAK_EXPECT(Form->EditRedo->isEnabled(), !M.Undone.empty(), "redo enabled");
    SOAK_EXPECT(Form->HasUnsavedChanges(), M.Unsaved(), "unsaved changes");
    SOAK_EXPECT(Form->SaveFile->isEnabled(), Open, "Save enabled");
    SOAK_EXPECT(Form->MoveSearchResults->isEnabled(), !M.Results.empty(), "Move enabled");
    SOAK_EXPECT(!Fake.Errors.isEmpty(), ExpectError,
                "error shown (" + Fake.Errors.join(QStringLiteral("; ")).toStdString() + ")");

    const int Progress = Form->ProgressBar1->value();
    if (Progress != 0 && Progress != Form->ProgressBar1->maximum())
        return "progress bar left at " + std::to_string(Progress);
    if (Form->ActionList1->IsSuspended())
        return "actions left suspended";
    if (QApplication::activeModalWidget())
        return "a modal dialog is left open";
    for (const QDialog* Dialog : Form->findChildren<QDialog*>())
        if (Dialog->isVisible())
            return "dialog " + Dialog->objectName().toStdString() + " is left on the screen";
    if (!Fake.ModalHandlers.isEmpty())
        return "an expected dialog did not come";
    Fake.ModalHandlers.clear();

    if (!CheckFile.isEmpty()) {
        // What the save wrote, read back by the editor's core and by the model's own reader.
        int Version = 0;
        const std::optional<MObjects> Read = ReadDump(ReadFile(CheckFile), Version);
        if (!Read)
            return "the saved file cannot be read back";
        const MFile& Expected = Files[CheckFile];
        SOAK_EXPECT(Version, Expected.Version, "saved version");
        Failure = Differs(*Read, Expected.Objects, "saved file (model's reader)");
        if (!Failure.empty())
            return Failure;
        TPropdumpFile Core;
        Core.LoadFromFile(CheckFile.toStdString(), 0);
        Failure = Differs(FromCore(Core.Objects), Expected.Objects, "saved file (core)");
        if (!Failure.empty())
            return Failure;
    }
    return {};
}

// What went wrong, without the step and the values: a shorter sequence must fail the same way.
std::string Kind(const std::string& Failure) {
    std::string Key = Failure.substr(0, Failure.find(": window"));
    Key = Key.substr(Key.find("): ") + 3);
    Key.erase(std::remove_if(Key.begin(), Key.end(), [](char C) { return std::isdigit(C); }),
              Key.end());
    return Key;
}

// A failing case, shortened: commands dropped one by one while it still fails the same way.
std::vector<TCommand> Shrink(const TCase& Case, std::size_t Failed, const std::string& Failure) {
    std::vector<TCommand> Commands(Case.Commands.begin(),
                                   Case.Commands.begin() + static_cast<long>(Failed));
    for (bool Shorter = true; Shorter;) {
        Shorter = false;
        for (std::size_t I = 0; I < Commands.size();) {
            std::vector<TCommand> Without = Commands;
            Without.erase(Without.begin() + static_cast<long>(I));
            std::size_t Ran = 0;
            TSoakCase Try(Case.Seed);
            const std::string Now = Try.Run(Without, Ran);
            if (!Now.empty() && Kind(Now) == Kind(Failure)) {
                Commands.assign(Without.begin(), Without.begin() + static_cast<long>(Ran));
                Shorter = true;
            } else {
                ++I;
            }
        }
    }
    return Commands;
}

void PrintCase(uint32_t Seed, const std::vector<TCommand>& Commands) {
    std::printf("    {0x%08xu, {", Seed);
    for (std::size_t I = 0; I < Commands.size(); ++I)
        std::printf("%s{%s, 0x%08xu}", I ? ", " : "", KindNames[Commands[I].Kind],
                    Commands[I].Seed);
    std::printf("}},\n");
}

// Runs one case; on a failure prints it, shrinks it and prints the shortest sequence.
bool RunCase(const TCase& Case, std::size_t& Commands, bool Quiet = false) {
    std::size_t Ran = 0;
    std::string Failure;
    {
        TSoakCase Run(Case.Seed);
        Failure = Run.Run(Case.Commands, Ran);
    }
    Commands += Ran;
    if (Failure.empty())
        return true;
    std::printf("FAILED case 0x%08x %s\n", Case.Seed, Failure.c_str());
    std::fflush(stdout);
    if (Quiet)
        return false;
    const std::vector<TCommand> Shortest = Shrink(Case, Ran, Failure);
    std::size_t Again = 0;
    TSoakCase Last(Case.Seed);
    std::printf("shortest sequence, %zu commands, fails %s\nregression case:\n", Shortest.size(),
                Last.Run(Shortest, Again).c_str());
    PrintCase(Case.Seed, Shortest);
    return false;
}

TCase RandomCase(TRng& Rng, int Length) {
    std::discrete_distribution<int> Kinds(std::begin(Weights), std::end(Weights));
    TCase Case{static_cast<uint32_t>(Rng()), {}};
    for (int I = 0; I < Length; ++I)
        Case.Commands.push_back({Kinds(Rng), static_cast<uint32_t>(Rng())});
    return Case;
}

// The window with a document of its own, for the allocation faults.
struct TRig {
    QTemporaryDir Dir;
    FakePlatform Fake;
    TMainForm Form;
    QString Start = Dir.filePath("start.pd"), Other = Dir.filePath("other.pd");
    std::string StartBytes;

    TRig() {
        TRng Rng(7);
        MObjects Objects = RandomObjects(Rng, 4, 0);
        for (int I = 0; I < 30; ++I)
            Objects.push_back(RandomObject(Rng, 4));
        StartBytes = WriteDump(Objects, 4);
        Objects.resize(12);
        WriteFile(Other, WriteDump(Objects, 3));
    }
    void Reset() {
        WriteFile(Start, StartBytes);
        Form.OpenFileNamed(Start);
        Form.ActionList1->Execute(Form.ClearSearchResults);
        Fake.Reset();
    }
    // What a user sees of the document and its history.
    std::string State() {
        return WriteDump(FromCore(Form.Propdump.Objects), 4) + Form.EditUndo->text().toStdString() +
               (Form.HasUnsavedChanges() ? " unsaved" : " saved") + " file:" + ReadFile(Start);
    }
};

// Each allocation of a command failing in turn, from the first until the command runs through:
// the document, its history and its file are as before the command, or as after it, and a
// failure is reported. The command's own allocations end before the check. Load and save run
// on a worker while the window's thread handles events in Qt, which is not built to survive a
// failed allocation: there only the worker's allocations fail.
int RunAllocationFaults() {
    TRig Rig;
    const auto Search = [&Rig] {
        Rig.Form.SearchCriteria = TSearchCriteria();
        Rig.Form.SearchCriteria.Fields.Set(sfModels, true);
        Rig.Form.SearchCriteria.ModelsText = "*.rwx";
        Rig.Form.DoSearch->trigger();
    };
    const auto Replace = [&Rig] {
        Rig.Form.FindModelName->setText(QStringLiteral("TREE.RWX"));
        Rig.Form.ReplaceModelName->setText(QStringLiteral("shrub"));
    };
    const struct {
        const char* Name;
        std::function<void()> Before;
        QAction* Action;
        bool OnWorker = false;
    } Commands[] = {
        {"load", [&] { Rig.Fake.OpenFileAnswers.enqueue(Rig.Other); }, Rig.Form.OpenFile, true},
        {"save",
         [&] {
             Replace();
             Rig.Form.ReplaceModels->trigger();
         },
         Rig.Form.SaveFile, true},
        {"bulk edit", Replace, Rig.Form.ReplaceModels},
        {"deletion and its undo step",
         [&] {
             Search();
             Rig.Fake.MessageAnswers.enqueue(QMessageBox::Yes);
         },
         Rig.Form.DeleteSearchResults},
    };
    int Failed = 0;
    for (const auto& Command : Commands) {
        std::string Before, After;
        for (std::size_t N = 0;; ++N) {
            Rig.Reset();
            Command.Before();
            const std::string Was = Rig.State();
            Rig.Fake.Errors.clear();
            if (N > 0)
                FailAllocation(N);
            {
                std::optional<TAllocationsSpared> Spared;
                if (Command.OnWorker)
                    Spared.emplace();
                Command.Action->trigger();
            }
            const bool Fired = AllocationFailed();
            const std::string Now = Rig.State();
            if (N == 0) {
                Before = Was, After = Now;
                if (Was == Now || !Rig.Fake.Errors.isEmpty())
                    qFatal("%s: changes nothing without a failure", Command.Name);
                continue;
            }
            const bool Reported = !Rig.Fake.Errors.isEmpty();
            // A change kept without its undo step is complete, and reported as such.
            const auto Document = [](const std::string& State) {
                return State.substr(0, State.find("&Undo"));
            };
            const bool Complete = Now == After || (Reported && Now.find("unsaved") != Now.npos &&
                                                   Document(Now) == Document(After));
            if (!Complete && (!Reported || Now != Before)) {
                std::printf("FAILED %s with allocation %zu failing: %s\n", Command.Name, N,
                            !Reported      ? "no failure reported"
                            : Now == After ? "the change reported as failed"
                                           : "the document neither as before nor as after");
                std::printf("  before %s\n  after %s\n  now %s\n", Before.c_str(), After.c_str(),
                            Now.c_str());
                ++Failed;
                break;
            }
            if (!Fired) {
                std::printf("%s: %zu allocations, each failing in turn\n", Command.Name, N - 1);
                break;
            }
        }
    }
    return Failed;
}

// The files of a folder by name, for "left as they were".
std::map<QString, std::string> Snapshot(const QTemporaryDir& Dir) {
    std::map<QString, std::string> Files;
    for (const QString& Name : QDir(Dir.path()).entryList(QDir::Files))
        Files[Name] = ReadFile(Dir.filePath(Name));
    return Files;
}

// propdump's commands chained on one file, each output the next input, against the window's
// commands on the same document saved: byte for byte the same. Bad invocations end with their
// exit status and leave every file as it was.
class TToolSoak {
public:
    explicit TToolSoak(uint32_t Seed) : Rng(Seed) {
        const int Version = Between(Rng, 2, 4);
        Current = Dir.filePath("0.pd");
        WriteFile(Current, WriteDump(RandomObjects(Rng, Version, 40), Version));
        Form.OpenFileNamed(Current);
    }

    // The first difference, or empty.
    std::string Step(int Number) {
        Fake.Reset();
        const QString Next = Dir.filePath(QStringLiteral("%1.pd").arg(Number));
        const QString Owner = QString::number(Pick(Rng, OwnerPool));
        const QString Other = QString::number(Pick(Rng, OwnerPool));
        // Criteria name citizens by their digits.
        const QString Found = QString::number(std::abs(Pick(Rng, OwnerPool)));
        const QString Model = Latin(Pick(Rng, ModelPool));
        // The tool refuses a replacement by the same name, which the window passes over.
        QString NewModel = Latin(Pick(Rng, ModelPool));
        if (NewModel == Model)
            NewModel = QStringLiteral("shrub");
        const int32_t DZ = Between(Rng, -3, 3) * 1000, DX = Between(Rng, 1, 3) * 1000;
        QStringList Args;
        std::function<void()> Window;
        switch (Rng() % 6) {
        case 0:
            Args = {"replace-owner", Current, Owner, Other};
            Window = [&] {
                Form.FindCitNum->setText(Owner);
                Form.ReplaceCitNum->setText(Other);
                Form.DoCitNumReplace->trigger();
            };
            break;
        case 1:
            Args = {"replace-model", Current, Model, NewModel};
            Window = [&] {
                Form.FindModelName->setText(Model);
                Form.ReplaceModelName->setText(NewModel);
                Form.ReplaceModels->trigger();
            };
            break;
        case 2:
        case 3:
            Args = {Rng() % 2 ? "normalize" : "denormalize", Current};
            Window = [&] {
                Fake.MessageAnswers.enqueue(QMessageBox::Yes);
                (Args[0] == "normalize" ? Form.NormalizeModels : Form.DenormalizeModels)->trigger();
            };
            break;
        case 4:
            Args = {"delete", Current, "--owner=" + Found};
            Window = [&] {
                Find(Found);
                Fake.MessageAnswers.enqueue(QMessageBox::Yes);
                Form.DeleteSearchResults->trigger();
            };
            break;
        default:
            Args = {"move", Current, "--owner=" + Found, "--by=" + PositionText(DZ, DX)};
            Window = [&] {
                Find(Found);
                Fake.ModalHandlers.enqueue([&](QDialog& Dialog) {
                    auto& Frm = static_cast<TFrmMove&>(Dialog);
                    Frm.OffsetEdit->setText(PositionText(DZ, DX));
                    Frm.OkButton->click();
                    return Frm.result();
                });
                Fake.MessageAnswers.enqueue(QMessageBox::Yes);
                Form.MoveSearchResults->trigger();
            };
        }
        const int Status = Tool(Args << "-o" << Next);
        if (Status != 0 && Status != 1)
            return Args.join(' ').toStdString() + ": exit status " + std::to_string(Status);
        if (!QFile::exists(Next))
            QFile::copy(Current, Next);
        Window();
        const QString Saved = Dir.filePath(QStringLiteral("window-%1.pd").arg(Number));
        Fake.SaveFileAnswers.enqueue(Saved);
        Form.SaveFileAs->trigger();
        if (!Fake.Errors.isEmpty())
            return Args.join(' ').toStdString() + ": the window failed: " +
                   Fake.Errors.join(' ').toStdString();
        if (ReadFile(Next) != ReadFile(Saved))
            return Args.join(' ').toStdString() + ": the tool's output differs from the window's";
        Current = Next;
        return Refused();
    }

private:
    void Find(const QString& Owner) {
        Form.SearchCriteria = TSearchCriteria();
        Form.SearchCriteria.Fields.Set(sfCitNums, true);
        Form.SearchCriteria.CitNumsText = Owner.toStdString();
        Form.DoSearch->trigger();
    }

    int Tool(const QStringList& Args) {
        QProcess Run;
        Run.start(QStringLiteral(PROPDUMP_TOOL), Args);
        Run.waitForFinished(60000);
        return Run.exitStatus() == QProcess::NormalExit ? Run.exitCode() : -1;
    }

    // A bad invocation: its status, and every file as it was.
    std::string Refused() {
        const QString Headerless = Dir.filePath("headerless.pd");
        WriteFile(Headerless, "5 1000000000 0 0 0 0 0 0 0 4 0 0 0 tree\r\n");
        const struct {
            QStringList Args;
            int Status;
        } Cases[] = {
            {{"replace-owner", Current, "abc", "5"}, 2},
            {{"normalize", Current, "--bogus"}, 2},
            {{"replace-model", Current, "tree"}, 2},
            {{"move", Current, "--all", "--by", "north"}, 2},
            {{"normalize", Current, "-o", ""}, 2},
            {{"delete", Dir.filePath("missing.pd"), "--owner", "5"}, 1},
            {{"normalize", Headerless}, 1},
        };
        const auto& Case = Cases[Rng() % std::size(Cases)];
        const auto Before = Snapshot(Dir);
        const int Status = Tool(Case.Args);
        if (Status != Case.Status)
            return Case.Args.join(' ').toStdString() + ": exit status " + std::to_string(Status) +
                   ", not " + std::to_string(Case.Status);
        if (Snapshot(Dir) != Before)
            return Case.Args.join(' ').toStdString() + ": changed the files";
        return {};
    }

    TRng Rng;
    QTemporaryDir Dir;
    FakePlatform Fake;
    TMainForm Form;
    QString Current;
};

int RunToolSoak(double Seconds, uint32_t Seed, std::size_t& Commands) {
    std::printf("tool seed 0x%08x\n", Seed);
    TRng Rng(Seed);
    const auto End = std::chrono::steady_clock::now() +
                     std::chrono::milliseconds(static_cast<long long>(Seconds * 1000));
    int Failed = 0;
    while (std::chrono::steady_clock::now() < End && Failed == 0) {
        const uint32_t CaseSeed = static_cast<uint32_t>(Rng());
        TToolSoak Case(CaseSeed);
        for (int Step = 1; Step <= 12 && Failed == 0; ++Step, ++Commands) {
            const std::string Failure = Case.Step(Step);
            if (!Failure.empty()) {
                std::printf("FAILED tool case 0x%08x step %d: %s\n", CaseSeed, Step,
                            Failure.c_str());
                ++Failed;
            }
        }
    }
    return Failed;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication App(argc, argv);
    QLocale::setDefault(QLocale::c());
    std::size_t Commands = 0;
    int Passed = 0, Failed = 0;
    const QStringList Args = App.arguments();
    if (Args.size() >= 2 && Args[1] == QLatin1String("--regressions")) {
        for (const TCase& Case : RegressionCases)
            (RunCase(Case, Commands) ? Passed : Failed)++;
    } else if (Args.size() >= 3 && Args[1] == QLatin1String("--tool")) {
        const uint32_t Seed = Args.size() >= 4 ? Args[3].toUInt(nullptr, 0)
                                               : static_cast<uint32_t>(std::random_device()());
        Failed = RunToolSoak(Args[2].toDouble(), Seed, Commands);
        Passed = 1 - Failed;
    } else if (Args.size() >= 2 && Args[1] == QLatin1String("--allocations")) {
        Failed = RunAllocationFaults();
        Passed = 4 - Failed;
    } else if (Args.size() >= 2 && Args[1] == QLatin1String("--trace")) {
        // --trace SEED KIND:SEED...: one sequence, each step's messages shown.
        qputenv("SOAK_VERBOSE", "1");
        const auto Number = [](QString Text) { return Text.remove('u').toUInt(nullptr, 0); };
        TCase Case{Number(Args[2]), {}};
        for (const QString& Step : Args.mid(3)) {
            const QStringList Parts = Step.split(':');
            const int Kind = static_cast<int>(std::find(std::begin(KindNames), std::end(KindNames),
                                                        Parts[0].toStdString()) -
                                              std::begin(KindNames));
            Case.Commands.push_back({Kind, Number(Parts[1])});
        }
        (RunCase(Case, Commands, true) ? Passed : Failed)++;
    } else if (Args.size() >= 4 && Args[1] == QLatin1String("--cases")) {
        // A fixed amount of work, whatever the machine's speed.
        TRng Rng(Args[3].toUInt(nullptr, 0));
        for (int Case = Args[2].toInt(); Case > 0 && Failed == 0; --Case)
            (RunCase(RandomCase(Rng, 120), Commands) ? Passed : Failed)++;
    } else {
        const double Seconds = Args.size() >= 2 ? Args[1].toDouble() : 60;
        const uint32_t Seed =
            Args.size() >= 3 ? Args[2].toUInt(nullptr, 0) : static_cast<uint32_t>(std::random_device()());
        std::printf("seed 0x%08x\n", Seed);
        std::fflush(stdout);
        TRng Rng(Seed);
        const auto End = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(static_cast<long long>(Seconds * 1000));
        while (std::chrono::steady_clock::now() < End && Failed == 0)
            (RunCase(RandomCase(Rng, 120), Commands) ? Passed : Failed)++;
    }
    std::printf("%zu commands run\n%d passed, %d failed\n", Commands, Passed, Failed);
    return Failed == 0 ? 0 : 1;
}
