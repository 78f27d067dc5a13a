#include "ui/Command.h"
#include "ui/FormFont.h"
#include "ui/Platform.h"
#include "ui/uMainForm.h"

#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QToolTip>

int main(int argc, char* argv[]) {
    QApplication Application(argc, argv);
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

    // A file named on the command line opens as if it had been chosen in the open dialog.
    const QStringList Arguments = QApplication::arguments();
    if (Arguments.size() > 1) {
        const QString Path = Arguments.at(1);
        QTimer::singleShot(0, &MainForm, [&MainForm, Path] {
            RunCommand(&MainForm, [&] { MainForm.OpenFileNamed(Path); });
        });
    }
    return QApplication::exec();
}
