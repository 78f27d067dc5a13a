#include "ui/FormFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QWidget>

void ApplyFormFont(QWidget& Form) {
    static const bool HasTahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    QFont Font = HasTahoma ? QFont(QStringLiteral("Tahoma")) : QApplication::font();
    Font.setPointSize(8);
    Form.setFont(Font);
}
