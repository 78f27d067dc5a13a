#pragma once

#include "model/Propdmp.h"

#include <QDialog>
#include <QString>

#include <array>
#include <string>

class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QToolButton;
class QWidget;
class TMaskedDateTimeEdit;
class TMemoEdit;

// The "Edit Object" dialog: shows one object and writes the fields the user changed back into it.
class TFrmObject : public QDialog {
    Q_OBJECT
public:
    explicit TFrmObject(QWidget* Parent = nullptr);

    // The object shown and changed; set before the dialog is shown. Not owned.
    TPropObject* PropObject = nullptr;
    // Whether the last field changed by the user was changed; decides whether Cancel asks.
    bool ChangesMade = false;

    QLabel* Image1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    TMemoEdit* Memo1;
    QLabel* Label3;
    TMemoEdit* Memo2;
    QLabel* Label4;
    TMaskedDateTimeEdit* Edit2;
    QToolButton* SpeedButton1;
    QLabel* Label5;
    QLineEdit* Edit3;
    QLabel* Label6;
    QLineEdit* Edit4;
    QLabel* Label7;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QFrame* Bevel1;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void SetEditable(bool Value);
    bool Editable() const { return IsEditable; }

    // Fills every field from PropObject; none counts as changed afterwards.
    void FormShow();
    void SpeedButton1Click();
    void OkButtonClick();
    void CancelButtonClick();

protected:
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    // The entry fields in the order they are written back.
    enum TEntry {
        enModel,
        enDescription,
        enAction,
        enTimestamp,
        enOwner,
        enLocation,
        enTilt,
        enRoll
    };
    static constexpr int EntryCount = 8;

    void CreateControls();
    // Each field takes the caption of its label as its name.
    void NameFields();
    void ConnectControls();
    QWidget* EntryWidget(TEntry Entry) const;
    void EntryChanged(TEntry Entry);
    void ColourEntry(TEntry Entry);
    void ModelEdited(const QString& Text);
    // Writes the changed fields, all of them or, when one cannot be converted, none.
    void ApplyChanges();

    bool IsEditable = true;
    bool Filling = false;
    std::array<bool, EntryCount> UserChanged{};
    // The model text before the user's last edit: a refused edit goes back to it.
    QString AcceptedModelText;
    // Line breaks the user types are stored the way the object's text already wrote them.
    QString DescriptionLineBreak;
    QString ActionLineBreak;
};
