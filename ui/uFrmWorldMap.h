#pragma once

// The "World Map" window: the main window's document seen from above. It is not modal and
// follows the document: every refresh of the main window's views (open, close, revert, a
// deletion, a bulk edit, an object edited, undo and redo) reloads it, and every change of the
// search results recolours it. Closing it changes nothing.

#include "ui/MapView.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>

class QCheckBox;
class QItemSelectionModel;
class QLabel;
class QPushButton;
class QToolButton;
class TPropdumpFile;
class TSearchResultsModel;
class TMapArea;
struct TMoveChoice;

// What the map shows and what it asks of the editor; the editor outlives the map.
struct TWorldMapLinks {
    const TPropdumpFile& Document;
    const TSearchResultsModel& Results;
    // The objects list's selection, which the map marks.
    const QItemSelectionModel& Selection;
    // Lists the objects in an area as the search does, with the criteria or without them.
    std::function<void(const TMapArea& Area, bool WithCriteria)> FindInArea;
    // What a double-click on the objects list's row Index does.
    std::function<void(int Index)> OpenObject;
    // Moves the found objects after asking over Asker (the map's Ctrl+drag).
    std::function<void(const TMoveChoice& Choice, QWidget* Asker)> MoveFoundObjects;
    // Where "Save picture..." starts: the folder the window's file dialogs start in.
    std::function<QString()> DialogFolder;
};

class TFrmWorldMap : public QWidget {
    Q_OBJECT
public:
    // DocumentChanged is for the owner to call (or connect) whenever the document changed.
    TFrmWorldMap(QWidget& Owner, TWorldMapLinks Links);

    QPushButton* FitButton = nullptr;
    QToolButton* SelectAreaButton = nullptr;
    QPushButton* FindInAreaButton = nullptr;
    QCheckBox* MatchCriteriaCheck = nullptr;
    QPushButton* SavePictureButton = nullptr;
    TMapView* MapView = nullptr;
    QLabel* PointerLabel = nullptr;
    QLabel* AreaLabel = nullptr;
    QLabel* HoverLabel = nullptr;

    // Takes the document's objects afresh.
    void DocumentChanged();
    void SearchResultsChanged();
    void ObjectSelectionChanged();

    void FindInAreaButtonClick();
    void SavePictureButtonClick();
    void MapViewDblClick(int Index);

private:
    void ShowArea();
    void ShowHover(const TMapView::THit& Hit);
    // Where a Ctrl+drag is taking the found objects, while it lasts.
    void ShowMoveDrag();

    TWorldMapLinks Links;
    // The file the map showed last: another file is shown whole, the same one keeps the view.
    std::string ShownFile;
};

// An object's row as the objects list shows it, its columns set apart for reading in one line.
QString ReadableRowText(const class TPropObject& Object);
