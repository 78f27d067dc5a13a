// Whole-process timing of the window with a real file, as a user meets it:
//   propedit_ready start FILE    from main() to ready with FILE named on the command line
//   propedit_ready open FILE     the Open command, from the click to ready
//   propedit_ready revert FILE   the Revert command (answered Yes), from the click to ready
//   propedit_ready refresh FILE  RefreshViews walking the document against the values a load
//                                gathers, five times each
//   propedit_ready session FILE  an hour's work in short: open, search for the most used model,
//                                delete what was found, undo, change every owner, undo, redo,
//                                search again; the memory after each step and what holds it
// Ready means the count label shows the objects and the objects list has painted its rows. The
// program ends at once then (the document is not freed), so that a whole-process timer such as
// hyperfine measures start to ready. Peak memory so far is printed with every figure.
#include "bench/MostFrequent.h"
#include "bench/ui/BenchWindow.h"
#include "model/HeapBytes.h"
#include "ui/BackgroundWork.h"
#include "ui/Command.h"
#include "ui/SearchResultsModel.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>
#include <QListView>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

class TFilePlatform : public TAnsweringPlatform {
public:
    QString File;
    QString GetOpenFileName(QWidget*, const QString&) override { return File; }
};

long StatusKilobytes(const char* Field) {
    std::ifstream Status("/proc/self/status");
    for (std::string Line; std::getline(Status, Line);)
        if (Line.rfind(Field, 0) == 0)
            return std::stol(Line.substr(std::char_traits<char>::length(Field)));
    return -1;
}

long PeakKilobytes() {
    return StatusKilobytes("VmHWM:");
}

// Lets the window paint until the objects list has drawn itself once more.
void WaitForListPaint(TMainForm& Form) {
    TPaintCounter Counter;
    Form.ListBox1->viewport()->installEventFilter(&Counter);
    Form.ListBox1->viewport()->update();
    while (Counter.Paints == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    Form.ListBox1->viewport()->removeEventFilter(&Counter);
}

void Report(const char* What, double Seconds, const TMainForm& Form) {
    std::printf("%s: %.3f s (%s, peak %ld MB)\n", What, Seconds,
                qPrintable(Form.PropObjCount->text()), PeakKilobytes() / 1024);
    std::fflush(stdout);
}

double Time(const std::function<void()>& Work) {
    const auto Start = std::chrono::steady_clock::now();
    Work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void Session(TMainForm& Form, const QString& File) {
    const long FileMB = static_cast<long>(QFileInfo(File).size() >> 20);
    std::printf("file: %ld MB\n", FileMB);
    long Before = StatusKilobytes("VmRSS:");
    const auto Step = [&](const char* What, const std::function<void()>& Work) {
        const double Seconds = Time(Work);
        const long Now = StatusKilobytes("VmRSS:");
        std::printf("%-28s %6.2f s  rss %6ld MB (%+6ld)  peak %6ld MB = %.2f x file  document "
                    "%6zu MB  undo %5zu MB  results %8d rows\n",
                    What, Seconds, Now / 1024, (Now - Before) / 1024, PeakKilobytes() / 1024,
                    static_cast<double>(PeakKilobytes()) / 1024 / static_cast<double>(FileMB),
                    HeapBytesOf(Form.Propdump) >> 20, Form.UndoHistory.Bytes() >> 20,
                    Form.SearchResults->RowCount());
        std::fflush(stdout);
        Before = Now;
    };
    const auto Click = [&](QAction* Action) {
        Action->trigger();
        WaitForListPaint(Form);
    };
    Step("open", [&] { Click(Form.OpenFile); });
    Form.SearchCriteria.Fields.Set(sfModels, true);
    Form.SearchCriteria.ModelsText =
        MostFrequent<std::string>(Form.Propdump, [](const TPropObject& O) { return O.Model; });
    Step("search the most used model", [&] { Click(Form.DoSearch); });
    Step("delete found", [&] { Click(Form.DeleteSearchResults); });
    Step("undo", [&] { Click(Form.EditUndo); });
    Form.FindCitNum->setText(QStringLiteral("-1"));
    Form.ReplaceCitNum->setText(QStringLiteral("42"));
    Step("every owner to 42", [&] { Click(Form.DoCitNumReplace); });
    Step("undo", [&] { Click(Form.EditUndo); });
    Step("redo", [&] { Click(Form.EditRedo); });
    Step("search again", [&] { Click(Form.DoSearch); });
}

} // namespace

int main(int argc, char** argv) {
    const auto Start = std::chrono::steady_clock::now();
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s start|open|revert|refresh|session FILE\n", argv[0]);
        return 2;
    }
    const std::string Mode = argv[1];
    // As the window's own start does with a file named on its command line.
    if (Mode == "start")
        StartLoadingEarly(QString::fromLocal8Bit(argv[2]));
    QApplication Application(argc, argv);
    TFilePlatform Platform;
    Platform.File = QString::fromLocal8Bit(argv[2]);
    TMainForm Form;
    Form.show();

    QTimer::singleShot(0, &Form, [&] {
        const auto Command = [&](QAction* Action) {
            return Time([&] {
                Action->trigger();
                WaitForListPaint(Form);
            });
        };
        if (Mode == "start") {
            RunCommand(&Form, [&] { Form.OpenFileNamed(Platform.File); });
            WaitForListPaint(Form);
            Report("start to ready",
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count(),
                   Form);
        } else if (Mode == "open") {
            Report("open to ready", Command(Form.OpenFile), Form);
        } else if (Mode == "revert") {
            Command(Form.OpenFile);
            Report("revert to ready", Command(Form.RevertFile), Form);
        } else if (Mode == "session") {
            Session(Form, Platform.File);
        } else if (Mode == "refresh") {
            Command(Form.OpenFile);
            TPropdumpFile Again;
            TDistinctValues Gathered;
            TLoadControl Control;
            Control.Distinct = &Gathered;
            Again.LoadFromFile(Platform.File.toStdString(), 0, Control);
            std::vector<double> Walk, Known;
            for (int Run = 0; Run < 5; ++Run) {
                Walk.push_back(Time([&] { Form.RefreshViews(); }));
                Known.push_back(Time([&] { Form.RefreshViews(Gathered); }));
            }
            std::sort(Walk.begin(), Walk.end());
            std::sort(Known.begin(), Known.end());
            Report("RefreshViews walking the document, median of 5", Walk[2], Form);
            Report("RefreshViews with the values the load gathered, median of 5", Known[2], Form);
        }
        if (!Platform.Errors.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(Platform.Errors.join('\n')));
        std::fflush(stdout);
        ::_exit(Platform.Errors.isEmpty() ? 0 : 1);
    });
    return QApplication::exec();
}
