#include "ui/BackgroundWork.h"
#include "ui/Command.h"
#include "ui/FormFont.h"
#include "ui/Platform.h"
#include "ui/StartArguments.h"
#include "ui/uMainForm.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QToolTip>

#include <algorithm>
#include <cstdio>

namespace {

int Print(std::FILE* Stream, const QString& Text, int Status) {
    std::fputs(Text.toLocal8Bit().constData(), Stream);
    return Status;
}

// Help and version are answered before the application object exists, so that they need no
// display; a refusal comes with the usage on standard error and status 2, as from any tool.
int Answer(const TStartArguments& Start) {
    switch (Start.Action) {
    case TStartArguments::TAction::Help:
        return Print(stdout, StartHelpText(), 0);
    case TStartArguments::TAction::Version:
        return Print(stdout, StartVersionText(QStringLiteral(PROPDUMP_VERSION)), 0);
    case TStartArguments::TAction::Refuse:
        return Print(stderr, StartUsageText(Start.Problem), 2);
    case TStartArguments::TAction::Run:
        break;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    QStringList Raw;
    for (int Index = 1; Index < argc; ++Index)
        Raw << QString::fromLocal8Bit(argv[Index]);
    const TStartArguments Early = ParseStartArguments(Raw);
    if (Early.Action == TStartArguments::TAction::Help ||
        Early.Action == TStartArguments::TAction::Version)
        return Answer(Early);
    // A refusal waits for Qt to take its own options out, unless Qt could take none (no option
    // at all) or the application object could not even start (no display to be had): then it
    // would abort before the user learns what was wrong.
    const bool AnyOption =
        std::any_of(Raw.begin(), Raw.end(), [](const QString& A) { return A.startsWith('-'); });
    if (Early.Action == TStartArguments::TAction::Refuse) {
        const bool NoDisplay = !Raw.contains(QStringLiteral("-platform")) &&
                               qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
                               qEnvironmentVariableIsEmpty("DISPLAY") &&
                               qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        if (!AnyOption || NoDisplay)
            return Answer(Early);
    }

    // The file named at start is read while the window sets itself up; with options, Qt's among
    // them, the file is only known once Qt has taken its own out.
    if (Early.Action == TStartArguments::TAction::Run && !AnyOption && !Early.File.isEmpty())
        StartLoadingEarly(Early.File);

    QApplication Application(argc, argv);
    // Qt has taken its own options out by now.
    const TStartArguments Start = ParseStartArguments(QApplication::arguments().mid(1));
    if (Start.Action != TStartArguments::TAction::Run)
        return Answer(Start);

    // No display name: Qt would append it to every window title, and the dialogs' captions
    // ("Edit Object", ...) must read exactly as they are.
    QApplication::setApplicationName(QString::fromLatin1(ApplicationTitle));
    // Ties the window to its installed desktop entry and icon; run from the build folder, the
    // theme has no such icon and the window simply has none.
    QGuiApplication::setDesktopFileName(QStringLiteral(PROPDUMP_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(PROPDUMP_APP_ID)));
    // Message boxes, file dialogs and hints in the forms' face too.
    const QFont Font = FormFont(Application.devicePixelRatio());
    QApplication::setFont(Font);
    QToolTip::setFont(Font);

    TMainForm MainForm;
    MainForm.show();

    // A file named on the command line opens as if it had been chosen in the open dialog; one
    // that is not there is reported in the window, which stays open.
    if (!Start.File.isEmpty()) {
        QTimer::singleShot(0, &MainForm, [&MainForm, Path = Start.File] {
            RunCommand(&MainForm, [&] { MainForm.OpenFileNamed(Path); });
        });
    }
    return QApplication::exec();
}
