#include "ui/uFrmImport.h"

#include "ui/Accessibility.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/TextCodec.h"
#include "ui/uFrmSearch.h"

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QCheckBox* NewCheckBox(QWidget* Parent, const char* Name, const QString& Caption, int Top) {
    auto* Box = new QCheckBox(Caption, Parent);
    Box->setObjectName(QString::fromLatin1(Name));
    Box->setGeometry(64, Top, 283, 17);
    Box->setCursor(Qt::PointingHandCursor);
    return Box;
}

} // namespace

TFrmImport::TFrmImport(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FrmImport"));
    setWindowTitle(QStringLiteral("Import Objects"));
    ApplyFormFont(*this);
    setFixedSize(363, 222);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(
        ThemePixmap(QStringLiteral("document-import"), QStyle::SP_DialogOpenButton, 32));

    const int TextHeight = fontMetrics().height() + 2;
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(64, 16, 283, TextHeight);
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(64, 18 + TextHeight, 283, TextHeight);
    Label2->setTextFormat(Qt::PlainText);

    CriteriaCheck = NewCheckBox(this, "CriteriaCheck",
                                QStringLiteral("Only objects meeting the search &criteria"), 64);
    AreaCheck = NewCheckBox(this, "AreaCheck",
                            QStringLiteral("Only objects inside the world map's &area"), 86);
    MissingCheck =
        NewCheckBox(this, "MissingCheck", QStringLiteral("Only objects this document &lacks"), 108);
    MissingCheck->setToolTip(QStringLiteral(
        "Leaves out every object that stands, with the same fields, at its place in this "
        "document already"));

    Label3 = new QLabel(QStringLiteral("O&ffset:"), this);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(64, 136, 60, 21);
    OffsetEdit = new QLineEdit(this);
    OffsetEdit->setObjectName(QStringLiteral("OffsetEdit"));
    OffsetEdit->setGeometry(128, 136, 219, 21);
    const QString Hint = QStringLiteral("Moves the imported objects, such as 200N 0E or 1.5S 2W "
                                        "0.5a; empty to keep their places");
    OffsetEdit->setToolTip(Hint);
    OffsetEdit->setAccessibleDescription(Hint);
    TieLabel(*Label3, *OffsetEdit);

    Bevel1 = NewBevel(this, QRect(16, 166, 331, 9));
    OkButton = NewDialogButton(this, "OkButton", QStringLiteral("&OK"), QRect(104, 187, 75, 25));
    CancelButton =
        NewDialogButton(this, "CancelButton", QStringLiteral("&Cancel"), QRect(184, 187, 75, 25));
    SetTabOrder({CriteriaCheck, AreaCheck, MissingCheck, OffsetEdit, OkButton, CancelButton});

    SetCriteria({});
    SetArea(std::nullopt);
    connect(OkButton, &QPushButton::clicked, this, &TFrmImport::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TFrmImport::reject);
}

void TFrmImport::SetSource(const QString& Name, int Count, int Version) {
    SetShortenedText(*Label1, QStringLiteral("From \"%1\"").arg(Name));
    Label2->setText(
        QStringLiteral("%1 objects, file version %2").arg(FormatCount(Count)).arg(Version));
}

void TFrmImport::SetCriteria(const TSearchCriteria& Value) {
    Criteria = Value;
    const bool Any = !Criteria.Fields.IsEmpty();
    CriteriaCheck->setEnabled(Any);
    if (!Any)
        CriteriaCheck->setChecked(false);
    // The criteria as the search tab sums them up, tested on the other dump's own values.
    CriteriaCheck->setToolTip(
        Any ? PlainToolTip(SearchCriteriaSummary(Criteria).join(QLatin1Char('\n')))
            : QStringLiteral("No search criteria are switched on"));
}

void TFrmImport::SetArea(const std::optional<TMapArea>& Value) {
    Area = Value;
    AreaCheck->setEnabled(Area.has_value());
    if (!Area)
        AreaCheck->setChecked(false);
    AreaCheck->setToolTip(
        Area ? QStringLiteral("From %1 to %2")
                   .arg(ToQString(Area->NorthWestText()), ToQString(Area->SouthEastText()))
             : QStringLiteral("No area is drawn on the world map"));
}

void TFrmImport::OkButtonClick() {
    RunCommand(this, [this] {
        TImportChoice Choice;
        if (CriteriaCheck->isChecked())
            Choice.Criteria = Criteria;
        if (AreaCheck->isChecked())
            Choice.Area = Area;
        Choice.OnlyMissing = MissingCheck->isChecked();
        // UTF-8, so that a refusal quotes the text as the user typed it.
        const std::string Offset = OffsetEdit->text().trimmed().toUtf8().toStdString();
        try {
            if (!Offset.empty())
                Choice.By = ReadOffsetText(Offset);
        } catch (...) {
            OffsetEdit->setFocus();
            OffsetEdit->selectAll();
            throw;
        }
        Chosen = Choice;
        accept();
    });
}

void TFrmImport::keyPressEvent(QKeyEvent* Event) {
    if (!EnterClicksFocusedButton(*this, *Event))
        QDialog::keyPressEvent(Event);
}
