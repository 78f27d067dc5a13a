#include "ui/CountText.h"

#include <QLocale>

QString FormatCount(long long Count) {
    QLocale Locale;
    // The C locale omits its separator by default; a count always shows one.
    Locale.setNumberOptions(Locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (!Locale.groupSeparator().isEmpty())
        return Locale.toString(Count);

    QString Digits = QString::number(Count < 0 ? -static_cast<unsigned long long>(Count)
                                               : static_cast<unsigned long long>(Count));
    for (qsizetype At = Digits.size() - 3; At > 0; At -= 3)
        Digits.insert(At, QLatin1Char(','));
    return Count < 0 ? QLatin1Char('-') + Digits : Digits;
}
