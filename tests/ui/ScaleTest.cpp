// The window at scale 2 on a 1920 x 1080 screen (960 x 540 in the window's own units), as CTest
// runs this program: every window opens inside the screen's free area, and the type labels stay
// bold where the face's outlines are drawn instead of its bitmaps.

#include "support/DialogTesting.h"
#include "support/FakePlatform.h"

#include "ui/uFrmWorldMap.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QListView>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class ScaleTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    // The window's name where it lies outside the screen's free area; else nothing.
    static QString Outside(const QWidget& Window) {
        const bool Inside = Window.screen()->availableGeometry().contains(Window.frameGeometry());
        return Inside ? QString() : Window.objectName();
    }

private slots:
    void initTestCase() {
        const QScreen* Screen = QGuiApplication::primaryScreen();
        QVERIFY2(Screen->devicePixelRatio() == 2 && Screen->geometry().size() == QSize(960, 540),
                 "run through CTest, which sets the screen and the scale");
    }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    void everyWindowOpensInsideTheScreen() {
        TPropObject Object;
        Object.Model = "tree";
        Form->Propdump.Objects = {Object};
        Form->Propdump.FileName = "world.pd";
        Form->Propdump.Version = 3;
        Form->RefreshViews();
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
        QStringList Out;
        Out << Outside(*Form);

        Form->WorldMap->trigger();
        TFrmWorldMap* Map = Form->WorldMapWindow();
        QVERIFY(Map && QTest::qWaitForWindowExposed(Map));
        Out << Outside(*Map);
        QVERIFY2(Map->height() < 540, qPrintable(QString::number(Map->height())));

        // Each dialog as it would be shown modally.
        QStringList Shown;
        const auto ShowAndClose = [&](QDialog& Dialog) {
            Dialog.show();
            if (QTest::qWaitForWindowExposed(&Dialog))
                Shown << Dialog.objectName();
            Out << Outside(Dialog);
            return int(QDialog::Rejected);
        };
        Fake->ModalHandlers << ShowAndClose << ShowAndClose << ShowAndClose;
        Form->OpenObject(0);
        Form->SpeedButton3Click();
        QTemporaryDir Dir;
        QFile Headerless(Dir.filePath(QStringLiteral("world.txt")));
        QVERIFY(Headerless.open(QIODevice::WriteOnly));
        Headerless.write("1 2 3 4 5 6 7 8 4 0 0 tree\r\n");
        Headerless.close();
        Form->OpenFileNamed(Headerless.fileName());
        QCOMPARE(Shown, QStringList({"FrmObject", "FrmSearch", "FrmSetVersion"}));
        Out.removeAll(QString());
        QCOMPARE(Out, QStringList());
    }

    void typeLabelsStayBoldAndTheFaceStaysTahoma() {
        const QFont Font = Form->ListBox1->font();
        QCOMPARE(QFontInfo(Font).pointSize(), 8);
        if (QFile::exists("/usr/share/wine/fonts/tahoma.ttf"))
            QCOMPARE(QFontInfo(Font).family(), QStringLiteral("Tahoma"));
        const int Bold = InkOf(Font, 2, true);
        const int Regular = InkOf(Font, 2, false);
        QVERIFY2(Bold > Regular * 5 / 4,
                 qPrintable(QStringLiteral("bold %1, regular %2").arg(Bold).arg(Regular)));
    }
};

QTEST_MAIN(ScaleTest)
#include "ScaleTest.moc"
