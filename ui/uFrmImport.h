#pragma once

// The "Import Objects" dialog: which objects of another dump to bring into the open one (all, or
// only those meeting the search criteria, inside the world map's area, or missing from the
// document) and an offset for them. OK refuses an offset it cannot read and keeps the dialog open.

#include "ops/Import.h"

#include <QDialog>
#include <QString>

#include <optional>

class QCheckBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

class TFrmImport : public QDialog {
    Q_OBJECT
public:
    explicit TFrmImport(QWidget* Parent = nullptr);

    // The other dump: its name (without the folder), how many objects it holds and its version.
    void SetSource(const QString& Name, int Count, int Version);
    // What the two "Only objects ..." boxes would apply; a box is off and disabled while there is
    // nothing to apply (no criterion switched on, no area drawn on the map).
    void SetCriteria(const TSearchCriteria& Criteria);
    void SetArea(const std::optional<TMapArea>& Area);

    // Valid once the dialog has ended with OK.
    const TImportChoice& Choice() const { return Chosen; }

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QCheckBox* CriteriaCheck = nullptr;
    QCheckBox* AreaCheck = nullptr;
    QCheckBox* MissingCheck = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* OffsetEdit = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void OkButtonClick();

protected:
    void keyPressEvent(QKeyEvent* Event) override;

private:
    TSearchCriteria Criteria;
    std::optional<TMapArea> Area;
    TImportChoice Chosen;
};
