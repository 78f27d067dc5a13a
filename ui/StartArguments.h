#pragma once

// What the command line asks of the editor at start: a file to open (or none), the help or
// the version text, or nothing it understands.

#include <QString>
#include <QStringList>

struct TStartArguments {
    enum class TAction { Run, Help, Version, Refuse };
    TAction Action = TAction::Run;
    // Run: the file to open at start; empty for none.
    QString File;
    // Refuse: what was wrong, in one line.
    QString Problem;
};

// Arguments without the program's name. Qt's own options (-platform, -display, ...) must have
// been taken out already, except when only --help and --version are looked for: those win
// wherever they stand before "--", so that they need no display.
TStartArguments ParseStartArguments(const QStringList& Arguments);

// For standard output.
QString StartHelpText();
QString StartVersionText(const QString& Version);
// For standard error, after a refusal.
QString StartUsageText(const QString& Problem);
