#pragma once

// The "Move Found Objects" dialog: an offset, a turn about a centre and whether to copy, for the
// objects the search found. OK refuses what cannot be done (a text that is no offset or angle, a
// move by nothing, an object that would leave the world's range) and keeps the dialog open.

#include "model/Propdmp.h"
#include "ops/Relocation.h"

#include <QDialog>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class QCheckBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// What to do with the found objects: turn them by Turn tenths of a degree about the centre, then
// move them by By; copies of them when Copy.
struct TMoveChoice {
    TOffset By;
    int32_t Turn = 0;
    int32_t CentreX = 0;
    int32_t CentreZ = 0;
    bool Copy = false;

    TRelocation Relocation() const { return TRelocation(By, Turn, CentreX, CentreZ); }
};

// "The 1,234 found objects will now be turned by 90 degrees about 12.5N 7W, then moved by 200N
// 0E." and the like, for the question before the change.
QString MoveQuestion(const TMoveChoice& Choice, std::size_t Count);

class TFrmMove : public QDialog {
    Q_OBJECT
public:
    // Positions: the found objects, 0-based; the centre shown first is the middle of their extent.
    TFrmMove(const TPropdumpFile& Document, std::vector<std::size_t> Positions,
             QWidget* Parent = nullptr);

    // Valid once the dialog has ended with OK.
    const TMoveChoice& Choice() const { return Chosen; }

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* OffsetEdit = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* TurnEdit = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* CentreEdit = nullptr;
    QCheckBox* CopyCheck = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

    void OkButtonClick();

protected:
    void keyPressEvent(QKeyEvent* Event) override;

private:
    // Reads the inputs into Chosen; the field whose text cannot be used gets the focus.
    void StoreInputs();

    const TPropdumpFile& Document;
    const std::vector<std::size_t> Positions;
    TMoveChoice Chosen;
};
