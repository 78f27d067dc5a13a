#include "ui/uFrmSearch.h"

#include "model/Convert.h"
#include "ui/Accessibility.h"
#include "ui/Command.h"
#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/ObjectTypeNames.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <optional>

const std::array<QString, 2> InclusionLabels{QStringLiteral("Include"), QStringLiteral("Exclude")};
const std::array<QString, 2> ExactMatchLabels{QString(), QStringLiteral(", exact match")};

namespace {

// A criterion text on one summary line: each line break (CR LF, CR or LF) shows as a pilcrow, so
// that a text of several lines never makes a row of several lines.
QString OneLine(const std::string& Text) {
    QString Line = ToQString(Text);
    Line.replace(QStringLiteral("\r\n"), QStringLiteral("\u00B6"));
    Line.replace(u'\r', u'\u00B6');
    Line.replace(u'\n', u'\u00B6');
    return Line;
}

} // namespace

QStringList SearchCriteriaSummary(const TSearchCriteria& Criteria) {
    const auto inclusion = [&Criteria](TSearchField Field) {
        return InclusionLabels[Criteria.Exclude.Has(Field) ? 1 : 0];
    };
    const auto exactMatch = [&Criteria](TSearchField Field) {
        return ExactMatchLabels[Criteria.ExactMatch.Has(Field) ? 1 : 0];
    };
    // Several arguments to one arg() are put in at once, so a '%' in the user's text stays.
    QStringList lines;
    if (Criteria.Fields.Has(sfCitNums))
        lines << QStringLiteral("%1 cit#s: %2")
                     .arg(inclusion(sfCitNums), OneLine(Criteria.CitNumsText));
    if (Criteria.Fields.Has(sfModels))
        lines << QStringLiteral("%1 models: %2")
                     .arg(inclusion(sfModels), OneLine(Criteria.ModelsText));
    if (Criteria.Fields.Has(sfDescription))
        lines << QStringLiteral("%1 description%2: %3")
                     .arg(inclusion(sfDescription), exactMatch(sfDescription),
                          OneLine(Criteria.DescriptionText));
    if (Criteria.Fields.Has(sfAction))
        lines << QStringLiteral("%1 action%2: %3")
                     .arg(inclusion(sfAction), exactMatch(sfAction), OneLine(Criteria.ActionText));
    if (Criteria.Fields.Has(sfMinTime))
        lines << QStringLiteral("Earliest time: ") +
                     ToQString(FormatListDateTime(Criteria.MinTime));
    if (Criteria.Fields.Has(sfMaxTime))
        lines << QStringLiteral("Latest time: ") + ToQString(FormatListDateTime(Criteria.MaxTime));
    if (Criteria.Fields.Has(sfObjType))
        lines << QStringLiteral("%1 object type: %2")
                     .arg(inclusion(sfObjType), ObjectTypeName(Criteria.ObjType));
    if (lines.isEmpty())
        lines << QStringLiteral("none");
    return lines;
}

namespace {

QCheckBox* NewCheckBox(QWidget* Parent, const char* Name, const QString& Caption, int Left, int Top,
                       int Width) {
    auto* box = new QCheckBox(Caption, Parent);
    box->setObjectName(QString::fromLatin1(Name));
    // The widths were made for Tahoma; where another font needs more room, the caption keeps it
    // rather than being cut, as far as the dialog's edge allows.
    const int fitting = std::min(box->sizeHint().width(), Parent->width() - Left - 4);
    box->setGeometry(Left, Top, std::max(Width, fitting), 17);
    box->setCursor(Qt::PointingHandCursor);
    return box;
}

QCheckBox* NewOptionBox(QWidget* Parent, const char* Name, const QString& Caption, int Top,
                        int Width) {
    QCheckBox* box = NewCheckBox(Parent, Name, Caption, 256, Top, Width);
    box->setEnabled(false);
    return box;
}

TMemoEdit* NewMemo(QWidget* Parent, const char* Name, int Top, bool WantReturns) {
    auto* memo = new TMemoEdit(Parent);
    memo->setObjectName(QString::fromLatin1(Name));
    memo->setGeometry(64, Top, 185, 49);
    memo->MaxLength = static_cast<int>(TSearchCriteria::MaxTextLength);
    memo->WantReturns = WantReturns;
    memo->setEnabled(false);
    SetEntryColour(*memo, TEntryState::ReadOnly);
    return memo;
}

TMaskedDateTimeEdit* NewTimeEdit(QWidget* Parent, const char* Name, const QString& Text, int Top) {
    auto* edit = new TMaskedDateTimeEdit(Parent);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setGeometry(64, Top, 183, 21);
    edit->SetText(Text);
    edit->setEnabled(false);
    SetEntryColour(*edit, TEntryState::ReadOnly);
    return edit;
}

// The criterion's text as the search compares it: Windows-1252, line breaks as CR LF.
std::string MemoBytes(const TMemoEdit& Memo, const char* CriterionName) {
    std::optional<std::string> bytes = ToBytes(Memo.Text(QStringLiteral("\r\n")));
    if (!bytes)
        throw EConvertError(
            std::string("The ") + CriterionName +
            " criterion contains characters that cannot appear in a propdump file.");
    if (bytes->size() > TSearchCriteria::MaxTextLength)
        bytes->resize(TSearchCriteria::MaxTextLength);
    return std::move(*bytes);
}

bool IsCitNumsChar(QChar C) {
    return C == u',' || (C >= u'0' && C <= u'9');
}

} // namespace

TFrmSearch::TFrmSearch(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FrmSearch"));
    setWindowTitle(QStringLiteral("Edit Search Criteria"));
    ApplyFormFont(*this);
    setFixedSize(353, 490);
    CreateControls();
    ConnectControls();
}

void TFrmSearch::CreateControls() {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(
        ThemePixmap(QStringLiteral("edit-find"), QStyle::SP_FileDialogContentsView, 32));

    CitNumsField =
        NewCheckBox(this, "CitNumsField", QStringLiteral("Citizen Numbers:"), 64, 16, 105);
    Memo1 = NewMemo(this, "Memo1", 32, false);
    CitNumsExclude = NewOptionBox(this, "CitNumsExclude", QStringLiteral("exclude"), 32, 57);
    ModelsField = NewCheckBox(this, "ModelsField", QStringLiteral("Models:"), 64, 88, 57);
    Memo2 = NewMemo(this, "Memo2", 104, false);
    ModelsExclude = NewOptionBox(this, "ModelsExclude", QStringLiteral("exclude"), 104, 57);
    DescriptionField =
        NewCheckBox(this, "DescriptionField", QStringLiteral("Description:"), 64, 160, 73);
    Memo3 = NewMemo(this, "Memo3", 176, true);
    DescriptionExactMatch =
        NewOptionBox(this, "DescriptionExactMatch", QStringLiteral("exact match"), 176, 81);
    DescriptionExclude =
        NewOptionBox(this, "DescriptionExclude", QStringLiteral("exclude"), 192, 57);
    ActionField = NewCheckBox(this, "ActionField", QStringLiteral("Action:"), 64, 232, 57);
    Memo4 = NewMemo(this, "Memo4", 248, true);
    ActionExactMatch =
        NewOptionBox(this, "ActionExactMatch", QStringLiteral("exact match"), 248, 81);
    ActionExclude = NewOptionBox(this, "ActionExclude", QStringLiteral("exclude"), 264, 57);
    MinTimeField = NewCheckBox(this, "MinTimeField", QStringLiteral("Earliest time:"), 64, 304, 81);
    Edit1 = NewTimeEdit(this, "Edit1", QStringLiteral("06/15/1995 00:00:00"), 320);
    MaxTimeField = NewCheckBox(this, "MaxTimeField", QStringLiteral("Latest time:"), 64, 344, 73);
    Edit2 = NewTimeEdit(this, "Edit2", QStringLiteral("12/31/2037 11:59:59"), 360);
    ObjTypeField =
        NewCheckBox(this, "ObjTypeField", QStringLiteral("V4 Object type:"), 64, 384, 97);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(64, 400, 185, 21);
    ComboBox1->addItems({QStringLiteral("Zone"), QStringLiteral("Particle Emitter"),
                         QStringLiteral("Mover"), QStringLiteral("Camera")});
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setCursor(Qt::PointingHandCursor);
    ComboBox1->setEnabled(false);
    SetEntryColour(*ComboBox1, TEntryState::ReadOnly);
    ObjTypeExclude = NewOptionBox(this, "ObjTypeExclude", QStringLiteral("exclude"), 400, 57);

    Bevel1 = NewBevel(this, QRect(16, 432, 321, 9));
    OkButton = NewDialogButton(this, "OkButton", QStringLiteral("&OK"), QRect(99, 456, 75, 25));
    CancelButton =
        NewDialogButton(this, "CancelButton", QStringLiteral("&Cancel"), QRect(179, 456, 75, 25));
    SetTabOrder({CitNumsField,
                 Memo1,
                 CitNumsExclude,
                 ModelsField,
                 Memo2,
                 ModelsExclude,
                 DescriptionField,
                 Memo3,
                 DescriptionExactMatch,
                 DescriptionExclude,
                 ActionField,
                 Memo4,
                 ActionExactMatch,
                 ActionExclude,
                 MinTimeField,
                 Edit1,
                 MaxTimeField,
                 Edit2,
                 ObjTypeField,
                 ComboBox1,
                 OkButton,
                 CancelButton,
                 ObjTypeExclude});
    NameInputs();
}

void TFrmSearch::NameInputs() {
    // The check box above an input is its caption; an option box is read with its criterion,
    // since five of them are called "exclude".
    const auto name = [](const QCheckBox* Field, QWidget* Input,
                         std::initializer_list<QCheckBox*> Options) {
        const QString criterion = NameFromCaption(Field->text());
        Input->setAccessibleName(criterion);
        for (QCheckBox* option : Options)
            option->setAccessibleName(option->text() + u' ' + criterion);
    };
    name(CitNumsField, Memo1, {CitNumsExclude});
    name(ModelsField, Memo2, {ModelsExclude});
    name(DescriptionField, Memo3, {DescriptionExactMatch, DescriptionExclude});
    name(ActionField, Memo4, {ActionExactMatch, ActionExclude});
    name(MinTimeField, Edit1, {});
    name(MaxTimeField, Edit2, {});
    name(ObjTypeField, ComboBox1, {ObjTypeExclude});
}

void TFrmSearch::ConnectControls() {
    const auto onToggle = [this](QCheckBox* Box, void (TFrmSearch::*Handler)()) {
        connect(Box, &QCheckBox::toggled, this, Handler);
    };
    onToggle(CitNumsField, &TFrmSearch::CitNumsFieldClick);
    onToggle(ModelsField, &TFrmSearch::ModelsFieldClick);
    onToggle(DescriptionField, &TFrmSearch::DescriptionFieldClick);
    onToggle(ActionField, &TFrmSearch::ActionFieldClick);
    onToggle(MinTimeField, &TFrmSearch::MinTimeFieldClick);
    onToggle(MaxTimeField, &TFrmSearch::MaxTimeFieldClick);
    onToggle(ObjTypeField, &TFrmSearch::ObjTypeFieldClick);
    onToggle(CitNumsExclude, &TFrmSearch::CitNumsExcludeClick);
    onToggle(ModelsExclude, &TFrmSearch::ModelsExcludeClick);
    onToggle(DescriptionExclude, &TFrmSearch::DescriptionExcludeClick);
    onToggle(ActionExclude, &TFrmSearch::ActionExcludeClick);
    onToggle(ObjTypeExclude, &TFrmSearch::ObjTypeExcludeClick);
    onToggle(DescriptionExactMatch, &TFrmSearch::DescriptionExactMatchClick);
    onToggle(ActionExactMatch, &TFrmSearch::ActionExactMatchClick);
    Memo1->OnKeyPress = [this](QChar& Key) { Memo1KeyPress(Key); };
    Memo1->OnInsertText = [this](QString& Text) { Memo1InsertText(Text); };
    connect(OkButton, &QPushButton::clicked, this, &TFrmSearch::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TFrmSearch::reject);
}

void TFrmSearch::CriterionClicked(TSearchField Field, const QCheckBox& Box, QWidget& Input,
                                  std::initializer_list<QCheckBox*> Options) {
    const bool on = Box.isChecked();
    Input.setEnabled(on);
    SetEntryColour(Input, on ? TEntryState::Editable : TEntryState::ReadOnly);
    for (QCheckBox* option : Options)
        option->setEnabled(on);
    Criteria.Fields.Set(Field, on);
}

void TFrmSearch::CitNumsFieldClick() {
    CriterionClicked(sfCitNums, *CitNumsField, *Memo1, {CitNumsExclude});
}

void TFrmSearch::ModelsFieldClick() {
    CriterionClicked(sfModels, *ModelsField, *Memo2, {ModelsExclude});
}

void TFrmSearch::DescriptionFieldClick() {
    CriterionClicked(sfDescription, *DescriptionField, *Memo3,
                     {DescriptionExactMatch, DescriptionExclude});
}

void TFrmSearch::ActionFieldClick() {
    CriterionClicked(sfAction, *ActionField, *Memo4, {ActionExactMatch, ActionExclude});
}

void TFrmSearch::MinTimeFieldClick() {
    CriterionClicked(sfMinTime, *MinTimeField, *Edit1, {});
}

void TFrmSearch::MaxTimeFieldClick() {
    CriterionClicked(sfMaxTime, *MaxTimeField, *Edit2, {});
}

void TFrmSearch::ObjTypeFieldClick() {
    CriterionClicked(sfObjType, *ObjTypeField, *ComboBox1, {ObjTypeExclude});
}

void TFrmSearch::CitNumsExcludeClick() {
    Criteria.Exclude.Set(sfCitNums, CitNumsExclude->isChecked());
}

void TFrmSearch::ModelsExcludeClick() {
    Criteria.Exclude.Set(sfModels, ModelsExclude->isChecked());
}

void TFrmSearch::DescriptionExcludeClick() {
    Criteria.Exclude.Set(sfDescription, DescriptionExclude->isChecked());
}

void TFrmSearch::ActionExcludeClick() {
    Criteria.Exclude.Set(sfAction, ActionExclude->isChecked());
}

void TFrmSearch::ObjTypeExcludeClick() {
    Criteria.Exclude.Set(sfObjType, ObjTypeExclude->isChecked());
}

void TFrmSearch::DescriptionExactMatchClick() {
    Criteria.ExactMatch.Set(sfDescription, DescriptionExactMatch->isChecked());
}

void TFrmSearch::ActionExactMatchClick() {
    Criteria.ExactMatch.Set(sfAction, ActionExactMatch->isChecked());
}

void TFrmSearch::Memo1KeyPress(QChar& Key) {
    if (Key == QChar(8) || IsCitNumsChar(Key))
        return;
    Key = QChar();
    Platform().PlaySound(TSoundKind::Asterisk);
}

void TFrmSearch::Memo1InsertText(QString& Text) {
    QString kept;
    for (const QChar c : Text)
        if (IsCitNumsChar(c))
            kept += c;
    // One sound for the whole refused part, not one per character.
    if (kept.size() != Text.size())
        Platform().PlaySound(TSoundKind::Asterisk);
    Text = kept;
}

void TFrmSearch::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFrmSearch::FormShow() {
    const TSearchCriteria shown = Criteria;
    if (shown.Fields.Has(sfCitNums))
        Memo1->SetText(ToQString(shown.CitNumsText));
    if (shown.Fields.Has(sfModels))
        Memo2->SetText(ToQString(shown.ModelsText));
    if (shown.Fields.Has(sfDescription))
        Memo3->SetText(ToQString(shown.DescriptionText));
    if (shown.Fields.Has(sfAction))
        Memo4->SetText(ToQString(shown.ActionText));
    if (shown.Fields.Has(sfMinTime))
        Edit1->SetText(ToQString(FormatEditDateTime(shown.MinTime)));
    if (shown.Fields.Has(sfMaxTime))
        Edit2->SetText(ToQString(FormatEditDateTime(shown.MaxTime)));
    if (shown.Fields.Has(sfObjType)) {
        const int index = shown.ObjType - 2;
        ComboBox1->setCurrentIndex(index >= 0 && index < ComboBox1->count() ? index : -1);
    }
    CitNumsField->setChecked(shown.Fields.Has(sfCitNums));
    CitNumsExclude->setChecked(shown.Exclude.Has(sfCitNums));
    ModelsField->setChecked(shown.Fields.Has(sfModels));
    ModelsExclude->setChecked(shown.Exclude.Has(sfModels));
    DescriptionField->setChecked(shown.Fields.Has(sfDescription));
    DescriptionExactMatch->setChecked(shown.ExactMatch.Has(sfDescription));
    DescriptionExclude->setChecked(shown.Exclude.Has(sfDescription));
    ActionField->setChecked(shown.Fields.Has(sfAction));
    ActionExactMatch->setChecked(shown.ExactMatch.Has(sfAction));
    ActionExclude->setChecked(shown.Exclude.Has(sfAction));
    MinTimeField->setChecked(shown.Fields.Has(sfMinTime));
    MaxTimeField->setChecked(shown.Fields.Has(sfMaxTime));
    ObjTypeField->setChecked(shown.Fields.Has(sfObjType));
    ObjTypeExclude->setChecked(shown.Exclude.Has(sfObjType));
}

void TFrmSearch::OkButtonClick() {
    RunCommand(this, [this] {
        StoreInputs();
        accept();
    });
}

void TFrmSearch::StoreInputs() {
    if (Criteria.Fields.Has(sfCitNums))
        Criteria.CitNumsText = MemoBytes(*Memo1, "Citizen Numbers");
    if (Criteria.Fields.Has(sfModels))
        Criteria.ModelsText = MemoBytes(*Memo2, "Models");
    if (Criteria.Fields.Has(sfDescription))
        Criteria.DescriptionText = MemoBytes(*Memo3, "Description");
    if (Criteria.Fields.Has(sfAction))
        Criteria.ActionText = MemoBytes(*Memo4, "Action");
    if (Criteria.Fields.Has(sfMinTime))
        Criteria.MinTime = Edit1->DateTime();
    if (Criteria.Fields.Has(sfMaxTime))
        Criteria.MaxTime = Edit2->DateTime();
    if (Criteria.Fields.Has(sfObjType))
        Criteria.ObjType = ComboBox1->currentIndex() + 2;
}

void TFrmSearch::keyPressEvent(QKeyEvent* Event) {
    if (!EnterClicksFocusedButton(*this, *Event))
        QDialog::keyPressEvent(Event);
}
