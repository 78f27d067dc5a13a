#include "ui/FormFont.h"

#include <QFont>
#include <QFontDatabase>
#include <QWidget>

void ApplyFormFont(QWidget& Form) {
    static const bool HasTahoma = QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    if (!HasTahoma)
        return;
    QFont Font(QStringLiteral("Tahoma"));
    Font.setPointSize(8);
    Form.setFont(Font);
}
