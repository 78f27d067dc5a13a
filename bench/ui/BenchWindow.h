#pragma once

// What the user-interface benchmarks share: the seeded corpus loaded once per size, a platform
// that confirms every question and answers every box at once while the event loop stays the
// real one (so yields and repaints cost what they cost in the editor), and a shown window with
// a copy of the corpus open.

#include "bench/Corpus.h"
#include "model/Propdmp.h"
#include "ui/Platform.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QStringList>

#include <map>
#include <memory>

inline const TPropdumpFile& BenchCorpus(std::size_t Count) {
    constexpr int CorpusVersion = 4;
    constexpr uint64_t CorpusSeed = 1;
    static std::map<std::size_t, std::unique_ptr<TPropdumpFile>> Documents;
    std::unique_ptr<TPropdumpFile>& Document = Documents[Count];
    if (!Document) {
        Document = std::make_unique<TPropdumpFile>();
        Document->LoadFromMemory(GenerateCorpusText(Count, CorpusVersion, CorpusSeed), "corpus.pd",
                                 0);
    }
    return *Document;
}

class TAnsweringPlatform : public IPlatform {
public:
    TAnsweringPlatform() : Previous(SetPlatform(this)) {}
    ~TAnsweringPlatform() override { SetPlatform(Previous); }
    TAnsweringPlatform(const TAnsweringPlatform&) = delete;
    TAnsweringPlatform& operator=(const TAnsweringPlatform&) = delete;

    void PlaySound(TSoundKind) override {}
    QMessageBox::StandardButton ShowMessage(QWidget*, const QString& Text, TMsgDlgType,
                                            QMessageBox::StandardButtons,
                                            QMessageBox::StandardButton) override {
        LastMessage = Text;
        return QMessageBox::Yes;
    }
    void ShowError(QWidget*, const QString& Text) override { Errors.append(Text); }
    QString GetOpenFileName(QWidget*, const QString&) override { return {}; }
    QString GetSaveFileName(QWidget*, const TSaveDialogKind&, const QString&) override {
        return {};
    }
    int RunModal(QDialog&) override { return QDialog::Rejected; }
    void PushBusyCursor() override {}
    void PopBusyCursor() override {}
    void ProcessEvents() override { QCoreApplication::processEvents(); }
    bool IsShuttingDown() const override { return false; }
    void SetShuttingDown(bool) override {}
    QDateTime CurrentDateTime() const override { return QDateTime::currentDateTime(); }

    QString LastMessage;
    QStringList Errors;

private:
    IPlatform* Previous;
};

// Counts the paints a widget gets: a timing ends once what it waits for is on the screen.
class TPaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Paint)
            ++Paints;
        return QObject::eventFilter(Watched, Event);
    }
};

struct TBenchWindow {
    TAnsweringPlatform Platform;
    TMainForm Form;

    explicit TBenchWindow(const TPropdumpFile& Document) {
        Form.Propdump = Document;
        Form.RefreshViews();
        Form.show();
        QCoreApplication::processEvents();
    }

    // Runs an action as a click and lets the window paint the outcome.
    void Click(QAction* Action) {
        Action->trigger();
        QCoreApplication::processEvents();
    }
};
