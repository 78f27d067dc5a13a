#include "ui/CountText.h"

#include "ops/CountText.h"

#include <QLocale>

QString FormatCount(long long Count) {
    QLocale Locale;
    // The C locale omits its separator by default; a count always shows one.
    Locale.setNumberOptions(Locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    if (!Locale.groupSeparator().isEmpty())
        return Locale.toString(Count);
    return QString::fromStdString(GroupThousands(Count));
}
