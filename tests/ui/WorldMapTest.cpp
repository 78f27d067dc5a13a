// The world map window on small known documents, drawn offscreen: where objects land and in
// which colours, what pointing and double-clicking reach, what an area finds, and how the map
// follows the document.

#include "support/FakePlatform.h"

#include "text/PositionInfo.h"
#include "ui/MapView.h"
#include "ui/SearchResultsModel.h"
#include "ui/uFrmObject.h"
#include "ui/uFrmWorldMap.h"
#include "ui/uMainForm.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <set>
#include <vector>

namespace {

TPropObject At(int32_t X, int32_t Z, int32_t Owner = 5, const std::string& Model = "tree",
               int32_t ObjectType = 0) {
    TPropObject Object;
    Object.X = X;
    Object.Z = Z;
    Object.Owner = Owner;
    Object.Model = Model;
    Object.ObjectType = ObjectType;
    Object.Timestamp = 1000000000;
    return Object;
}

// The colours drawn in Area of Image, the background left out.
std::set<QRgb> Colours(const QImage& Image, const QRect& Area, QRgb Background) {
    std::set<QRgb> Found;
    for (int Y = Area.top(); Y <= Area.bottom(); ++Y)
        for (int X = Area.left(); X <= Area.right(); ++X)
            if (const QRgb Pixel = Image.pixel(X, Y) & 0xffffff;
                Pixel != (Background & 0xffffff))
                Found.insert(Pixel | 0xff000000);
    return Found;
}

enum TQuarter { NorthWest, NorthEast, SouthWest, SouthEast };
QRect Quarter(const QImage& Image, TQuarter Which) {
    const int W = Image.width() / 2;
    const int H = Image.height() / 2;
    return QRect((Which == NorthEast || Which == SouthEast) ? W : 0,
                 (Which == SouthWest || Which == SouthEast) ? H : 0, W, H);
}

void SendMouse(QWidget* Widget, QEvent::Type Type, QPoint Pos, Qt::MouseButtons Buttons,
               Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
    const Qt::MouseButton Button = Type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent Event(Type, QPointF(Pos), Widget->mapToGlobal(QPointF(Pos)), Button, Buttons,
                      Modifiers);
    QCoreApplication::sendEvent(Widget, &Event);
}

} // namespace

class WorldMapTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;
    TFrmWorldMap* Map = nullptr;

    void Load(std::vector<TPropObject> Objects) {
        Form->Propdump.Objects = std::move(Objects);
        Form->Propdump.FileName = "world.pd";
        Form->Propdump.Version = 4;
        Form->RefreshViews();
        Fake->Reset();
    }

    // Ctrl+M in the main window; false when no map came.
    bool OpenMap() {
        Form->activateWindow();
        if (!QTest::qWaitForWindowActive(Form.get()))
            return false;
        QTest::keyClick(Form.get(), Qt::Key_M, Qt::ControlModifier);
        Map = Form->WorldMapWindow();
        if (!Map)
            return false;
        Map->resize(640, 520);
        QCoreApplication::processEvents();
        Map->MapView->Fit();
        return true;
    }

    QList<int> Found() const {
        QList<int> Positions;
        for (int Row = 0; Row < Form->SearchResults->RowCount(); ++Row)
            Positions << Form->SearchResults->Position(Row);
        return Positions;
    }

    QStringList Summary() const {
        QStringList Lines;
        for (int Row = 0; Row < Form->ListBox2->count(); ++Row)
            Lines << Form->ListBox2->item(Row)->text();
        return Lines;
    }

    void PointAt(int32_t X, int32_t Z) {
        const QPointF Pixel = Map->MapView->ToScreen(X, Z);
        SendMouse(Map->MapView, QEvent::MouseMove, Pixel.toPoint(), Qt::NoButton);
    }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
        Map = nullptr;
    }

    void oneWindowFromTheViewMenuSayingWhenThereIsNoDocument() {
        QCOMPARE(Form->View1->title(), QStringLiteral("&View"));
        QCOMPARE(Form->View1->actions().first()->text(), QStringLiteral("World &map"));
        QCOMPARE(Form->View1->actions().first()->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+M")));
        QVERIFY(OpenMap());
        QCOMPARE(Map->windowTitle(), QStringLiteral("World Map"));
        QCOMPARE(Map->MapView->MessageText(), QStringLiteral("No propdump is open."));
        QVERIFY(!Map->FindInAreaButton->isEnabled());
        Form->WorldMap->trigger();
        QCOMPARE(Form->findChildren<TFrmWorldMap*>().size(), 1);

        Load({At(0, 0)});
        QCOMPARE(Map->MapView->MessageText(), QString());
        QCOMPARE(Map->MapView->Points().Count(), 1);
        Map->close();
        QCOMPARE(Form->Propdump.Count(), 1);
    }

    // North-west top left, north-east top right, south-east bottom right, nothing south-west;
    // one, five and fifty objects on a spot in ever darker colours; found objects and the
    // selected one over that.
    void drawsEachObjectWhereItIsInItsDensityColour() {
        std::vector<TPropObject> Objects{At(100000, 100000, 1)};
        Objects.insert(Objects.end(), 5, At(-100000, -100000, 2));
        Objects.insert(Objects.end(), 50, At(-100000, 100000, 3));
        Load(Objects);
        QVERIFY(OpenMap());
        const QImage Image = Map->MapView->Raster();
        const QRgb Background = Map->MapView->MapColours().Background;
        const auto Only = [&](TQuarter Which, uint32_t Count) {
            return Colours(Image, Quarter(Image, Which), Background) ==
                   std::set<QRgb>{Map->MapView->DensityColour(Count)};
        };
        QVERIFY(Only(NorthWest, 1));
        QVERIFY(Only(SouthEast, 5));
        QVERIFY(Only(NorthEast, 50));
        QVERIFY(Colours(Image, Quarter(Image, SouthWest), Background).empty());
        const auto Lightness = [this](uint32_t Count) {
            return QColor(Map->MapView->DensityColour(Count)).lightness();
        };
        QVERIFY(Lightness(1) > Lightness(5) && Lightness(5) > Lightness(50));
        for (uint32_t Count = 1; Count < 5000; ++Count)
            QVERIFY2(Lightness(Count + 1) <= Lightness(Count), qPrintable(QString::number(Count)));

        Form->SearchCriteria.Fields.Set(sfCitNums, true);
        Form->SearchCriteria.CitNumsText = "2";
        Form->DoSearch->trigger();
        const QImage Searched = Map->MapView->Raster();
        QCOMPARE(Colours(Searched, Quarter(Searched, SouthEast), Background),
                 std::set<QRgb>{Map->MapView->MapColours().Found});
        QVERIFY(Only(NorthEast, 50));

        Form->ListBox1->setCurrentIndex(Form->ListBox1->model()->index(0, 0));
        const QImage Shown = Map->MapView->Picture().convertToFormat(QImage::Format_RGB32);
        QVERIFY(Colours(Shown, Quarter(Shown, NorthWest), Background)
                    .count(Map->MapView->MapColours().Selected));
    }

    void pointingNamesOneObjectAndDoubleClickOpensIt() {
        Load({At(50000, 50000, 5, "tree", 0), At(-50000, -50000, 7, "", 2), At(0, 0, 9),
              At(1, 0, 9), At(-50000, 50000, 4)});
        Form->Propdump.Item(0).Description = "for\r\nsale";
        QVERIFY(OpenMap());
        PointAt(50000, 50000);
        QCOMPARE(Map->HoverLabel->toolTip(),
                 QStringLiteral("5  |  09 Sep 2001 01:46:40  |  50N 50W  |  tree  |  for sale"));
        PointAt(-50000, -50000);
        QCOMPARE(Map->HoverLabel->toolTip(), QString::fromUtf8("7  |  09 Sep 2001 01:46:40  |  "
                                                               "50S 50E  |  « Zone »"));
        // Two objects a thousandth apart are one dot until the map is zoomed in.
        PointAt(0, 0);
        QCOMPARE(Map->HoverLabel->toolTip(),
                 QStringLiteral("Zoom in to tell the objects here apart."));

        Fake->ModalHandlers.enqueue([this](QDialog& Dialog) {
            auto* Editor = qobject_cast<TFrmObject*>(&Dialog);
            return Editor && Editor->PropObject == &Form->Propdump.Item(4) ? int(QDialog::Accepted)
                                                                           : int(QDialog::Rejected);
        });
        const auto DoubleClick = [this](int32_t X, int32_t Z) {
            const QPoint Pixel = Map->MapView->ToScreen(X, Z).toPoint();
            SendMouse(Map->MapView, QEvent::MouseButtonDblClick, Pixel, Qt::LeftButton);
            QCoreApplication::processEvents();
        };
        DoubleClick(-50000, 50000);
        QVERIFY(Fake->ModalHandlers.isEmpty());
        QVERIFY(Fake->Sounds.isEmpty());
        // A zone, and a place with no single object: the asterisk, and nothing opens.
        DoubleClick(-50000, -50000);
        DoubleClick(0, 0);
        QCOMPARE(Fake->Sounds, QList<TSoundKind>(2, TSoundKind::Asterisk));
    }

    // A grid of 25 objects, owners 1 to 5 by column; the area from -1000 to 1000 both ways
    // holds the nine in the middle, edges included.
    void areaListsWhatIsInsideAndHonoursTheCriteria() {
        std::vector<TPropObject> Grid;
        for (int32_t Z = 2000; Z >= -2000; Z -= 1000)
            for (int32_t X = 2000; X >= -2000; X -= 1000)
                Grid.push_back(At(X, Z, 3 + X / 1000));
        Load(Grid);
        QVERIFY(OpenMap());
        // Drawn with Shift held, from between the outer rings to the middle's far side.
        const QPoint From = Map->MapView->ToScreen(1500, 1500).toPoint();
        const QPoint To = Map->MapView->ToScreen(-1500, -1500).toPoint();
        SendMouse(Map->MapView, QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::ShiftModifier);
        SendMouse(Map->MapView, QEvent::MouseMove, To, Qt::LeftButton, Qt::ShiftModifier);
        SendMouse(Map->MapView, QEvent::MouseButtonRelease, To, Qt::NoButton, Qt::ShiftModifier);
        QVERIFY(Map->MapView->Area().has_value());
        const TMapArea Drawn = *Map->MapView->Area();
        QCOMPARE(Map->AreaLabel->text(), QStringLiteral("Area from %1 to %2")
                                             .arg(QString::fromStdString(Drawn.NorthWestText()),
                                                  QString::fromStdString(Drawn.SouthEastText())));

        const QList<int> Middle{7, 8, 9, 12, 13, 14, 17, 18, 19};
        QTest::mouseClick(Map->FindInAreaButton, Qt::LeftButton);
        QCOMPARE(Found(), Middle);
        Map->MapView->SetArea(TMapArea::FromCorners(1000, 1000, -1000, -1000));
        QTest::mouseClick(Map->FindInAreaButton, Qt::LeftButton);
        QCOMPARE(Found(), Middle);
        const QString InArea = QStringLiteral("In area: 1N 1W to 1S 1E");
        QCOMPARE(Summary(), QStringList{InArea});
        QCOMPARE(Form->GroupBox3->title(), QStringLiteral("Results: 9"));
        QCOMPARE(Form->PageControl1->currentIndex(), int(TMainForm::SearchTab));
        QVERIFY(Form->DeleteSearchResults->isEnabled());

        // Ticked without criteria: refused, the rows stay.
        Map->MatchCriteriaCheck->setChecked(true);
        QTest::mouseClick(Map->FindInAreaButton, Qt::LeftButton);
        QCOMPARE(Fake->Errors, QStringList{"No search criteria specified."});
        QCOMPARE(Found(), Middle);
        Form->SearchCriteria.Fields.Set(sfCitNums, true);
        Form->SearchCriteria.CitNumsText = "2,4,5";
        QTest::mouseClick(Map->FindInAreaButton, Qt::LeftButton);
        const QList<int> MiddleOf245{7, 9, 12, 14, 17, 19};
        QCOMPARE(Found(), MiddleOf245);
        // Search runs what the summary shows: the area and the criteria, not the criteria alone.
        QCOMPARE(Summary(), QStringList({"Include cit#s: 2,4,5", InArea}));
        Form->DoSearch->trigger();
        QCOMPARE(Found(), MiddleOf245);

        // Deleted: the map follows, with nothing left in the middle.
        Fake->MessageAnswers.enqueue(QMessageBox::Yes);
        Form->DeleteSearchResults->trigger();
        QCOMPARE(Map->MapView->Points().Count(), 19);
        QVERIFY(!Map->MapView->Points().AnyFound());
        const QImage Image = Map->MapView->Raster();
        const QPointF Centre = Map->MapView->ToScreen(0, 0);
        QCOMPARE(Image.pixel(Centre.toPoint()), Map->MapView->DensityColour(1));
        const QPointF Gone = Map->MapView->ToScreen(1000, 0);
        QCOMPARE(Image.pixel(Gone.toPoint()), Map->MapView->MapColours().Background);

        // The results cleared with the deletion: the area is no longer part of the search.
        QCOMPARE(Summary(), QStringList({"Include cit#s: 2,4,5"}));

        // Undone: the objects stand where they stood again.
        Form->EditUndo->trigger();
        QCOMPARE(Map->MapView->Points().Count(), 25);
        QCOMPARE(Map->MapView->Raster().pixel(Gone.toPoint()), Map->MapView->DensityColour(1));

        // Edited criteria, even unchanged, drop the area too.
        Map->MatchCriteriaCheck->setChecked(false);
        QTest::mouseClick(Map->FindInAreaButton, Qt::LeftButton);
        QCOMPARE(Summary(), QStringList{InArea});
        Fake->ModalHandlers.enqueue([](QDialog&) { return int(QDialog::Accepted); });
        QTest::mouseClick(Form->SpeedButton3, Qt::LeftButton);
        QCOMPARE(Summary(), QStringList({"Include cit#s: 2,4,5"}));
        Form->DoSearch->trigger();
        QCOMPARE(Found().size(), 15);
    }

    // Ctrl+drag from a found object carries the found objects along, the offset shown while it
    // lasts; Escape leaves them where they are, letting go asks and moves them by that offset.
    void aCtrlDragMovesTheFoundObjects() {
        Load({At(0, 0, 5), At(100000, 0, 6), At(0, 100000, 5)});
        Form->SearchCriteria.Fields.Set(sfCitNums, true);
        Form->SearchCriteria.CitNumsText = "5";
        Form->DoSearch->trigger();
        QVERIFY(OpenMap());
        const QPoint From = Map->MapView->ToScreen(0, 0).toPoint();
        const QPoint To = From + QPoint(40, 30);
        for (const bool Escape : {true, false}) {
            Fake->Reset();
            SendMouse(Map->MapView, QEvent::MouseButtonPress, From, Qt::LeftButton,
                      Qt::ControlModifier);
            SendMouse(Map->MapView, QEvent::MouseMove, To, Qt::LeftButton, Qt::ControlModifier);
            const std::optional<TOffset> By = Map->MapView->MoveDragOffset();
            QVERIFY(By.has_value());
            // Right and down: east and south.
            QVERIFY(By->X < 0 && By->Z < 0 && By->Y == 0);
            const QString Text = QString::fromStdString(PositionToText(By->X, 0, By->Z, 0));
            QCOMPARE(Map->HoverLabel->text(),
                     "Moving the 2 found objects by " + Text +
                         ": let go to move them there, Escape to leave them");
            QVERIFY(Map->MapView->grab().toImage().pixel(To) != Map->MapView->MapColours().Background);
            if (Escape)
                QTest::keyClick(Map->MapView, Qt::Key_Escape);
            else
                Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            SendMouse(Map->MapView, QEvent::MouseButtonRelease, To, Qt::NoButton,
                      Qt::ControlModifier);
            QVERIFY(!Map->MapView->MoveDragOffset());
            QCoreApplication::processEvents();
            if (Escape) {
                QVERIFY(Fake->Messages.isEmpty());
                QCOMPARE(Form->Propdump.Item(0).X, 0);
                continue;
            }
            QCOMPARE(Fake->Messages.value(0).Text,
                     "The 2 found objects will now be moved by " + Text +
                         ".\r\rIs this what you wanted to do?");
            const int32_t Moved[][2] = {{By->X, By->Z}, {100000, 0}, {By->X, 100000 + By->Z}};
            for (int Index = 0; Index < 3; ++Index) {
                QCOMPARE(Form->Propdump.Item(Index).X, Moved[Index][0]);
                QCOMPARE(Form->Propdump.Item(Index).Z, Moved[Index][1]);
            }
            QCOMPARE(Found(), (QList<int>{1, 3}));
        }
    }

    void followsBulkEditsAndClosing() {
        Load({At(20000, 0, 5, "tree"), At(-20000, 0, 6, "bush")});
        QVERIFY(OpenMap());
        Fake->MessageAnswers << QMessageBox::Yes << QMessageBox::Ok;
        Form->FindModelName->setText("tree");
        Form->ReplaceModelName->setText("pine.rwx");
        Form->ReplaceModels->trigger();
        PointAt(20000, 0);
        QVERIFY(Map->HoverLabel->toolTip().contains(QStringLiteral("|  pine.rwx")));

        Fake->MessageAnswers.clear();
        Fake->MessageAnswers << QMessageBox::Discard;
        Form->CloseFile->trigger();
        QCOMPARE(Map->MapView->MessageText(), QStringLiteral("No propdump is open."));
        QCOMPARE(Map->MapView->Points().Count(), 0);
        QVERIFY(Colours(Map->MapView->Raster(), Map->MapView->Raster().rect(),
                        Map->MapView->MapColours().Background)
                    .empty());
    }

    void savePictureWritesThePng() {
        Load({At(0, 0)});
        QVERIFY(OpenMap());
        QTemporaryDir Dir;
        const QString Path = Dir.filePath(QStringLiteral("map.picture"));
        Fake->SaveFileAnswers.enqueue(Path);
        QTest::mouseClick(Map->SavePictureButton, Qt::LeftButton);
        QImageReader Reader(Path);
        QCOMPARE(Reader.format(), QByteArray("png"));
        QCOMPARE(Reader.size(), Map->MapView->size());
        QCOMPARE(Fake->Sounds, QList<TSoundKind>{TSoundKind::Asterisk});

        Fake->SaveFileAnswers.enqueue(Dir.filePath(QStringLiteral("no/such/folder/map.png")));
        QTest::mouseClick(Map->SavePictureButton, Qt::LeftButton);
        QCOMPARE(Fake->Errors.size(), 1);
        QVERIFY(Fake->Errors.first().startsWith(QStringLiteral("Cannot save the picture as")));
    }

    // The real dialog: titled for the picture, offering PNG, adding ".png" to a name typed
    // without an extension and keeping one typed with it.
    void pictureDialogAddsPngToABareName() {
        Load({At(0, 0)});
        QVERIFY(OpenMap());
        QTemporaryDir Dir;
        SetPlatform(nullptr);
        QStringList Seen;
        for (const char* Typed : {"map", "map.picture"}) {
            QTimer::singleShot(0, [&] {
                auto* Dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                auto* Name = Dialog ? Dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
                if (!Name)
                    return Seen.append("no dialog");
                Seen << Dialog->windowTitle() + " | " + Dialog->nameFilters().join(';');
                Name->setText(Dir.filePath(QString::fromLatin1(Typed)));
                QTest::keyClick(Name, Qt::Key_Return);
            });
            QTest::mouseClick(Map->SavePictureButton, Qt::LeftButton);
        }
        SetPlatform(Fake.get());
        QCOMPARE(Seen, QStringList(2, "Save Map Picture | PNG image (*.png)"));
        QCOMPARE(QDir(Dir.path()).entryList(QDir::Files), QStringList({"map.picture", "map.png"}));
    }
};

QTEST_MAIN(WorldMapTest)
#include "WorldMapTest.moc"
