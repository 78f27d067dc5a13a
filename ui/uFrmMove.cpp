#include "ui/uFrmMove.h"

#include "model/Convert.h"
#include "ops/WorldEdit.h"
#include "text/PositionInfo.h"
#include "ui/Accessibility.h"
#include "ui/Command.h"
#include "ui/CountText.h"
#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/TextCodec.h"

#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <string>
#include <utility>

namespace {

constexpr int FieldLeft = 152;
constexpr int FieldWidth = 195;

QLabel* NewLabel(QWidget* Parent, const char* Name, const QString& Caption, int Top) {
    auto* Label = new QLabel(Caption, Parent);
    Label->setObjectName(QString::fromLatin1(Name));
    Label->setGeometry(64, Top, FieldLeft - 64 - 4, 21);
    return Label;
}

QLineEdit* NewEdit(QWidget* Parent, const char* Name, int Top, int Width, const QString& Hint) {
    auto* Edit = new QLineEdit(Parent);
    Edit->setObjectName(QString::fromLatin1(Name));
    Edit->setGeometry(FieldLeft, Top, Width, 21);
    Edit->setToolTip(Hint);
    Edit->setAccessibleDescription(Hint);
    return Edit;
}

// UTF-8, so that a refusal quotes the text as the user typed it.
std::string Typed(const QLineEdit& Edit) {
    return Edit.text().trimmed().toUtf8().toStdString();
}

QString DegreesText(int32_t Tenths) {
    QString Text = QString::number(Tenths / 10);
    if (Tenths % 10 != 0)
        Text += QLatin1Char('.') + QString::number(std::abs(Tenths % 10));
    if (Tenths < 0 && Tenths > -10)
        Text.prepend(QLatin1Char('-'));
    return Text;
}

} // namespace

QString MoveQuestion(const TMoveChoice& Choice, std::size_t Count) {
    QStringList Steps;
    if (Choice.Turn % 3600 != 0)
        Steps << QStringLiteral("turned by %1 degrees about %2")
                     .arg(DegreesText(Choice.Turn),
                          ToQString(PositionToText(Choice.CentreX, 0, Choice.CentreZ, 0)));
    if (Choice.By != TOffset{})
        Steps << QStringLiteral("moved by ") +
                     ToQString(PositionToText(Choice.By.X, Choice.By.Y, Choice.By.Z, 0));
    const QString What = Steps.join(QStringLiteral(", then "));
    QString Text = Count == 1 ? QStringLiteral("The found object")
                              : QStringLiteral("The %1 found objects")
                                    .arg(FormatCount(static_cast<long long>(Count)));
    if (!Choice.Copy)
        Text += QStringLiteral(" will now be ") + What;
    else if (What.isEmpty())
        Text += QStringLiteral(" will now be copied, the copies in the same places");
    else
        Text += QStringLiteral(" will now be copied, the copies ") + What;
    return Text + QStringLiteral(".\r\rIs this what you wanted to do?");
}

TFrmMove::TFrmMove(const TPropdumpFile& DocumentValue, std::vector<std::size_t> PositionsValue,
                   QWidget* Parent)
    : QDialog(Parent), Document(DocumentValue), Positions(std::move(PositionsValue)) {
    setObjectName(QStringLiteral("FrmMove"));
    setWindowTitle(QStringLiteral("Move Found Objects"));
    ApplyFormFont(*this);
    setFixedSize(363, 218);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(ThemePixmap(QStringLiteral("transform-move"), QStyle::SP_ArrowUp, 32));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(64, 12, 283, 36);
    Label1->setWordWrap(true);
    const QString Found = Positions.size() == 1
                              ? QStringLiteral("The object found is")
                              : QStringLiteral("The %1 objects found are")
                                    .arg(FormatCount(static_cast<long long>(Positions.size())));
    Label1->setText(Found + QStringLiteral(" turned about the centre first, then moved by the "
                                           "offset."));

    Label2 = NewLabel(this, "Label2", QStringLiteral("O&ffset:"), 56);
    OffsetEdit = NewEdit(this, "OffsetEdit", 56, FieldWidth,
                         QStringLiteral("Such as 200N 0E, or 1.5S 2W 0.5a to go up as well; "
                                        "empty for none"));
    Label3 = NewLabel(this, "Label3", QStringLiteral("&Turn (degrees):"), 84);
    TurnEdit = NewEdit(this, "TurnEdit", 84, 73,
                       QStringLiteral("Anticlockwise seen from above, north towards west; a "
                                      "negative angle turns clockwise; empty for none"));
    Label4 = NewLabel(this, "Label4", QStringLiteral("Turn &about:"), 112);
    const TBounds Bounds = BoundsOf(Document, Positions);
    CentreEdit = NewEdit(this, "CentreEdit", 112, FieldWidth,
                         QStringLiteral("The centre of the turn; at first the middle of the "
                                        "found objects"));
    if (!Bounds.Empty())
        CentreEdit->setText(ToQString(PositionToText(Bounds.CentreX(), 0, Bounds.CentreZ(), 0)));
    TieLabel(*Label2, *OffsetEdit);
    TieLabel(*Label3, *TurnEdit);
    TieLabel(*Label4, *CentreEdit);

    CopyCheck = new QCheckBox(QStringLiteral("Co&py instead of moving"), this);
    CopyCheck->setObjectName(QStringLiteral("CopyCheck"));
    CopyCheck->setGeometry(FieldLeft, 140, FieldWidth, 17);
    CopyCheck->setCursor(Qt::PointingHandCursor);
    CopyCheck->setToolTip(QStringLiteral("The copies are added at the end of the propdump; the "
                                         "found objects stay where they are"));

    Bevel1 = NewBevel(this, QRect(16, 164, 331, 9));
    OkButton = NewDialogButton(this, "OkButton", QStringLiteral("&OK"), QRect(104, 184, 75, 25));
    CancelButton =
        NewDialogButton(this, "CancelButton", QStringLiteral("&Cancel"), QRect(184, 184, 75, 25));
    SetTabOrder({OffsetEdit, TurnEdit, CentreEdit, CopyCheck, OkButton, CancelButton});
    OffsetEdit->setFocus();

    connect(OkButton, &QPushButton::clicked, this, &TFrmMove::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TFrmMove::reject);
}

void TFrmMove::OkButtonClick() {
    RunCommand(this, [this] {
        StoreInputs();
        accept();
    });
}

void TFrmMove::StoreInputs() {
    QLineEdit* Reading = nullptr;
    const auto Read = [&Reading](QLineEdit* Edit, const std::function<void(std::string)>& Take) {
        Reading = Edit;
        const std::string Text = Typed(*Edit);
        if (!Text.empty())
            Take(Text);
    };
    TMoveChoice Choice;
    Choice.Copy = CopyCheck->isChecked();
    try {
        Read(OffsetEdit, [&](const std::string& Text) { Choice.By = ReadOffsetText(Text); });
        Read(TurnEdit, [&](const std::string& Text) { Choice.Turn = ReadTurnText(Text); });
        if (Choice.Turn % 3600 != 0) {
            Reading = CentreEdit;
            const TObjectPosition Centre = RequirePositionText(Typed(*CentreEdit));
            Choice.CentreX = Centre.X;
            Choice.CentreZ = Centre.Z;
        }
        Reading = OffsetEdit;
        // Copies in place are copies all the same; a move by nothing would change nothing.
        if (!Choice.Copy && Choice.By == TOffset{} && Choice.Turn % 3600 == 0)
            throw EConvertError("Nothing would move: type an offset, an angle or both");
        CheckRelocation(Document, Positions, Choice.Relocation());
    } catch (...) {
        Reading->setFocus();
        Reading->selectAll();
        throw;
    }
    Chosen = Choice;
}

void TFrmMove::keyPressEvent(QKeyEvent* Event) {
    if (!EnterClicksFocusedButton(*this, *Event))
        QDialog::keyPressEvent(Event);
}
