// The window and the propdump tool on the same file: the tool's options make the record the
// criteria dialog makes, its searches list the window's rows, and every command that writes
// leaves the bytes the window saves after the same operation.

#include "../ui/support/FakePlatform.h"
#include "SampleDocument.h"
#include "ToolRun.h"

#include "cli/Options.h"
#include "ui/MapView.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmImport.h"
#include "ui/uFrmMove.h"
#include "ui/uFrmSearch.h"
#include "ui/uFrmWorldMap.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

// The other dump of the imports and the comparison, in version 3: two objects of the sample as
// they are, one changed (its owner) and two of its own, one far to the north-west.
const std::string OtherDocument = "propdump version 3\r\n"
                                  "5 1000000000 -6789 1500 12345 900 0 450 4 8 0 treeFOR SALE\r\n"
                                  "7 1000000100 1 2 3 4 0 0 8 0 0 TREE.RWX\r\n"
                                  "-2 2147483647 0 0 0 0 0 0 5 0 0 tree.\r\n"
                                  "5 1000000200 2000 0 3000 0 0 0 4 0 0 rock\r\n"
                                  "88 1000000300 500000 10 700000 1800 5 6 5 0 0 house\r\n";

// The value of the option Name in Args; empty when it is not there.
QString Option(const std::vector<std::string>& Args, const char* Name) {
    const auto At = std::find(Args.begin(), Args.end(), Name);
    return At == Args.end() || At + 1 == Args.end() ? QString() : QString::fromStdString(*(At + 1));
}

bool Has(const std::vector<std::string>& Args, const char* Name) {
    return std::find(Args.begin(), Args.end(), Name) != Args.end();
}

} // namespace

class ToolVsWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TScratchDir> Dir;
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;
    std::string File;

    void Click(const char* Name) {
        auto* Action = Form->findChild<QAction*>(QString::fromLatin1(Name));
        QVERIFY2(Action && Action->isEnabled(), Name);
        Action->trigger();
    }

    // A new window with the sample file open, as after starting the editor and opening it.
    void OpenInNewWindow() {
        Form.reset();
        Form = std::make_unique<TMainForm>();
        Fake->OpenFileAnswers.enqueue(QString::fromStdString(File));
        Click("OpenFile");
        QVERIFY(Form->Propdump.Count() > 0);
        Fake->Reset();
    }

    // The tool's criteria (and area) for Args, as the window's search holds them.
    TInvocation Parsed(const std::vector<std::string>& Args) const {
        std::vector<const char*> Argv{"propdump", Args[0].c_str(), File.c_str()};
        for (std::size_t At = 1; At < Args.size(); ++At)
            Argv.push_back(Args[At].c_str());
        const std::optional<TInvocation> Invocation =
            ParseCommandLine(static_cast<int>(Argv.size()), Argv.data());
        return Invocation.value();
    }

    // What the window does for the tool's move, merge or diff: the same criteria searched or
    // applied, the dialog filled in with the same texts, every question answered Yes.
    void InWindow(const std::vector<std::string>& Args, const std::string& Other) {
        const TInvocation Invocation = Parsed(Args);
        Form->SearchCriteria = Invocation.Criteria;
        if (Args[0] == "move") {
            Click("DoSearch");
            Fake->ModalHandlers.enqueue([&Args](QDialog& Dialog) {
                auto& Frm = static_cast<TFrmMove&>(Dialog);
                Frm.OffsetEdit->setText(Option(Args, "--by"));
                Frm.TurnEdit->setText(Option(Args, "--turn"));
                if (Has(Args, "--around"))
                    Frm.CentreEdit->setText(Option(Args, "--around"));
                Frm.CopyCheck->setChecked(Has(Args, "--copy"));
                Frm.OkButton->click();
                return Frm.result();
            });
            Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            Click("MoveSearchResults");
            return;
        }
        Fake->OpenFileAnswers.enqueue(QString::fromStdString(Other));
        if (Args[0] == "diff") {
            Click("CompareWith");
            return;
        }
        if (Invocation.Area) {
            Click("WorldMap");
            Form->WorldMapWindow()->MapView->SetArea(Invocation.Area);
        }
        Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmImport&>(Dialog);
            Frm.CriteriaCheck->setChecked(!Invocation.Criteria.Fields.IsEmpty());
            Frm.AreaCheck->setChecked(Invocation.Area.has_value());
            Frm.MissingCheck->setChecked(Invocation.OnlyMissing);
            Frm.OffsetEdit->setText(Option(Args, "--by"));
            Frm.OkButton->click();
            return Frm.result();
        });
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Click("ImportObjects");
    }

    std::string SavedByWindow() {
        const std::string Saved = *Dir / "window.pd";
        Fake->SaveFileAnswers.enqueue(QString::fromStdString(Saved));
        Click("SaveFileAs");
        return ReadBytes(Saved);
    }

    // The tool writing its result beside the window's.
    std::string WrittenByTool(std::vector<std::string> Args, std::string& Report) {
        const std::string Written = *Dir / "tool.pd";
        Args.insert(Args.begin() + 1, File);
        Args.insert(Args.end(), {"-o", Written});
        const TToolRun Run = RunTool(Args);
        [&] { QCOMPARE(Run.Status, 0); }();
        Report = Run.Out;
        return ReadBytes(Written);
    }

    void EditCriteria(const std::function<void(TFrmSearch&)>& Edit) {
        Fake->ModalHandlers.enqueue([Edit](QDialog& Dialog) {
            auto& Frm = static_cast<TFrmSearch&>(Dialog);
            Edit(Frm);
            Frm.OkButton->click();
            return Frm.result();
        });
        QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
    }

    // Every row as the tool prints it: the five cells separated by TABs.
    QString WindowRows() const {
        QString Rows;
        const TSearchResultsModel& Results = *Form->SearchResults;
        for (int Row = 0; Row < Results.RowCount(); ++Row) {
            for (int Column = 0; Column < TSearchResultsModel::ColumnCount; ++Column)
                Rows += (Column ? "\t" : "") + Results.data(Results.index(Row, Column)).toString();
            Rows += '\n';
        }
        return Rows;
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Dir = std::make_unique<TScratchDir>();
        File = *Dir / "sample.pd";
        WriteBytes(File, SampleDocument);
        Fake = std::make_unique<FakePlatform>();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        Dir.reset();
    }

    void bulkEditsWriteWhatTheWindowSaves() {
        // The find and replacement texts are the tool's arguments, typed into the two boxes.
        struct TCase {
            std::vector<std::string> Args;
            const char* Action;
            QLineEdit* TMainForm::*FindBox = nullptr;
            QLineEdit* TMainForm::*ReplaceBox = nullptr;
        };
        const TCase Cases[] = {
            {{"replace-owner", "5", "7"},
             "DoCitNumReplace",
             &TMainForm::FindCitNum,
             &TMainForm::ReplaceCitNum},
            {{"replace-owner", "-1", "104"},
             "DoCitNumReplace",
             &TMainForm::FindCitNum,
             &TMainForm::ReplaceCitNum},
            {{"replace-model", "Tree", "sh\xc3\xa9.rwx"},
             "ReplaceModels",
             &TMainForm::FindModelName,
             &TMainForm::ReplaceModelName},
            {{"replace-model", "", "none.rwx"},
             "ReplaceModels",
             &TMainForm::FindModelName,
             &TMainForm::ReplaceModelName},
            {{"normalize"}, "NormalizeModels"},
            {{"denormalize"}, "DenormalizeModels"},
        };
        for (const TCase& Case : Cases) {
            OpenInNewWindow();
            if (Case.FindBox) {
                (Form.get()->*Case.FindBox)->setText(QString::fromStdString(Case.Args[1]));
                (Form.get()->*Case.ReplaceBox)->setText(QString::fromStdString(Case.Args[2]));
            } else {
                Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            }
            Click(Case.Action);
            QVERIFY2(!Fake->Messages.isEmpty(), Case.Action);
            const QString WindowReport = Fake->Messages.last().Text;
            const std::string Expected = SavedByWindow();
            std::string Report;
            QVERIFY2(WrittenByTool(Case.Args, Report) == Expected, Case.Action);
            QCOMPARE(QString::fromStdString(Report), WindowReport + '\n');
        }
    }

    void searchesFindWhatTheWindowFinds() {
        struct TCase {
            std::vector<std::string> Options;
            std::function<void(TFrmSearch&)> InDialog;
        };
        const std::vector<TCase> Cases = {
            {{"--owner", "5,57"},
             [](TFrmSearch& F) {
                 F.CitNumsField->setChecked(true);
                 F.Memo1->SetText("5,57");
             }},
            {{"--not-model", "tree*,BUSH.RWX"},
             [](TFrmSearch& F) {
                 F.ModelsField->setChecked(true);
                 F.Memo2->SetText("tree*,BUSH.RWX");
                 F.ModelsExclude->setChecked(true);
             }},
            {{"--description", "CAF\xc3\x89 CR\xc3\x88ME", "--description-exact"},
             [](TFrmSearch& F) {
                 F.DescriptionField->setChecked(true);
                 F.Memo3->SetText(QString::fromUtf8("CAF\xc3\x89 CR\xc3\x88ME"));
                 F.DescriptionExactMatch->setChecked(true);
             }},
            {{"--not-description", "a\nb", "--model", "*"},
             [](TFrmSearch& F) {
                 F.DescriptionField->setChecked(true);
                 F.Memo3->SetText("a\nb");
                 F.DescriptionExclude->setChecked(true);
                 F.ModelsField->setChecked(true);
                 F.Memo2->SetText("*");
             }},
            {{"--action", "create*", "--not-owner", "99"},
             [](TFrmSearch& F) {
                 F.ActionField->setChecked(true);
                 F.Memo4->SetText("create*");
                 F.CitNumsField->setChecked(true);
                 F.Memo1->SetText("99");
                 F.CitNumsExclude->setChecked(true);
             }},
            {{"--after", "09/09/2001 01:46:40", "--before", "12/31/2037 11:59:59"},
             [](TFrmSearch& F) {
                 F.MinTimeField->setChecked(true);
                 F.Edit1->SetText("09/09/2001 01:46:40");
                 F.MaxTimeField->setChecked(true);
             }},
            {{"--before", "01/01/1970 00:00:00"},
             [](TFrmSearch& F) {
                 F.MaxTimeField->setChecked(true);
                 F.Edit2->SetText("01/01/1970 00:00:00");
             }},
            {{"--type", "zone"},
             [](TFrmSearch& F) {
                 F.ObjTypeField->setChecked(true);
                 F.ComboBox1->setCurrentIndex(0);
             }},
            {{"--not-type", "unknown", "--owner", "5"},
             [](TFrmSearch& F) {
                 F.ObjTypeField->setChecked(true);
                 F.ObjTypeExclude->setChecked(true);
                 F.CitNumsField->setChecked(true);
                 F.Memo1->SetText("5");
             }},
            {{"--owner", ""}, [](TFrmSearch& F) { F.CitNumsField->setChecked(true); }},
        };
        for (const TCase& Case : Cases) {
            std::string Name;
            for (const std::string& Option : Case.Options)
                Name += Option + ' ';
            OpenInNewWindow();
            EditCriteria(Case.InDialog);
            std::vector<const char*> Argv{"propdump", "search", File.c_str()};
            for (const std::string& Option : Case.Options)
                Argv.push_back(Option.c_str());
            const std::optional<TInvocation> Parsed =
                ParseCommandLine(static_cast<int>(Argv.size()), Argv.data());
            QVERIFY2(Parsed && Parsed->Criteria == Form->SearchCriteria, Name.c_str());

            Click("DoSearch");
            std::vector<std::string> Args{"search", File};
            Args.insert(Args.end(), Case.Options.begin(), Case.Options.end());
            const TToolRun Run = RunTool(Args);
            QCOMPARE(QString::fromUtf8(Run.Out), WindowRows());
            QCOMPARE(Run.Status, Form->SearchResults->RowCount() > 0 ? 0 : 1);
            if (Form->SearchResults->RowCount() == 0)
                continue;

            Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            Click("DeleteSearchResults");
            const std::string Expected = SavedByWindow();
            std::string Report;
            Args[0] = "delete";
            Args.erase(Args.begin() + 1);
            QVERIFY2(WrittenByTool(Args, Report) == Expected, Name.c_str());
            QCOMPARE(Report,
                     "Objects deleted: " + std::to_string(11 - Form->Propdump.Count()) + "\n");
        }
    }

    // Moving, copying and importing leave the file the tool writes; the results are then the
    // objects moved, the copies or the objects imported, and the comparison lists the objects
    // the tool's diff calls added or changed, with its counts.
    void worldCommandsDoWhatTheToolDoes() {
        const std::string Sample = File, Other = *Dir / "other.pd";
        WriteBytes(Other, OtherDocument);
        struct TCase {
            std::string Opened;
            std::vector<std::string> Args; // the tool's, FILE left out
        };
        const TCase Cases[] = {
            {Sample, {"move", "--owner", "5", "--by", "200N 1.5W 0.5a"}},
            {Sample, {"move", "--owner", "5", "--turn", "90"}},
            {Sample,
             {"move", "--model", "tree*", "--turn", "-45.5", "--around", "1N 2W", "--by", "1S 0E"}},
            {Sample, {"move", "--owner", "5,57", "--copy", "--by", "0N 30E"}},
            {Sample, {"merge", Other, "--owner", "5", "--by", "1N 0E"}},
            {Sample,
             {"merge", Other, "--only-missing", "--not-owner", "88", "--area", "5N 5W", "5S 5E"}},
            {Other, {"merge", Sample, "--drop-v4-data"}},
            {Sample, {"diff", Other}},
        };
        for (const TCase& Case : Cases) {
            std::string Name;
            for (const std::string& Arg : Case.Args)
                Name += Arg + ' ';
            File = Case.Opened;
            OpenInNewWindow();
            const int Before = Form->Propdump.Count();
            InWindow(Case.Args, Case.Args[0] == "move" ? "" : Case.Args[1]);
            QVERIFY2(Fake->Errors.isEmpty(), qPrintable(Fake->Errors.join('\n')));
            const int Rows = Form->SearchResults->RowCount();
            if (Case.Args[0] == "diff") {
                const TToolRun Run = RunTool({"diff", Case.Args[1], File, "--list"});
                const QStringList Lines = QString::fromUtf8(Run.Out).split('\n');
                QStringList Listed;
                for (const QString& Line : Lines)
                    if (Line.startsWith("+\t") || Line.startsWith("~\t"))
                        Listed << Line.mid(2).section('\t', 0, 4);
                std::sort(Listed.begin(), Listed.end(), [](const QString& A, const QString& B) {
                    return A.section('\t', 0, 0).toInt() < B.section('\t', 0, 0).toInt();
                });
                QVERIFY(!Listed.isEmpty());
                QCOMPARE(WindowRows(), Listed.join('\n') + '\n');
                // "Added: N", "Removed: N", "Changed: N"
                QCOMPARE(Form->ListBox2->item(0)->text(),
                         QStringLiteral("Compared with other.pd: %1 added, %2 changed, %3 removed")
                             .arg(Lines[0].section(' ', 1), Lines[2].section(' ', 1),
                                  Lines[1].section(' ', 1)));
                continue;
            }
            const std::string Expected = SavedByWindow();
            std::string Report;
            QVERIFY2(WrittenByTool(Case.Args, Report) == Expected, Name.c_str());
            // The results: the objects moved where they stand, or those added at the end.
            const char* Done = Case.Args[0] == "merge"    ? "imported"
                               : Has(Case.Args, "--copy") ? "copied"
                                                          : "moved";
            QCOMPARE(QString::fromStdString(Report).section('\n', 0, 0),
                     QStringLiteral("Objects %1: %2").arg(Done).arg(Rows));
            const int Added = Form->Propdump.Count() - Before;
            QVERIFY(Rows > 0);
            QCOMPARE(Form->SearchResults->Position(0) > Before, Added > 0);
        }
    }
};

QTEST_MAIN(ToolVsWindowTest)
#include "ToolVsWindowTest.moc"
