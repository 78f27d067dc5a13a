#pragma once

#include "ops/SearchCriteria.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;
class TMaskedDateTimeEdit;
class TMemoEdit;

// Indexed by "is excluded" and "is exact match".
extern const std::array<QString, 2> InclusionLabels;
extern const std::array<QString, 2> ExactMatchLabels;

// One line per criterion that is on, in member order; the single line "none" when none is.
QStringList SearchCriteriaSummary(const TSearchCriteria& Criteria);

// The "Edit Search Criteria" dialog; works on its own copy, Criteria, which the caller takes
// back only when the dialog ends with OK.
class TFrmSearch : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSearch(QWidget* Parent = nullptr);

    TSearchCriteria Criteria;

    QLabel* Image1;
    QCheckBox* CitNumsField;
    TMemoEdit* Memo1;
    QCheckBox* CitNumsExclude;
    QCheckBox* ModelsField;
    TMemoEdit* Memo2;
    QCheckBox* ModelsExclude;
    QCheckBox* DescriptionField;
    TMemoEdit* Memo3;
    QCheckBox* DescriptionExactMatch;
    QCheckBox* DescriptionExclude;
    QCheckBox* ActionField;
    TMemoEdit* Memo4;
    QCheckBox* ActionExactMatch;
    QCheckBox* ActionExclude;
    QCheckBox* MinTimeField;
    TMaskedDateTimeEdit* Edit1;
    QCheckBox* MaxTimeField;
    TMaskedDateTimeEdit* Edit2;
    QCheckBox* ObjTypeField;
    QComboBox* ComboBox1;
    QCheckBox* ObjTypeExclude;
    QFrame* Bevel1;
    QPushButton* OkButton;
    QPushButton* CancelButton;

    void FormShow();
    void CitNumsFieldClick();
    void ModelsFieldClick();
    void DescriptionFieldClick();
    void ActionFieldClick();
    void MinTimeFieldClick();
    void MaxTimeFieldClick();
    void ObjTypeFieldClick();
    void CitNumsExcludeClick();
    void ModelsExcludeClick();
    void DescriptionExcludeClick();
    void ActionExcludeClick();
    void ObjTypeExcludeClick();
    void DescriptionExactMatchClick();
    void ActionExactMatchClick();
    // Lets through backspace, ',' and digits; anything else becomes the null character.
    void Memo1KeyPress(QChar& Key);
    void OkButtonClick();

protected:
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void CreateControls();
    // Names for screen readers, from the criterion check boxes.
    void NameInputs();
    void ConnectControls();
    // A criterion box changed: its input and option boxes follow it, and so does Fields.
    void CriterionClicked(TSearchField Field, const QCheckBox& Box, QWidget& Input,
                          std::initializer_list<QCheckBox*> Options);
    void Memo1InsertText(QString& Text);
    void StoreInputs();
};
