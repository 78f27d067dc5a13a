#include "ui/MaskedDateTimeEdit.h"

#include "model/Convert.h"
#include "ui/BeepMessageDlg.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <array>
#include <string>

namespace {

// A run of digit places between separators; its required places are its last ones.
struct TDigitGroup {
    int Start;
    int Length;
    int Required;
};

constexpr std::array<TDigitGroup, 6> Groups{{
    {0, 2, 0},  // month
    {3, 2, 0},  // day
    {6, 4, 4},  // year
    {11, 2, 1}, // hour
    {14, 2, 2}, // minute
    {17, 2, 2}, // second
}};

constexpr int FieldLength = 19;
constexpr char16_t Blank = u'_';

// The fixed character of a separator place, or a null character for a digit place.
QChar SeparatorAt(int Position) {
    switch (Position) {
    case 2:
    case 5:
        return u'/';
    case 10:
        return u' ';
    case 13:
    case 16:
        return u':';
    default:
        return {};
    }
}

QString DigitsOf(const QString& Shown, const TDigitGroup& Group) {
    QString digits;
    for (int i = Group.Start; i < Group.Start + Group.Length && i < Shown.size(); ++i)
        if (Shown[i].isDigit())
            digits += Shown[i];
    return digits;
}

// What the field shows for a text in the layout of Text().
QString ShownFrom(const QString& Value) {
    QString shown(FieldLength, Blank);
    for (int i = 0; i < FieldLength; ++i) {
        if (!SeparatorAt(i).isNull())
            shown[i] = SeparatorAt(i);
        else if (i < Value.size() && Value[i].isDigit() && Value[i].unicode() < 128)
            shown[i] = Value[i];
    }
    return shown;
}

} // namespace

TMaskedDateTimeEdit::TMaskedDateTimeEdit(QWidget* Parent) : QLineEdit(Parent) {
    // Qt's mask letters: '0' an optional digit, '9' a required one.
    setInputMask(QStringLiteral("00/00/9999 09:99:99;_"));
    setMaxLength(FieldLength);
    setToolTip(QStringLiteral("mm/dd/yyyy hh:mm:ss"));
}

QString TMaskedDateTimeEdit::InvalidInputMessage() {
    return QStringLiteral("Invalid input value.  Use escape key to abandon changes");
}

QString TMaskedDateTimeEdit::Text() const {
    const QString shown = displayText();
    QString text(FieldLength, u' ');
    for (int i = 0; i < FieldLength; ++i)
        if (!SeparatorAt(i).isNull())
            text[i] = SeparatorAt(i);
    for (const TDigitGroup& group : Groups) {
        const QString digits = DigitsOf(shown, group);
        text.replace(group.Start + group.Length - digits.size(), digits.size(), digits);
    }
    return text;
}

void TMaskedDateTimeEdit::SetText(const QString& Value) {
    const QString shown = ShownFrom(Value);
    // Qt's mask moves a blank at a required place on to the next optional one, which would
    // shift the hour; so a text without its whole year keeps only the month and the day.
    const TDigitGroup& year = Groups[2];
    if (DigitsOf(shown, year).size() < year.Length)
        setText(shown.left(year.Start));
    else
        setText(shown);
}

int TMaskedDateTimeEdit::FirstMissingPosition() const {
    const QString shown = displayText();
    for (const TDigitGroup& group : Groups) {
        if (DigitsOf(shown, group).size() >= group.Required)
            continue;
        for (int i = group.Start; i < group.Start + group.Length; ++i)
            if (i >= shown.size() || !shown[i].isDigit())
                return i;
    }
    return -1;
}

bool TMaskedDateTimeEdit::IsComplete() const {
    return FirstMissingPosition() < 0;
}

TDateTimeValue TMaskedDateTimeEdit::DateTime() const {
    const std::string text = Text().toStdString();
    if (!IsComplete())
        throw EConvertError("'" + text + "' is not a valid date and time");
    return ParseDateTimeText(text);
}

void TMaskedDateTimeEdit::focusOutEvent(QFocusEvent* Event) {
    QLineEdit::focusOutEvent(Event);
    // Only the user moving on is checked; a window that loses activation or closes is not.
    const Qt::FocusReason reason = Event->reason();
    const bool movedOn = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                         reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
    if (!movedOn || Reporting || isReadOnly() || !isEnabled())
        return;
    const int missing = FirstMissingPosition();
    if (missing >= 0) {
        Reporting = true;
        BeepMessageDlg(this, InvalidInputMessage(), TMsgDlgType::Error, QMessageBox::Ok);
        Reporting = false;
        setFocus(Qt::OtherFocusReason);
        setCursorPosition(missing);
        return;
    }
    // Show the digits where they are read, so that what the user sees is what is stored.
    const QString shown = ShownFrom(Text());
    if (displayText() != shown)
        setText(shown);
}

void TMaskedDateTimeEdit::keyPressEvent(QKeyEvent* Event) {
    // Escape takes back every edit since the text was last set; only an untouched field leaves
    // the key to the dialog.
    if (Event->key() == Qt::Key_Escape && !isReadOnly() && isModified()) {
        while (isUndoAvailable())
            undo();
        setModified(false);
        Event->accept();
        return;
    }
    QLineEdit::keyPressEvent(Event);
}
