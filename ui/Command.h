#pragma once

// How every command of the window runs: no exception ever reaches Qt's event loop, the
// command's own clean-up (RAII guards) runs first, and the error is then shown to the user.

#include <QString>

#include <exception>
#include <functional>

class QWidget;

// Runs Command; any error that leaves it is shown with Platform().ShowError.
void RunCommand(QWidget* Parent, const std::function<void()>& Command) noexcept;

// The text the error display shows for an error: its message with a full stop appended unless
// the message's last character is a full stop or sorts before it; a file line number, when the
// error carries one, as " (line N)" before that full stop.
QString ErrorDisplayText(const std::exception& Error);
QString ErrorDisplayText(const QString& Message, int LineNumber = 0);

// What the user reads when reading the file at Path failed with Error: the file's name and, when
// WithLine and the error names a line, that line, then the error's own message:
// Cannot read "world.pd", line 1,000,002: Line format not understood
// (the full stop comes with ErrorDisplayText). A file system error gives the system's words.
QString LoadErrorText(const QString& Path, const std::exception& Error, bool WithLine = true);

// Hourglass cursor for the life of the guard; afterwards, on every path, the cursor comes back
// and the asterisk sound plays (errors are shown after that, by RunCommand).
class TBusyBracket {
public:
    TBusyBracket();
    ~TBusyBracket();
    TBusyBracket(const TBusyBracket&) = delete;
    TBusyBracket& operator=(const TBusyBracket&) = delete;
};

// Hourglass cursor for the life of the guard, without the sound of the bracket above.
class TBusyCursor {
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
