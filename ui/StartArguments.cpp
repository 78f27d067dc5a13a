#include "ui/StartArguments.h"

TStartArguments ParseStartArguments(const QStringList& Arguments) {
    TStartArguments Result;
    const qsizetype End = Arguments.indexOf(QStringLiteral("--"));
    const QStringList Options = End < 0 ? Arguments : Arguments.first(End);
    if (Options.contains(QStringLiteral("--help")) || Options.contains(QStringLiteral("-h"))) {
        Result.Action = TStartArguments::TAction::Help;
        return Result;
    }
    if (Options.contains(QStringLiteral("--version"))) {
        Result.Action = TStartArguments::TAction::Version;
        return Result;
    }
    QStringList Files;
    for (qsizetype Index = 0; Index < Arguments.size(); ++Index) {
        const QString& Argument = Arguments.at(Index);
        if (Index == End)
            continue;
        // A lone "-" would stand for standard input, which the editor does not read.
        const bool BeforeEnd = End < 0 || Index < End;
        if (BeforeEnd && Argument.startsWith(QLatin1Char('-'))) {
            Result.Action = TStartArguments::TAction::Refuse;
            Result.Problem = QStringLiteral("unknown option '%1'").arg(Argument);
            return Result;
        }
        Files << Argument;
    }
    if (Files.size() > 1) {
        Result.Action = TStartArguments::TAction::Refuse;
        Result.Problem = QStringLiteral("one file at a time, not %1").arg(Files.size());
        return Result;
    }
    if (!Files.isEmpty())
        Result.File = Files.first();
    return Result;
}

QString StartHelpText() {
    return QStringLiteral(
        "Usage: propedit [OPTION]... [FILE]\n"
        "Shows the propdump FILE, if one is given, in the editor's window.\n"
        "\n"
        "  -h, --help     show this help and exit\n"
        "      --version  show the version and exit\n"
        "  --             take what follows as the file's name, even if it starts with '-'\n"
        "\n"
        "The standard options of Qt applications, such as -platform NAME and -display DISPLAY,\n"
        "are understood as well.\n");
}

QString StartVersionText(const QString& Version) {
    return QStringLiteral("propedit (propdump editor) %1\n").arg(Version);
}

QString StartUsageText(const QString& Problem) {
    return QStringLiteral("propedit: %1\nUsage: propedit [OPTION]... [FILE]\n"
                          "Try 'propedit --help' for more information.\n")
        .arg(Problem);
}
