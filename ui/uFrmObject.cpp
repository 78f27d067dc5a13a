#include "ui/uFrmObject.h"

#include "model/Convert.h"
#include "text/DateTimeText.h"
#include "text/PositionInfo.h"
#include "ui/Accessibility.h"
#include "ui/BeepMessageDlg.h"
#include "ui/Command.h"
#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/MaskedDateTimeEdit.h"
#include "ui/MemoEdit.h"
#include "ui/TextCodec.h"

#include <QDate>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QTime>
#include <QToolButton>

#include <optional>

namespace {

// A little calendar page for the today button when the icon theme has none.
QIcon TodayIcon() {
    const QIcon themed = QIcon::fromTheme(QStringLiteral("x-office-calendar"));
    if (!themed.isNull())
        return themed;
    QPixmap page(16, 16);
    page.fill(Qt::transparent);
    QPainter painter(&page);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(Qt::white);
    painter.drawRect(1, 2, 13, 12);
    painter.fillRect(2, 3, 12, 3, QColor(192, 32, 32));
    painter.setPen(QColor(96, 96, 96));
    for (int y = 8; y <= 12; y += 2)
        for (int x = 3; x <= 12; x += 3)
            painter.drawPoint(x, y);
    painter.fillRect(9, 10, 3, 3, QColor(32, 64, 160));
    return QIcon(page);
}

// How a text already writes its line breaks: LF alone or CR alone when it uses only that,
// otherwise (and for a text without any) CR LF, as typed in a memo.
QString LineBreakOf(const std::string& Text) {
    bool crLf = false, lf = false, cr = false;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') {
            crLf = true;
            ++i;
        } else if (Text[i] == '\n') {
            lf = true;
        } else if (Text[i] == '\r') {
            cr = true;
        }
    }
    if (lf && !crLf && !cr)
        return QStringLiteral("\n");
    if (cr && !crLf && !lf)
        return QStringLiteral("\r");
    return QStringLiteral("\r\n");
}

std::string Encoded(const QString& Text, const char* FieldName) {
    // The file's reader takes a NUL for the end of the file.
    if (Text.contains(QChar(0)))
        throw EConvertError(std::string("The ") + FieldName +
                            " contains a NUL character, which cannot be saved in a propdump file.");
    std::optional<std::string> bytes = ToBytes(Text);
    if (!bytes)
        throw EConvertError(std::string("The ") + FieldName +
                            " contains characters that cannot be saved in a propdump file.");
    return std::move(*bytes);
}

QLabel* NewLabel(QWidget* Parent, const char* Name, const QString& Caption, int Top) {
    auto* label = new QLabel(Caption, Parent);
    label->setObjectName(QString::fromLatin1(Name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    label->setGeometry(52, Top, 68, 21);
    return label;
}

QLineEdit* NewEdit(QWidget* Parent, const char* Name, int Left, int Top, int Width) {
    auto* edit = new QLineEdit(Parent);
    edit->setObjectName(QString::fromLatin1(Name));
    edit->setGeometry(Left, Top, Width, 21);
    return edit;
}

TMemoEdit* NewMemo(QWidget* Parent, const char* Name, int Top) {
    auto* memo = new TMemoEdit(Parent);
    memo->setObjectName(QString::fromLatin1(Name));
    memo->setGeometry(128, Top, 219, 57);
    return memo;
}

} // namespace

TFrmObject::TFrmObject(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FrmObject"));
    setWindowTitle(QStringLiteral("Edit Object"));
    ApplyFormFont(*this);
    setFixedSize(363, 330);
    CreateControls();
    ConnectControls();
    SetEditable(true);
}

void TFrmObject::CreateControls() {
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(
        ThemePixmap(QStringLiteral("document-properties"), QStyle::SP_FileDialogDetailedView, 32));

    Label1 = NewLabel(this, "Label1", QStringLiteral("Model:"), 16);
    Edit1 = NewEdit(this, "Edit1", 128, 16, 219);
    Label2 = NewLabel(this, "Label2", QStringLiteral("Description:"), 44);
    Memo1 = NewMemo(this, "Memo1", 44);
    Label3 = NewLabel(this, "Label3", QStringLiteral("Action:"), 108);
    Memo2 = NewMemo(this, "Memo2", 108);

    Label4 = NewLabel(this, "Label4", QStringLiteral("Timestamp:"), 172);
    Edit2 = new TMaskedDateTimeEdit(this);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(128, 172, 125, 21);
    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(256, 171, 23, 23);
    SpeedButton1->setIcon(TodayIcon());
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setToolTip(QStringLiteral("Use today's date/time"));
    SpeedButton1->setAccessibleName(SpeedButton1->toolTip());
    SpeedButton1->setCursor(Qt::PointingHandCursor);

    Label5 = NewLabel(this, "Label5", QStringLiteral("Owner:"), 200);
    Edit3 = NewEdit(this, "Edit3", 128, 200, 125);
    Label6 = NewLabel(this, "Label6", QStringLiteral("Location:"), 228);
    Edit4 = NewEdit(this, "Edit4", 128, 228, 219);
    Label7 = NewLabel(this, "Label7", QStringLiteral("Tilt/roll:"), 256);
    Edit5 = NewEdit(this, "Edit5", 128, 256, 105);
    Edit6 = NewEdit(this, "Edit6", 242, 256, 105);

    Bevel1 = NewBevel(this, QRect(16, 283, 331, 9));
    OkButton = NewDialogButton(this, "OkButton", QStringLiteral("OK"), QRect(104, 297, 75, 25));
    CancelButton =
        NewDialogButton(this, "CancelButton", QStringLiteral("&Cancel"), QRect(184, 297, 75, 25));
    SetTabOrder({Edit1, Memo1, Memo2, Edit2, SpeedButton1, Edit3, Edit4, Edit5, Edit6, OkButton,
                 CancelButton});
    NameFields();
}

void TFrmObject::NameFields() {
    TieLabel(*Label1, *Edit1);
    TieLabel(*Label2, *Memo1);
    TieLabel(*Label3, *Memo2);
    TieLabel(*Label4, *Edit2);
    TieLabel(*Label5, *Edit3);
    TieLabel(*Label6, *Edit4);
    // One caption for two fields: each takes its half of it.
    TieLabel(*Label7, *Edit5);
    Edit5->setAccessibleName(QStringLiteral("Tilt"));
    Edit6->setAccessibleName(QStringLiteral("Roll"));
}

void TFrmObject::ConnectControls() {
    connect(Edit1, &QLineEdit::textEdited, this, &TFrmObject::ModelEdited);
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString& Text) {
        if (!Text.contains(u'\r') && !Text.contains(u'\n'))
            AcceptedModelText = Text;
    });
    connect(Memo1, &QPlainTextEdit::textChanged, this, [this] { EntryChanged(enDescription); });
    connect(Memo2, &QPlainTextEdit::textChanged, this, [this] { EntryChanged(enAction); });
    connect(Edit2, &QLineEdit::textEdited, this, [this] { EntryChanged(enTimestamp); });
    connect(Edit3, &QLineEdit::textEdited, this, [this] { EntryChanged(enOwner); });
    connect(Edit4, &QLineEdit::textEdited, this, [this] { EntryChanged(enLocation); });
    connect(Edit5, &QLineEdit::textEdited, this, [this] { EntryChanged(enTilt); });
    connect(Edit6, &QLineEdit::textEdited, this, [this] { EntryChanged(enRoll); });
    connect(SpeedButton1, &QToolButton::clicked, this, &TFrmObject::SpeedButton1Click);
    connect(OkButton, &QPushButton::clicked, this, &TFrmObject::OkButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &TFrmObject::CancelButtonClick);
}

QWidget* TFrmObject::EntryWidget(TEntry Entry) const {
    switch (Entry) {
    case enModel:
        return Edit1;
    case enDescription:
        return Memo1;
    case enAction:
        return Memo2;
    case enTimestamp:
        return Edit2;
    case enOwner:
        return Edit3;
    case enLocation:
        return Edit4;
    case enTilt:
        return Edit5;
    case enRoll:
        break;
    }
    return Edit6;
}

void TFrmObject::SetEditable(bool Value) {
    IsEditable = Value;
    for (QLineEdit* edit : {Edit1, static_cast<QLineEdit*>(Edit2), Edit3, Edit4, Edit5, Edit6})
        edit->setReadOnly(!Value);
    Memo1->setReadOnly(!Value);
    Memo2->setReadOnly(!Value);
    for (int entry = 0; entry < EntryCount; ++entry)
        ColourEntry(static_cast<TEntry>(entry));
    SpeedButton1->setEnabled(Value);
}

void TFrmObject::ColourEntry(TEntry Entry) {
    const TEntryState state = UserChanged[Entry] ? TEntryState::Changed
                              : IsEditable       ? TEntryState::Editable
                                                 : TEntryState::ReadOnly;
    SetEntryColour(*EntryWidget(Entry), state);
    MarkChanged(*EntryWidget(Entry), UserChanged[Entry]);
}

void TFrmObject::EntryChanged(TEntry Entry) {
    if (Filling)
        return;
    UserChanged[Entry] = true;
    ChangesMade = UserChanged[Entry];
    ColourEntry(Entry);
}

void TFrmObject::ModelEdited(const QString& Text) {
    // A model name with a line break would split the object's line in the file.
    if (Text.contains(u'\r') || Text.contains(u'\n')) {
        Edit1->setText(AcceptedModelText);
        BeepMessageDlg(this,
                       QStringLiteral("A model name cannot contain line breaks; the text with the "
                                      "line break was not taken."),
                       TMsgDlgType::Warning, QMessageBox::Ok);
        return;
    }
    EntryChanged(enModel);
}

void TFrmObject::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFrmObject::FormShow() {
    if (!PropObject)
        return;
    const TPropObject& object = *PropObject;
    Filling = true;
    Edit1->setText(ToQString(object.Model));
    Memo1->SetText(ToQString(object.Description));
    Memo2->SetText(ToQString(object.Action));
    Edit2->SetText(ToQString(FormatEditDateTime(SecondsToDateTime(object.Timestamp))));
    Edit3->setText(QString::number(object.Owner));
    Edit4->setText(ToQString(PositionToText(object.X, object.Y, object.Z, object.Yaw)));
    Edit5->setText(QString::number(object.Tilt));
    Edit6->setText(QString::number(object.Roll));
    Filling = false;
    DescriptionLineBreak = LineBreakOf(object.Description);
    ActionLineBreak = LineBreakOf(object.Action);
    UserChanged.fill(false);
    for (int entry = 0; entry < EntryCount; ++entry)
        ColourEntry(static_cast<TEntry>(entry));
    ChangesMade = false;
}

void TFrmObject::SpeedButton1Click() {
    if (BeepMessageDlg(this, QStringLiteral("Override timestamp with today's date/time?"),
                       TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
        // The clock's own fields, taken as they stand: timestamps carry no time zone.
        const QDateTime now = Platform().CurrentDateTime();
        const QTime time = now.time();
        const TDateTimeValue today =
            static_cast<double>(QDate(1899, 12, 30).daysTo(now.date())) +
            (time.hour() * 3600 + time.minute() * 60 + time.second()) / 86400.0;
        Edit2->SetText(ToQString(FormatEditDateTime(today)));
        UserChanged[enTimestamp] = true;
        ChangesMade = true;
        ColourEntry(enTimestamp);
    }
    Platform().PlaySound(TSoundKind::Asterisk);
}

void TFrmObject::OkButtonClick() {
    const QMessageBox::StandardButton answer =
        BeepMessageDlg(this, QStringLiteral("Apply changes to object?"), TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::No) {
        reject();
        return;
    }
    if (answer != QMessageBox::Yes)
        return;
    RunCommand(this, [this] {
        ApplyChanges();
        accept();
    });
}

void TFrmObject::ApplyChanges() {
    // The read-only view shows an object; it never changes one.
    if (!IsEditable || !PropObject)
        return;
    // Every field is read into a copy first: a value that cannot be converted leaves the object
    // as it was, not with the fields before it already written.
    TPropObject object = *PropObject;
    if (UserChanged[enModel])
        object.Model = Encoded(Edit1->text(), "Model");
    if (UserChanged[enDescription])
        object.Description = Encoded(Memo1->Text(DescriptionLineBreak), "Description");
    if (UserChanged[enAction])
        object.Action = Encoded(Memo2->Text(ActionLineBreak), "Action");
    if (UserChanged[enTimestamp])
        object.Timestamp = DateTimeToTimestamp(Edit2->DateTime());
    if (UserChanged[enOwner])
        object.Owner = StrToInt(Encoded(Edit3->text(), "Owner"));
    if (UserChanged[enLocation]) {
        const TObjectPosition position = TextToPosition(Encoded(Edit4->text(), "Location"));
        object.X = position.X;
        object.Y = position.Y;
        object.Z = position.Z;
        object.Yaw = position.Yaw;
    }
    if (UserChanged[enTilt])
        object.Tilt = StrToInt(Encoded(Edit5->text(), "Tilt"));
    if (UserChanged[enRoll])
        object.Roll = StrToInt(Encoded(Edit6->text(), "Roll"));
    *PropObject = std::move(object);
}

void TFrmObject::CancelButtonClick() {
    if (!ChangesMade) {
        reject();
        return;
    }
    if (BeepMessageDlg(this, QStringLiteral("You are about to LOSE changes you made. Continue?"),
                       TMsgDlgType::Confirmation,
                       QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
        reject();
}

void TFrmObject::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Escape:
        // Escape is the Cancel button, question included; the window frame's close is not.
        if (CancelButton->isEnabled())
            CancelButton->click();
        Event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ClickFocusedButton(*this);
        Event->accept();
        return;
    default:
        QDialog::keyPressEvent(Event);
    }
}
