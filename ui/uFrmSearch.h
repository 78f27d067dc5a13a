#pragma once

#include "text/DateTimeText.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QShowEvent;
class TMaskedDateTimeEdit;
class TMemoEdit;

// The search criteria, in the order they are applied and listed.
enum TSearchField : uint8_t {
    sfCitNums,
    sfModels,
    sfDescription,
    sfAction,
    sfMinTime,
    sfMaxTime,
    sfObjType,
};

// A set of criteria, one bit per member.
class TSearchFields {
public:
    bool Has(TSearchField Field) const { return (Bits & Bit(Field)) != 0; }
    void Set(TSearchField Field, bool On) {
        Bits = static_cast<uint8_t>(On ? (Bits | Bit(Field)) : (Bits & ~Bit(Field)));
    }
    bool IsEmpty() const { return Bits == 0; }
    bool operator==(const TSearchFields&) const = default;

private:
    static uint8_t Bit(TSearchField Field) { return static_cast<uint8_t>(1u << Field); }
    uint8_t Bits = 0;
};

// Plain value, copied whole; all zero (nothing switched on) by default.
struct TSearchCriteria {
    TSearchFields Fields;
    TSearchFields Exclude;
    TSearchFields ExactMatch;
    // Windows-1252 bytes, at most MaxTextLength each.
    std::string CitNumsText;
    std::string ModelsText;
    std::string DescriptionText;
    std::string ActionText;
    TDateTimeValue MinTime = 0;
    TDateTimeValue MaxTime = 0;
    int32_t ObjType = 0;

    static constexpr std::size_t MaxTextLength = 255;
    bool operator==(const TSearchCriteria&) const = default;
};

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
    void ConnectControls();
    // A criterion box changed: its input and option boxes follow it, and so does Fields.
    void CriterionClicked(TSearchField Field, const QCheckBox& Box, QWidget& Input,
                          std::initializer_list<QCheckBox*> Options);
    void Memo1InsertText(QString& Text);
    void StoreInputs();
};
