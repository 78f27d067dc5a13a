// The window and the propdump tool on the same file: the tool's options make the record the
// criteria dialog makes, its searches list the window's rows, and every command that writes
// leaves the bytes the window saves after the same operation.

#include "../ui/support/FakePlatform.h"
#include "SampleDocument.h"
#include "ToolRun.h"

#include "cli/Options.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmSearch.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

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
        QCOMPARE(Form->Propdump.Count(), 11);
        Fake->Reset();
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
};

QTEST_MAIN(ToolVsWindowTest)
#include "ToolVsWindowTest.moc"
