#include "ui/DialogLook.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>

QColor EntryColour(TEntryState State) {
    const QPalette palette = QApplication::palette();
    switch (State) {
    case TEntryState::Editable:
        return palette.color(QPalette::Active, QPalette::Base);
    case TEntryState::ReadOnly:
        return palette.color(QPalette::Active, QPalette::Button);
    case TEntryState::Changed:
        break;
    }
    return QColor(192, 220, 192);
}

void SetEntryColour(QWidget& Field, TEntryState State) {
    QPalette palette = Field.palette();
    palette.setColor(QPalette::Base, EntryColour(State));
    // A drop-down list that takes no typing is drawn in the button colour.
    if (qobject_cast<QComboBox*>(&Field))
        palette.setColor(QPalette::Button, EntryColour(State));
    Field.setPalette(palette);
}

void SetShortenedText(QLabel& Label, const QString& Text) {
    Label.setTextFormat(Qt::PlainText);
    const QString Shown = Label.fontMetrics().elidedText(Text, Qt::ElideMiddle, Label.width());
    Label.setText(Shown);
    Label.setToolTip(Shown == Text ? QString() : PlainToolTip(Text));
}

QString PlainToolTip(const QString& Text) {
    // Markup of our own, so that the text inside it is only ever text.
    return QStringLiteral("<p style='white-space:pre'>") + Text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

QPixmap ThemePixmap(const QString& ThemeName, QStyle::StandardPixmap Fallback, int Size) {
    QIcon icon = QIcon::fromTheme(ThemeName);
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(Fallback);
    return icon.pixmap(Size, Size);
}

bool ClickFocusedButton(QWidget& Dialog) {
    QWidget* focused = Dialog.focusWidget();
    // Not check boxes: Enter leaves them as they are.
    QAbstractButton* button = qobject_cast<QPushButton*>(focused);
    if (!button)
        button = qobject_cast<QToolButton*>(focused);
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

bool EnterClicksFocusedButton(QWidget& Dialog, QKeyEvent& Event) {
    if (Event.key() != Qt::Key_Return && Event.key() != Qt::Key_Enter)
        return false;
    ClickFocusedButton(Dialog);
    Event.accept();
    return true;
}

QFrame* NewBevel(QWidget* Parent, const QRect& Geometry) {
    auto* bevel = new QFrame(Parent);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(Geometry.left(), Geometry.bottom() - 1, Geometry.width(), 2);
    return bevel;
}

QPushButton* NewDialogButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QRect& Geometry) {
    auto* button = new QPushButton(Caption, Parent);
    button->setObjectName(QString::fromLatin1(Name));
    button->setGeometry(Geometry);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

void SetTabOrder(std::initializer_list<QWidget*> Widgets) {
    QWidget* previous = nullptr;
    for (QWidget* widget : Widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}
