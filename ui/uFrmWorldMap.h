#pragma once

// The "World Map" window: the main window's document seen from above. It is not modal and
// follows the document: every refresh of the main window's views (open, close, revert, a
// deletion, a bulk edit, an object edited, undo and redo) reloads it, and every change of the
// search results recolours it. Closing it changes nothing.

#include "ui/MapView.h"

#include <QString>
#include <QWidget>

#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class TMainForm;

class TFrmWorldMap : public QWidget {
    Q_OBJECT
public:
    explicit TFrmWorldMap(TMainForm& Form);

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

    TMainForm& Form;
    // The file the map showed last: another file is shown whole, the same one keeps the view.
    std::string ShownFile;
};

// An object's row as the objects list shows it, its columns set apart for reading in one line.
QString ReadableRowText(const class TPropObject& Object);
