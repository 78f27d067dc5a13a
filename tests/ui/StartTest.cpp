// The editor's command line, run as a program: help and version on standard output without a
// display, anything else it cannot take refused on standard error with status 2.

#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class StartTest : public QObject {
    Q_OBJECT

private slots:
    void answersAndRefusals_data() {
        QTest::addColumn<QStringList>("Arguments");
        QTest::addColumn<bool>("Display");
        QTest::addColumn<int>("Status");
        QTest::addColumn<QString>("Out");
        QTest::addColumn<QString>("Error");
        // Help and version need no display: the editor would fail to start without one.
        QTest::newRow("help") << QStringList{"--help"} << false << 0 << "Usage: propedit [OPTION]... [FILE]\n" << "";
        QTest::newRow("-h") << QStringList{"-h"} << false << 0 << "Usage: propedit [OPTION]... [FILE]\n" << "";
        QTest::newRow("version") << QStringList{"--version"} << false << 0 << "propedit (propdump editor) " << "";
        QTest::newRow("help after a file") << QStringList{"world.pd", "--help"} << false << 0 << "Usage: " << "";
        QTest::newRow("two files") << QStringList{"a.pd", "b.pd"} << true << 2 << ""
                                   << "propedit: one file at a time, not 2\nUsage: propedit [OPTION]... [FILE]\n";
        QTest::newRow("unknown option") << QStringList{"--frob", "a.pd"} << true << 2 << ""
                                        << "propedit: unknown option '--frob'\nUsage: ";
        QTest::newRow("standard input") << QStringList{"-"} << true << 2 << "" << "propedit: unknown option '-'\n";
        // Without a display the application object cannot start, so the refusal comes first.
        QTest::newRow("two files, no display") << QStringList{"a.pd", "b.pd"} << false << 2 << ""
                                               << "propedit: one file at a time, not 2\n";
        QTest::newRow("unknown option, no display") << QStringList{"--frob"} << false << 2 << ""
                                                    << "propedit: unknown option '--frob'\nUsage: ";
        QTest::newRow("a file after --") << QStringList{"--", "-a.pd", "b.pd"} << true << 2 << ""
                                         << "propedit: one file at a time, not 2\n";
    }

    void answersAndRefusals() {
        QFETCH(QStringList, Arguments);
        QFETCH(bool, Display);
        QFETCH(int, Status);
        QFETCH(QString, Out);
        QFETCH(QString, Error);
        QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
        for (const char* Name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            Environment.remove(QString::fromLatin1(Name));
        if (Display)
            Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QProcess Editor;
        Editor.setProcessEnvironment(Environment);
        Editor.start(QStringLiteral(PROPEDIT), Arguments);
        QVERIFY(Editor.waitForFinished(20000));
        const QString Printed = QString::fromLocal8Bit(Editor.readAllStandardOutput());
        // Qt may add notes of its own about the session on standard error.
        const QString Complained = QString::fromLocal8Bit(Editor.readAllStandardError());
        QCOMPARE(Editor.exitStatus(), QProcess::NormalExit);
        QCOMPARE(Editor.exitCode(), Status);
        QVERIFY2(Out.isEmpty() ? Printed.isEmpty() : Printed.startsWith(Out), qPrintable(Printed));
        QVERIFY2(Error.isEmpty() ? Complained.isEmpty() : Complained.contains(Error),
                 qPrintable(Complained));
    }
};

QTEST_MAIN(StartTest)
#include "StartTest.moc"
