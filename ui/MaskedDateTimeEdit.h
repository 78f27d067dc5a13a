#pragma once

#include "text/DateTimeText.h"

#include <QLineEdit>
#include <QString>

class QFocusEvent;
class QKeyEvent;

// A date and time typed as "mm/dd/yyyy hh:nn:ss". The month, the day and the first hour digit may
// be left empty; every other digit is required. The separators are fixed, empty places show '_'.
class TMaskedDateTimeEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskedDateTimeEdit(QWidget* Parent = nullptr);

    // The 19 characters the date-time reader expects: separators kept, and the digits of each
    // group pushed to its end, so an empty optional place reads as a blank in front of them
    // (" 1/ 2/2020  9:05:00"). An empty field reads "  /  /       :  :  ".
    QString Text() const;
    // Takes a text in the same layout; digits land where they stand, anything else is empty.
    // A text without all four year digits sets only the month and the day.
    void SetText(const QString& Value);
    bool IsComplete() const;
    // Text() read as a date and time; an incomplete field is refused like unreadable text.
    TDateTimeValue DateTime() const;

    static QString InvalidInputMessage();

protected:
    void focusOutEvent(QFocusEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    // Position of the first required place Text() leaves empty; -1 when complete.
    int FirstMissingPosition() const;
    bool Reporting = false;
};
