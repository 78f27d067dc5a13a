#include "ui/FormFont.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QWidget>

namespace {

// A free Tahoma-compatible face (Debian's fonts-wine) lives outside the folders the system's
// font configuration searches, so the application registers it itself when it is there.
constexpr const char* DesignFontFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                           "/usr/share/wine/fonts/tahomabd.ttf"};

bool HasTahoma() {
    for (const char* File : DesignFontFiles) {
        const QString Path = QString::fromLatin1(File);
        if (QFileInfo::exists(Path))
            QFontDatabase::addApplicationFont(Path);
    }
    return QFontDatabase::families().contains(QStringLiteral("Tahoma"));
}

} // namespace

void ApplyFormFont(QWidget& Form) {
    static const bool Tahoma = HasTahoma();
    QFont Font = Tahoma ? QFont(QStringLiteral("Tahoma")) : QApplication::font();
    Font.setPointSize(8);
    // The free face is drawn for 8 points in its hand-tuned bitmaps; its outlines are thin in
    // both weights, so smoothed text would lose the bold of the type labels altogether.
    if (Tahoma)
        Font.setStyleStrategy(QFont::NoAntialias);
    Form.setFont(Font);
}
