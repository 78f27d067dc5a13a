#include "ui/uFrmWorldMap.h"

#include "model/Propdmp.h"
#include "text/PositionInfo.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/FormFont.h"
#include "ui/ObjectTypeNames.h"
#include "ui/ObjectsListModel.h"
#include "ui/Platform.h"
#include "ui/SearchResultsModel.h"
#include "ui/TextCodec.h"
#include "ui/uFrmMove.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <stdexcept>
#include <utility>

namespace {

constexpr int ModelColumn = 3;

QString PositionText(int32_t X, int32_t Z) {
    return ToQString(PositionToText(X, 0, Z, 0));
}

QLabel* StatusLabel(QWidget* Parent, const char* Name, const QString& AccessibleName) {
    auto* Label = new QLabel(Parent);
    Label->setObjectName(QString::fromLatin1(Name));
    Label->setAccessibleName(AccessibleName);
    Label->setTextFormat(Qt::PlainText);
    Label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Long rows must not widen the window.
    Label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return Label;
}

} // namespace

QString ReadableRowText(const TPropObject& Object) {
    QStringList Fields = ToQString(ObjectRowText(Object)).split(QChar(ColumnSeparator));
    // The list draws the type's label over the model name.
    if (Object.ObjectType != 0 && Fields.size() > ModelColumn)
        Fields[ModelColumn] = ObjectTypeName(Object.ObjectType);
    QStringList Shown;
    for (QString& Field : Fields) {
        if (Field.isEmpty())
            continue;
        Field.replace(QLatin1String("\r\n"), QLatin1String(" "));
        Field.replace(QLatin1Char('\r'), QLatin1Char(' '));
        Field.replace(QLatin1Char('\n'), QLatin1Char(' '));
        Shown << Field;
    }
    return Shown.join(QStringLiteral("  |  "));
}

TFrmWorldMap::TFrmWorldMap(QWidget& Owner, TWorldMapLinks MapLinks)
    : QWidget(&Owner, Qt::Window), Links(std::move(MapLinks)) {
    setObjectName(QStringLiteral("FrmWorldMap"));
    setWindowTitle(QStringLiteral("World Map"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(720, 600);
    // The same face and size as every other window of the editor.
    ApplyFormFont(*this);

    FitButton = new QPushButton(QStringLiteral("Fit"), this);
    FitButton->setObjectName(QStringLiteral("FitButton"));
    FitButton->setToolTip(QStringLiteral("Show every object (Home)"));
    SelectAreaButton = new QToolButton(this);
    SelectAreaButton->setObjectName(QStringLiteral("SelectAreaButton"));
    SelectAreaButton->setText(QStringLiteral("Select area"));
    SelectAreaButton->setCheckable(true);
    SelectAreaButton->setFocusPolicy(Qt::StrongFocus);
    SelectAreaButton->setToolTip(
        QStringLiteral("While on, dragging draws an area; Shift+drag always does"));
    FindInAreaButton = new QPushButton(QStringLiteral("Find objects in this area"), this);
    FindInAreaButton->setObjectName(QStringLiteral("FindInAreaButton"));
    MatchCriteriaCheck =
        new QCheckBox(QStringLiteral("Only objects matching the search criteria"), this);
    MatchCriteriaCheck->setObjectName(QStringLiteral("MatchCriteriaCheck"));
    SavePictureButton = new QPushButton(QStringLiteral("Save picture..."), this);
    SavePictureButton->setObjectName(QStringLiteral("SavePictureButton"));

    MapView = new TMapView(this);
    PointerLabel = StatusLabel(this, "PointerLabel", QStringLiteral("Position under the pointer"));
    AreaLabel = StatusLabel(this, "AreaLabel", QStringLiteral("Area"));
    HoverLabel = StatusLabel(this, "HoverLabel", QStringLiteral("Object under the pointer"));
    PointerLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0")) * 28);
    PointerLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    auto* Tools = new QHBoxLayout;
    Tools->addWidget(FitButton);
    Tools->addWidget(SelectAreaButton);
    Tools->addWidget(FindInAreaButton);
    Tools->addWidget(MatchCriteriaCheck);
    Tools->addStretch(1);
    Tools->addWidget(SavePictureButton);
    auto* Status = new QHBoxLayout;
    Status->addWidget(PointerLabel);
    Status->addWidget(AreaLabel, 1);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Tools);
    Layout->addWidget(MapView, 1);
    Layout->addLayout(Status);
    Layout->addWidget(HoverLabel);

    setTabOrder(FitButton, SelectAreaButton);
    setTabOrder(SelectAreaButton, FindInAreaButton);
    setTabOrder(FindInAreaButton, MatchCriteriaCheck);
    setTabOrder(MatchCriteriaCheck, SavePictureButton);
    setTabOrder(SavePictureButton, MapView);

    connect(FitButton, &QPushButton::clicked, MapView, &TMapView::Fit);
    auto* Home = new QShortcut(QKeySequence(Qt::Key_Home), this);
    Home->setContext(Qt::WidgetWithChildrenShortcut);
    connect(Home, &QShortcut::activated, MapView, &TMapView::Fit);
    connect(SelectAreaButton, &QToolButton::toggled, MapView, &TMapView::SetAreaMode);
    connect(FindInAreaButton, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { FindInAreaButtonClick(); }); });
    connect(SavePictureButton, &QPushButton::clicked, this,
            [this] { RunCommand(this, [this] { SavePictureButtonClick(); }); });
    connect(MapView, &TMapView::PointerMoved, this,
            [this](int32_t X, int32_t Z) { PointerLabel->setText(PositionText(X, Z)); });
    connect(MapView, &TMapView::HoverChanged, this, &TFrmWorldMap::ShowHover);
    connect(MapView, &TMapView::AreaChanged, this, &TFrmWorldMap::ShowArea);
    // Queued: the editor's own event loop starts once the map has finished with the click.
    connect(
        MapView, &TMapView::ObjectDoubleClicked, this,
        [this](int Index) { RunCommand(this, [this, Index] { MapViewDblClick(Index); }); },
        Qt::QueuedConnection);

    connect(MapView, &TMapView::MoveDragChanged, this, &TFrmWorldMap::ShowMoveDrag);
    // Queued, as the double-click: the question before the move has an event loop of its own.
    connect(MapView, &TMapView::FoundObjectsDropped, this, [this](TOffset By) {
        QMetaObject::invokeMethod(
            this,
            [this, By] {
                RunCommand(this, [this, By] { Links.MoveFoundObjects(TMoveChoice{By}, this); });
            },
            Qt::QueuedConnection);
    });

    connect(&Links.Results, &QAbstractItemModel::modelReset, this,
            &TFrmWorldMap::SearchResultsChanged);
    connect(&Links.Results, &QAbstractItemModel::rowsInserted, this,
            &TFrmWorldMap::SearchResultsChanged);
    connect(&Links.Results, &QAbstractItemModel::rowsRemoved, this,
            &TFrmWorldMap::SearchResultsChanged);
    connect(&Links.Selection, &QItemSelectionModel::selectionChanged, this,
            &TFrmWorldMap::ObjectSelectionChanged);

    PointerLabel->setText(QString());
    DocumentChanged();
    ShowArea();
}

void TFrmWorldMap::DocumentChanged() {
    const TPropdumpFile& Document = Links.Document;
    TMapPoints& Points = MapView->Points();
    const bool Refit = Points.Count() == 0 || Document.FileName != ShownFile;
    ShownFile = Document.FileName;
    if (Document.FileName.empty()) {
        Points.Clear();
        MapView->SetMessage(QStringLiteral("No propdump is open."));
    } else {
        Points.Load(Document);
        MapView->SetMessage(
            Document.Objects.empty() ? QStringLiteral("This propdump has no objects.") : QString());
    }
    MapView->PointsChanged(Refit);
    SearchResultsChanged();
    ObjectSelectionChanged();
    ShowArea();
}

void TFrmWorldMap::SearchResultsChanged() {
    const TSearchResultsModel& Results = Links.Results;
    TMapPoints& Points = MapView->Points();
    Points.ClearFound();
    for (int Row = 0; Row < Results.RowCount(); ++Row)
        Points.MarkFound(Results.Position(Row) - 1);
    MapView->PointsChanged(false);
}

void TFrmWorldMap::ObjectSelectionChanged() {
    const QModelIndexList Selected = Links.Selection.selectedIndexes();
    MapView->SetSelected(Selected.isEmpty() ? -1 : Selected.first().row());
}

void TFrmWorldMap::ShowArea() {
    const std::optional<TMapArea>& Area = MapView->Area();
    FindInAreaButton->setEnabled(Area.has_value() && !Links.Document.FileName.empty());
    if (!Area) {
        AreaLabel->setText(QStringLiteral("No area: Shift+drag on the map to draw one"));
        return;
    }
    AreaLabel->setText(
        QStringLiteral("Area from %1 to %2")
            .arg(ToQString(Area->NorthWestText()), ToQString(Area->SouthEastText())));
}

void TFrmWorldMap::ShowHover(const TMapView::THit& Hit) {
    QString Text;
    if (Hit.Crowded)
        Text = QStringLiteral("Zoom in to tell the objects here apart.");
    else if (Hit.Index >= 0 && Hit.Index < Links.Document.Count()) {
        Text = ReadableRowText(Links.Document.Item(Hit.Index));
        if (Hit.Others > 0)
            Text += QStringLiteral("  (and %1 more at this place)").arg(Hit.Others);
    }
    HoverLabel->setToolTip(Text);
    HoverLabel->setText(HoverLabel->fontMetrics().elidedText(Text, Qt::ElideRight,
                                                             std::max(HoverLabel->width(), 100)));
}

void TFrmWorldMap::ShowMoveDrag() {
    const std::optional<TOffset> By = MapView->MoveDragOffset();
    if (!By) {
        ShowHover({});
        return;
    }
    const int Found = Links.Results.RowCount();
    const QString Text =
        QStringLiteral("Moving %1 by %2: let go to move them there, Escape to leave them")
            .arg(Found == 1 ? QStringLiteral("the found object")
                            : QStringLiteral("the %1 found objects").arg(FormatCount(Found)),
                 ToQString(PositionToText(By->X, By->Y, By->Z, 0)));
    HoverLabel->setToolTip(QString());
    HoverLabel->setText(Text);
}

void TFrmWorldMap::FindInAreaButtonClick() {
    if (const std::optional<TMapArea>& Area = MapView->Area())
        Links.FindInArea(*Area, MatchCriteriaCheck->isChecked());
}

void TFrmWorldMap::MapViewDblClick(int Index) {
    // Where no single object can be told apart there is nothing to open, as with no row selected.
    if (Index < 0) {
        Platform().PlaySound(TSoundKind::Asterisk);
        return;
    }
    Links.OpenObject(Index);
}

void TFrmWorldMap::SavePictureButtonClick() {
    const QString Path =
        Platform().GetSaveFileName(this,
                                   {QStringLiteral("Save Map Picture"),
                                    QStringLiteral("PNG image (*.png)"), QStringLiteral("png")},
                                   Links.DialogFolder());
    if (Path.isEmpty())
        return;
    // PNG whatever the name ends in, since that is what the dialog offered.
    QImageWriter Writer(Path, "png");
    if (!Writer.write(MapView->Picture()))
        throw std::runtime_error(QStringLiteral("Cannot save the picture as \"%1\": %2")
                                     .arg(Path, Writer.errorString())
                                     .toStdString());
    Platform().PlaySound(TSoundKind::Asterisk);
}
