#include "support/FakePlatform.h"

#include "ui/ObjectsListDelegate.h"
#include "ui/ObjectsListModel.h"
#include "ui/uFrmObject.h"
#include "ui/uMainForm.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {

const QChar Sep(0x1D);

TPropObject MakeObject(int32_t Owner, std::string Model, std::string Description,
                       std::string Action, int32_t ObjectType = 0) {
    TPropObject Object;
    Object.Owner = Owner;
    Object.Timestamp = 0;
    Object.X = -6789;
    Object.Y = 1500;
    Object.Z = 12345;
    Object.Yaw = 900;
    Object.Model = std::move(Model);
    Object.Description = std::move(Description);
    Object.Action = std::move(Action);
    Object.ObjectType = ObjectType;
    return Object;
}

// Records the regions the list's rows were asked to repaint.
class TPaintRecorder : public QObject {
public:
    QList<QRegion> Regions;
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() == QEvent::Paint)
            Regions.append(static_cast<QPaintEvent*>(Event)->region());
        return QObject::eventFilter(Watched, Event);
    }
    bool Covered(const QRect& Area) const {
        for (const QRegion& Region : Regions)
            if ((Region & Area) == QRegion(Area))
                return true;
        return false;
    }
};

// The literal rule: the first of "n characters + ..." from n = length - 1 down that is narrower.
QString ShortenByScan(const QString& Text, const QFontMetrics& Metrics, int Width) {
    if (Metrics.horizontalAdvance(Text) < Width)
        return Text;
    for (qsizetype n = Text.size() - 1; n > 0; --n) {
        const QString Candidate = Text.left(n) + QStringLiteral("...");
        if (Metrics.horizontalAdvance(Candidate) < Width)
            return Candidate;
    }
    return QStringLiteral("...");
}

} // namespace

class ObjectsListTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakePlatform> Fake;
    std::unique_ptr<TMainForm> Form;

    TObjectsListModel* Model() const {
        return qobject_cast<TObjectsListModel*>(Form->ListBox1->model());
    }
    const TObjectsListDelegate* Delegate() const {
        return qobject_cast<const TObjectsListDelegate*>(Form->ListBox1->itemDelegate());
    }

    // Puts Objects into the document as an opened file would, and refreshes the views.
    void Load(std::vector<TPropObject> Objects) {
        Form->Propdump.Objects = std::move(Objects);
        Form->Propdump.FileName = "objects.txt";
        Form->Propdump.Version = 4;
        Form->RefreshViews();
        QCoreApplication::processEvents();
        Fake->Reset();
    }

    QStringList Fields(int Row) const {
        return Model()->data(Model()->index(Row)).toString().split(Sep);
    }

    QStringList PieceTexts(int Row) const {
        std::string Text;
        if (!Model()->ListBox1Data(Row, Text))
            return {"<no row>"};
        QStringList Result;
        for (const auto& Piece : Delegate()->LayOutRow(Text, Form->ListBox1->fontMetrics()))
            Result << Piece.Text;
        return Result;
    }

    // Row as the list paints it, into an image of the viewport's width.
    QImage RenderRow(int Row, bool Selected) const {
        QStyleOptionViewItem Option;
        Option.initFrom(Form->ListBox1);
        Option.font = Form->ListBox1->font();
        Option.rect = QRect(0, 0, Form->ListBox1->viewport()->width(), 16);
        Option.state = QStyle::State_Enabled | QStyle::State_Active;
        if (Selected)
            Option.state |= QStyle::State_Selected;
        QImage Image(Option.rect.size(), QImage::Format_ARGB32_Premultiplied);
        Image.fill(Qt::magenta);
        QPainter Painter(&Image);
        Delegate()->paint(&Painter, Option, Model()->index(Row));
        return Image;
    }

    void DoubleClickAt(const QPoint& Pos) {
        QTest::mouseDClick(Form->ListBox1->viewport(), Qt::LeftButton, {}, Pos);
        QCoreApplication::processEvents();
    }

    QPoint RowCentre(int Row) const {
        return Form->ListBox1->visualRect(Model()->index(Row)).center();
    }

private slots:
    void init() {
        Fake = std::make_unique<FakePlatform>();
        Form = std::make_unique<TMainForm>();
        Form->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form.get()));
        QVERIFY(Model());
        QVERIFY(Delegate());
    }

    void cleanup() {
        Form.reset();
        Fake.reset();
    }

    void rowTextPutsEachFieldInItsColumn() {
        Load({MakeObject(1234, "tree.rwx", "a tree", "create color red"),
              MakeObject(-7, "", "", ""), MakeObject(5, "bush.rwx", "", "create sign"),
              MakeObject(6, "rock.rwx", "just a rock", "")});
        const QString Common = QStringLiteral("01 Jan 1970 00:00:00") + Sep +
                               QStringLiteral("12.345N 6.789E 1.50a 90.0") + Sep;
        QCOMPARE(Model()->data(Model()->index(0)).toString(),
                 QStringLiteral("1234") + Sep + Common + "tree.rwx" + Sep + "a tree" + Sep +
                     "create color red");
        QCOMPARE(Model()->data(Model()->index(1)).toString(), QStringLiteral("-7") + Sep + Common);
        QCOMPARE(Fields(2), QStringList({"5", "01 Jan 1970 00:00:00", "12.345N 6.789E 1.50a 90.0",
                                         "bush.rwx", "", "create sign"}));
        QCOMPARE(Fields(3).size(), 5);

        // As drawn: nothing in the columns a row has no field for, the action under "Action".
        Form->HeaderControl1->resizeSection(2, 300);
        QCOMPARE(PieceTexts(1),
                 QStringList({"-7", "01 Jan 1970 00:00:00", "12.345N 6.789E 1.50a 90.0", ""}));
        QCOMPARE(PieceTexts(2).at(5), QStringLiteral("create sign"));
        std::string Text;
        QVERIFY(Model()->ListBox1Data(2, Text));
        const auto Pieces = Delegate()->LayOutRow(Text, Form->ListBox1->fontMetrics());
        QCOMPARE(Pieces.size(), std::size_t(6));
        QCOMPARE(Pieces[5].Left, 50 + 125 + 300 + 125 + 125);
        QCOMPARE(Delegate()->TypeLabelLeft(), 50 + 125 + 300);
    }

    void separatorInsideATextStartsTheNextColumn() {
        // The sixth piece takes the rest of the text, separators and all.
        Load({MakeObject(1, "m", "left\x1Dright", "act\x1Dmore")});
        QCOMPARE(PieceTexts(0).mid(3),
                 QStringList({"m", "left", QString("right") + Sep + "act" + Sep + "more"}));
    }

    void shorteningFollowsTheColumnWidth() {
        const QFontMetrics Metrics(Form->ListBox1->font());
        const QString Text = QStringLiteral("A rather long description of a tree");
        const int Width = Metrics.horizontalAdvance(Text);

        QCOMPARE(ShortenToColumn(Text, Metrics, Width + 1), Text);
        const QString AtWidth = ShortenToColumn(Text, Metrics, Width);
        QVERIFY2(AtWidth.endsWith("...") && AtWidth.size() < Text.size() + 3, qPrintable(AtWidth));
        QVERIFY(Metrics.horizontalAdvance(AtWidth) < Width);
        // The longest start that fits: one more character would not be narrower.
        const QString Start = AtWidth.chopped(3);
        QVERIFY(Text.startsWith(Start));
        QVERIFY(Metrics.horizontalAdvance(Text.left(Start.size() + 1) + "...") >= Width);

        // A column too narrow for one character and "..." shows "..." alone, even when that
        // is wider than the column.
        const int OneAndDots = Metrics.horizontalAdvance(Text.left(1) + "...");
        QCOMPARE(ShortenToColumn(Text, Metrics, OneAndDots), QStringLiteral("..."));
        QCOMPARE(ShortenToColumn(Text, Metrics, 2), QStringLiteral("..."));
        QCOMPARE(ShortenToColumn(QString(), Metrics, 0), QStringLiteral("..."));
        QCOMPARE(ShortenToColumn(QStringLiteral("W"), Metrics, Metrics.horizontalAdvance("W")),
                 QStringLiteral("..."));

        // Whatever the width, the same result as trying every shorter start from the longest.
        const QStringList Samples = {Text, QStringLiteral("iiiiiiiiiiWWWWWWWWWW.rwx"),
                                     QStringLiteral("create color red, sign \"Welcome\""),
                                     QString::fromUtf8("\u00AB Zone \u00BB ffi fl AV To")};
        for (const QString& Sample : Samples)
            for (int W = 0; W <= Metrics.horizontalAdvance(Sample) + 2; ++W)
                QCOMPARE(ShortenToColumn(Sample, Metrics, W), ShortenByScan(Sample, Metrics, W));
    }

    void shortenedPiecesAsDrawn() {
        const QFontMetrics Metrics(Form->ListBox1->font());
        const QString Model = QStringLiteral("a_very_long_model_name_for_a_tree.rwx");
        Load({MakeObject(1, Model.toStdString(), "", "")});
        const int Exact = Metrics.horizontalAdvance(Model);
        Form->HeaderControl1->resizeSection(3, Exact);
        QCOMPARE(PieceTexts(0).at(3), ShortenToColumn(Model, Metrics, Exact));
        QVERIFY(PieceTexts(0).at(3).endsWith("..."));
        Form->HeaderControl1->resizeSection(3, Exact + 1);
        QCOMPARE(PieceTexts(0).at(3), Model);
        Form->HeaderControl1->resizeSection(3, 3);
        QCOMPARE(PieceTexts(0).at(3), QStringLiteral("..."));
    }

    void typeLabelOverTheModelColumn_data() {
        QTest::addColumn<int>("ObjectType");
        QTest::addColumn<bool>("Selected");
        QTest::addColumn<QString>("Label");
        const QString Zone = QString::fromUtf8("\u00AB Zone \u00BB");
        QTest::newRow("zone") << 2 << false << Zone;
        QTest::newRow("zone selected") << 2 << true << Zone;
        QTest::newRow("type 9") << 9 << false << QStringLiteral("???");
        QTest::newRow("type -1 selected") << -1 << true << QStringLiteral("???");
    }

    void typeLabelOverTheModelColumn() {
        QFETCH(int, ObjectType);
        QFETCH(bool, Selected);
        QFETCH(QString, Label);
        Load({MakeObject(1, "WWWWWWWWWWWWWWWWWWWWWWWWWWW", "d", "", ObjectType)});

        const QImage Row = RenderRow(0, Selected);
        const QPalette Colours = Form->ListBox1->palette();
        const QColor Back =
            Colours.color(QPalette::Active, Selected ? QPalette::Highlight : QPalette::Base);
        const QColor Ink =
            Colours.color(QPalette::Active, Selected ? QPalette::HighlightedText : QPalette::Link);
        QVERIFY(Ink != Colours.color(QPalette::Active, QPalette::Text));

        // What the label's own rectangle should show: the label, bold, in its colour, on the
        // row's background, and nothing of the model text beneath it.
        QFont Bold = Form->ListBox1->font();
        Bold.setBold(true);
        const QFontMetrics BoldMetrics(Bold);
        const QRect Area(300, 0, BoldMetrics.horizontalAdvance(Label), BoldMetrics.height());
        QImage Expected(Row.size(), Row.format());
        Expected.fill(Back);
        {
            QPainter Painter(&Expected);
            Painter.setFont(Bold);
            Painter.setPen(Ink);
            Painter.drawText(QPoint(300, BoldMetrics.ascent()), Label);
        }
        QCOMPARE(Row.copy(Area), Expected.copy(Area));
        // Bold is wider than the list font: the label is not the plain-font text.
        QVERIFY(BoldMetrics.horizontalAdvance(Label) !=
                QFontMetrics(Form->ListBox1->font()).horizontalAdvance(Label));
        // The rest of the row is on the row's background: the first column starts there too.
        QCOMPARE(Row.pixelColor(Row.width() - 1, 15), Back);
    }

    void vanishedRowsDrawEmpty() {
        Load({MakeObject(1, "", "", ""), MakeObject(2, "m", "", "")});
        // The document shrank before the list was told: the row is there, with nothing in it.
        Form->Propdump.Objects.pop_back();
        QCOMPARE(Model()->rowCount(), 2);
        QCOMPARE(Model()->data(Model()->index(1)), QVariant());
        std::string Text = "untouched";
        QVERIFY(!Model()->ListBox1Data(1, Text));
        QCOMPARE(Text, std::string("untouched"));
        const QImage Row = RenderRow(1, false);
        QImage Empty(Row.size(), Row.format());
        Empty.fill(Form->ListBox1->palette().color(QPalette::Active, QPalette::Base));
        QCOMPARE(Row, Empty);
    }

    void modelFollowsTheCount() {
        QAbstractItemModelTester Tester(Model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(Model()->rowCount(), 0);
        Load({MakeObject(1, "a", "", ""), MakeObject(2, "b", "", ""), MakeObject(3, "c", "", "")});
        QCOMPARE(Model()->rowCount(), 3);
        QCOMPARE(Form->ListBox1->model()->rowCount(Model()->index(0)), 0);
        QCOMPARE(Model()->data(Model()->index(2), Qt::DecorationRole), QVariant());
        QCOMPARE(Model()->data(Model()->index(2)).toString().split(Sep).at(3), QStringLiteral("c"));

        // Rows are 16 pixels high and as wide as the list; the list does not scroll sideways
        // when the columns grow past its edge.
        const QRect Second = Form->ListBox1->visualRect(Model()->index(1));
        QCOMPARE(Second.top(), 16);
        QCOMPARE(Second.height(), 16);
        QCOMPARE(Second.width(), Form->ListBox1->viewport()->width());
        Form->HeaderControl1->resizeSection(4, 900);
        QCoreApplication::processEvents();
        QCOMPARE(Form->ListBox1->horizontalScrollBar()->maximum(), 0);

        Form->Propdump.Objects.clear();
        Form->Propdump.FileName.clear();
        Form->RefreshViews();
        QCOMPARE(Model()->rowCount(), 0);
    }

    void sectionResizeRepaintsTheWholeList() {
        std::vector<TPropObject> Objects;
        for (int i = 0; i < 40; ++i)
            Objects.push_back(MakeObject(i, "model.rwx", "description", "action"));
        Load(std::move(Objects));
        TPaintRecorder Recorder;
        Form->ListBox1->viewport()->installEventFilter(&Recorder);
        QCoreApplication::processEvents();
        Recorder.Regions.clear();

        Form->HeaderControl1->resizeSection(0, 80);
        QCoreApplication::processEvents();
        QVERIFY(Recorder.Covered(Form->ListBox1->viewport()->rect()));
        // Drawn with the new width.
        std::string Text;
        QVERIFY(Model()->ListBox1Data(5, Text));
        QCOMPARE(Delegate()->LayOutRow(Text, Form->ListBox1->fontMetrics())[1].Left, 80);
    }

    void doubleClickThatOpensNothingOnlyBeeps_data() {
        QTest::addColumn<int>("ObjectType");
        QTest::addColumn<bool>("OnRow");
        QTest::addColumn<bool>("Vanished");
        QTest::newRow("below the rows, nothing selected") << 0 << false << false;
        QTest::newRow("zone") << 2 << true << false;
        // Shown, but the document lost it before the list was told: no error, no object.
        QTest::newRow("vanished object") << 0 << true << true;
    }

    void doubleClickThatOpensNothingOnlyBeeps() {
        QFETCH(int, ObjectType);
        QFETCH(bool, OnRow);
        QFETCH(bool, Vanished);
        Load({MakeObject(1, "a", "", "", ObjectType), MakeObject(2, "b", "", "", ObjectType)});
        if (Vanished)
            Form->Propdump.Objects.pop_back();
        bool Opened = false;
        Fake->ModalHandlers.enqueue([&](QDialog&) {
            Opened = true;
            return int(QDialog::Rejected);
        });
        DoubleClickAt(OnRow ? RowCentre(1) : QPoint(20, 100));
        QCOMPARE(Form->ListBox1->selectionModel()->selectedIndexes().size(), OnRow ? 1 : 0);
        QCOMPARE(Fake->Sounds, QList<TSoundKind>({TSoundKind::Asterisk}));
        QVERIFY(!Opened);
        QVERIFY(Fake->Errors.isEmpty());
    }

    void doubleClickEditsThePlainObject() {
        Load({MakeObject(1, "a", "", ""), MakeObject(2, "b.rwx", "", "")});
        QString Failure = "not opened";
        Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmObject*>(&Dialog);
            if (!Frm || Frm->objectName() != "FrmObject" || Frm->parentWidget() != Form.get())
                return int(QDialog::Rejected);
            if (Frm->Edit1->text() != "b.rwx" || Frm->Edit1->isReadOnly() || !Frm->Editable() ||
                !Frm->SpeedButton1->isEnabled()) {
                Failure = "not shown editable with the second object";
                return int(QDialog::Rejected);
            }
            Failure.clear();
            Frm->Edit1->selectAll();
            QTest::keyClicks(Frm->Edit1, "c.rwx");
            Fake->MessageAnswers.enqueue(QMessageBox::Yes);
            Frm->OkButton->click();
            return Frm->result();
        });
        DoubleClickAt(RowCentre(1));
        QVERIFY2(Failure.isEmpty(), qPrintable(Failure));
        QVERIFY2(Fake->Errors.isEmpty(), qPrintable(Fake->Errors.join('\n')));
        QCOMPARE(Form->Propdump.Item(1).Model, std::string("c.rwx"));
        QCOMPARE(Fields(1).at(3), QStringLiteral("c.rwx"));
        // Only the list shows the edit until the next refresh.
        QVERIFY(Form->ModelItems->stringList().contains("b.rwx"));
        QVERIFY(!Form->findChild<TFrmObject*>());
    }

    void listRepaintsOnlyAfterOk_data() {
        QTest::addColumn<int>("Result");
        QTest::addColumn<bool>("Repainted");
        QTest::newRow("OK") << int(QDialog::Accepted) << true;
        QTest::newRow("Cancel") << int(QDialog::Rejected) << false;
    }

    void listRepaintsOnlyAfterOk() {
        QFETCH(int, Result);
        QFETCH(bool, Repainted);
        Load({MakeObject(1, "a", "", "")});
        TPaintRecorder Recorder;
        Form->ListBox1->viewport()->installEventFilter(&Recorder);
        Fake->ModalHandlers.enqueue([&](QDialog&) {
            QCoreApplication::processEvents();
            Recorder.Regions.clear();
            return Result;
        });
        Form->EditObject(Form->Propdump.Item(0), false);
        QCoreApplication::processEvents();
        QVERIFY(Fake->ModalHandlers.isEmpty());
        QCOMPARE(Recorder.Covered(Form->ListBox1->viewport()->rect()), Repainted);
        QVERIFY(!Form->findChild<TFrmObject*>());
    }

    void editObjectReadOnly() {
        Load({MakeObject(1, "a.rwx", "", "")});
        QString Failure = "not opened";
        Fake->ModalHandlers.enqueue([&](QDialog& Dialog) {
            auto* Frm = qobject_cast<TFrmObject*>(&Dialog);
            if (!Frm)
                return int(QDialog::Rejected);
            if (Frm->Edit1->text() != "a.rwx" || !Frm->Edit1->isReadOnly() || Frm->Editable() ||
                Frm->SpeedButton1->isEnabled() || !Frm->OkButton->isEnabled())
                Failure = "not read-only";
            else
                Failure.clear();
            return int(QDialog::Rejected);
        });
        Form->EditObject(Form->Propdump.Item(0), true);
        QVERIFY2(Failure.isEmpty(), qPrintable(Failure));
        QVERIFY(Fake->Sounds.isEmpty());
    }
};

QTEST_MAIN(ObjectsListTest)
#include "ObjectsListTest.moc"
