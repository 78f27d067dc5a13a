#include "ui/uFrmSetVersion.h"

#include "ui/DialogLook.h"
#include "ui/FormFont.h"
#include "ui/Images.h"
#include "ui/Platform.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include <algorithm>

namespace {

constexpr int Label1Width = 353;

const char* const VersionItems[] = {"Version 2 (Zelk 2.x, 3.0-3.2)", "Version 3 (Zelk 3.3-3.6)",
                                    "Version 4 (Zelk 4.1)"};

} // namespace

TFrmSetVersion::TFrmSetVersion(QWidget* Parent) : QDialog(Parent) {
    setObjectName(QStringLiteral("FrmSetVersion"));
    setWindowTitle(QStringLiteral("Ambiguous File Version"));
    ApplyFormFont(*this);
    setFixedSize(418, 241);
    setSizeGripEnabled(false);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    Image1->setPixmap(QuestionPicture(32));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(56, 24, Label1Width, fontMetrics().height() + 2);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2->setText(QStringLiteral(
        "This propdump file does not contain a proper version specification. Please select the "
        "propdump version here. If you do not know what to select, ask a person you trust for "
        "assistance."));
    // Three lines in the font the dialog was made for; a wider font may need a fourth, and
    // there is room for it above the radio group.
    Label2->setGeometry(28, 64, 355, std::clamp(Label2->heightForWidth(355), 39, 120 - 64 - 2));

    RadioGroup1 = new QGroupBox(this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(28, 120, 361, 73);
    // The group shows no caption; the text above it asks for the version.
    RadioGroup1->setAccessibleName(QStringLiteral("Propdump version"));
    RadioItems = new QButtonGroup(this);
    RadioItems->setExclusive(true);
    const int ItemHeight = 73 / 3;
    for (int Index = 0; Index < 3; ++Index) {
        auto* Item = new QRadioButton(QString::fromLatin1(VersionItems[Index]), RadioGroup1);
        Item->setGeometry(8, 2 + Index * ItemHeight, 345, ItemHeight);
        Item->setCursor(Qt::PointingHandCursor);
        RadioItems->addButton(Item, Index);
    }

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setGeometry(131, 208, 75, 25);
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setGeometry(211, 208, 75, 25);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TFrmSetVersion::SetFileName(const QString& Text) {
    SetShortenedText(*Label1, Text);
}

int TFrmSetVersion::SelectedVersion() const {
    const int Index = RadioItems->checkedId();
    return Index < 0 ? 1 : Index + 2;
}

void TFrmSetVersion::showEvent(QShowEvent* Event) {
    QDialog::showEvent(Event);
    // Spontaneous show events come from the window system (restoring a minimised dialog).
    if (!Event->spontaneous())
        Platform().PlaySound(TSoundKind::Asterisk);
}
