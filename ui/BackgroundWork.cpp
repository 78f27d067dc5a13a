#include "ui/BackgroundWork.h"

#include "ui/Platform.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <optional>
#include <exception>
#include <thread>

namespace {

// Esc pressed anywhere in the window, or the window asked to close, stops the load at once; Esc
// in a dialog opened meanwhile stays the dialog's.
class TStopWatch : public QObject {
public:
    TStopWatch(const QWidget& Window, std::atomic<bool>& Cancel)
        : Window(Window), Cancel(Cancel) {
        qApp->installEventFilter(this);
    }
    ~TStopWatch() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Close && Watched == &Window) {
            // The window itself decides whether and when it closes.
            Cancel = true;
            return false;
        }
        if (Event->type() != QEvent::KeyPress ||
            static_cast<QKeyEvent*>(Event)->key() != Qt::Key_Escape)
            return false;
        const auto* Target = qobject_cast<const QWidget*>(Watched);
        if (!Target || Target->window() != &Window)
            return false;
        Cancel = true;
        return true;
    }

private:
    const QWidget& Window;
    std::atomic<bool>& Cancel;
};

class TLongCommand {
public:
    explicit TLongCommand(ILongCommandHost& Host)
        : Host(Host), Suspended(Host.CommandActions()) {
        Host.LongCommandStarted();
    }
    ~TLongCommand() { Host.LongCommandEnded(); }
    TLongCommand(const TLongCommand&) = delete;
    TLongCommand& operator=(const TLongCommand&) = delete;

private:
    ILongCommandHost& Host;
    TActionList::TSuspendGuard Suspended;
};

} // namespace

void RunInBackground(QWidget& Window, ILongCommandHost& Host, const std::function<void()>& Work,
                     const std::function<TProgress()>& Progress, std::atomic<bool>* Cancel) {
    const TLongCommand Running(Host);
    std::atomic<bool> Finished = false;
    const auto ShowProgress = [&] {
        // A finished load waiting for a dialog to close shows that it is done.
        const TProgress Shown = Finished ? TProgress{1, 1} : Progress();
        Host.ShowProgress(Shown.Done, Shown.Total);
    };
    ShowProgress();

    std::optional<TStopWatch> Stop;
    if (Cancel)
        Stop.emplace(Window, *Cancel);
    QTimer Ticks;
    Ticks.setInterval(LoadProgressInterval);
    QObject::connect(&Ticks, &QTimer::timeout, [&] {
        if (Cancel && Platform().IsShuttingDown())
            *Cancel = true;
        ShowProgress();
    });
    Ticks.start();

    // The worker only sets Finished and wakes this thread's event loop: posting an event would
    // allocate, and running out of memory there would end the program with the user's work.
    QAbstractEventDispatcher* const Dispatcher = QAbstractEventDispatcher::instance();
    std::exception_ptr Failure;
    std::thread Worker([&] {
        try {
            Work();
        } catch (...) {
            Failure = std::current_exception();
        }
        Finished = true;
        Dispatcher->wakeUp();
    });
    while (!Finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Worker.join();
    Ticks.stop();

    // Never left as a busy bar.
    Host.ShowProgress(Failure ? 0 : 1, 1);
    if (Failure)
        std::rethrow_exception(Failure);
}

namespace {

// One file being read into a document of its own, with what the window shows of it.
class TLoadJob {
public:
    TLoadJob(std::string Path, int Version) : Path(std::move(Path)), Version(Version) {
        Control.OnTotal = [this](uint64_t Bytes) { Total = Bytes; };
        Control.OnBatch = [this](uint64_t Bytes) {
            Done.fetch_add(Bytes, std::memory_order_relaxed);
        };
        Control.Cancel = &Cancel;
        Control.Distinct = &Loaded->Distinct;
        Control.HeapBytes = &Loaded->HeapBytes;
    }

    void Run() { Loaded->Document.LoadFromFile(Path, Version, Control); }

    TProgress Progress() const {
        const uint64_t Of = Total;
        if (Of == 0)
            return {0, ILongCommandHost::UnknownTotal};
        return {static_cast<int64_t>(Done.load()), static_cast<int64_t>(Of)};
    }

    const std::string Path;
    const int Version;
    std::unique_ptr<TLoadedDocument> Loaded = std::make_unique<TLoadedDocument>();
    std::atomic<bool> Cancel = false;

private:
    std::atomic<uint64_t> Done = 0;
    std::atomic<uint64_t> Total = 0; // 0 while not known
    TLoadControl Control;
};

// The file named at start, read on a thread of its own from before the window exists until
// the window's Open asks for it.
class TEarlyLoad {
public:
    explicit TEarlyLoad(const std::string& Path) : Job(Path, 0) {
        Thread = std::jthread([this] {
            try {
                Job.Run();
            } catch (...) {
                Failure = std::current_exception();
            }
        });
    }
    // Never taken up: the window closed first.
    ~TEarlyLoad() {
        Job.Cancel = true;
    }

    // Until the read has ended; its error then passes on.
    void Wait() {
        Thread.join();
        if (Failure)
            std::rethrow_exception(Failure);
    }

    TLoadJob Job;

private:
    std::exception_ptr Failure;
    std::jthread Thread; // last: joined before the job goes
};

std::unique_ptr<TEarlyLoad>& EarlyLoad() {
    static std::unique_ptr<TEarlyLoad> Load;
    return Load;
}

} // namespace

void StartLoadingEarly(const QString& Path) {
    try {
        // Named as the window's Open names it, so that the two meet.
        EarlyLoad() = std::make_unique<TEarlyLoad>(QFile::encodeName(Path).toStdString());
    } catch (...) {
        // No thread or memory for it now: the window reads the file as usual.
        EarlyLoad().reset();
    }
}

std::unique_ptr<TLoadedDocument> LoadInBackground(QWidget& Window, ILongCommandHost& Host,
                                                  const std::string& Path, int Version) {
    // Taken up once, and only for what it reads; any other load leaves it to be dropped.
    std::unique_ptr<TEarlyLoad> Early = std::move(EarlyLoad());
    if (Early && (Early->Job.Path != Path || Version != 0))
        Early.reset();
    std::unique_ptr<TLoadJob> Own;
    if (!Early)
        Own = std::make_unique<TLoadJob>(Path, Version);
    TLoadJob& Job = Early ? Early->Job : *Own;
    try {
        RunInBackground(
            Window, Host,
            [&] {
                if (Early)
                    Early->Wait();
                else
                    Job.Run();
            },
            [&] { return Job.Progress(); }, &Job.Cancel);
    } catch (const ELoadCancelled&) {
        return nullptr;
    }
    return std::move(Job.Loaded);
}

namespace {

// Counts what a save has written, for its progress.
class TCountingWriter : public TFileWriter {
public:
    void Write(const FileSystem::TFile& File, const char* Data, std::size_t Size) override {
        Inner.Write(File, Data, Size);
        Written.fetch_add(Size, std::memory_order_relaxed);
    }
    std::atomic<uint64_t> Written = 0;

private:
    TSystemFileWriter Inner;
};

} // namespace

void SaveInBackground(QWidget& Window, ILongCommandHost& Host, TPropdumpFile& Document,
                      uint64_t ExpectedBytes) {
    TCountingWriter Writer;
    RunInBackground(
        Window, Host, [&] { Document.Save(Writer); },
        [&]() -> TProgress {
            if (ExpectedBytes == 0)
                return {0, ILongCommandHost::UnknownTotal};
            return {static_cast<int64_t>(Writer.Written.load()),
                    static_cast<int64_t>(ExpectedBytes)};
        },
        nullptr);
}
