#include "ui/DialogLook.h"

#include "ui/Contrast.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <QToolTip>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

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
    if (!IsDarkPalette(palette))
        return QColor(192, 220, 192);
    // The light green would glare under a dark theme's light text: a dark green a little
    // lighter than the theme's fields instead.
    const int Lightness = palette.color(QPalette::Active, QPalette::Base).lightness();
    return QColor::fromHsl(120, 64, std::clamp(Lightness + 40, 60, 110)).toRgb();
}

QColor EntryTextColour(TEntryState State) {
    const QPalette palette = QApplication::palette();
    return ReadableOn(palette.color(QPalette::Active, QPalette::Text), EntryColour(State));
}

void SetEntryColour(QWidget& Field, TEntryState State) {
    const QColor Background = EntryColour(State);
    const QColor Ink = EntryTextColour(State);
    QPalette palette = Field.palette();
    std::vector<std::pair<QPalette::ColorRole, QPalette::ColorRole>> Roles = {
        {QPalette::Base, QPalette::Text}};
    // A drop-down list that takes no typing is drawn in the button colours.
    if (qobject_cast<QComboBox*>(&Field))
        Roles.emplace_back(QPalette::Button, QPalette::ButtonText);
    for (const auto& [Back, Text] : Roles) {
        palette.setColor(Back, Background);
        // Disabled text keeps the theme's own greyed colour.
        palette.setColor(QPalette::Active, Text, Ink);
        palette.setColor(QPalette::Inactive, Text, Ink);
    }
    Field.setPalette(palette);
}

void SetShortenedText(QLabel& Label, const QString& Text) {
    Label.setTextFormat(Qt::PlainText);
    const QString Shown = Label.fontMetrics().elidedText(Text, Qt::ElideMiddle, Label.width());
    Label.setText(Shown);
    if (Shown == Text) {
        Label.setToolTip(QString());
        return;
    }
    // No wider than the window, so that the hint stays on the screen.
    const QStringList Lines =
        WrapPath(Text, QFontMetrics(QToolTip::font()), std::max(Label.window()->width(), 100));
    Label.setToolTip(PlainToolTip(Lines.join(QLatin1Char('\n'))));
}

QStringList WrapPath(const QString& Text, const QFontMetrics& Metrics, int Width) {
    QStringList Lines;
    qsizetype Start = 0;
    while (Start < Text.size()) {
        // The longest run from Start that fits, at least one character.
        qsizetype Low = 1;
        qsizetype High = Text.size() - Start;
        while (Low < High) {
            const qsizetype Middle = Low + (High - Low + 1) / 2;
            if (Metrics.horizontalAdvance(Text.mid(Start, Middle)) <= Width)
                Low = Middle;
            else
                High = Middle - 1;
        }
        qsizetype Length = Low;
        if (Start + Length < Text.size()) {
            const qsizetype Slash = Text.lastIndexOf(QLatin1Char('/'), Start + Length - 1);
            if (Slash > Start)
                Length = Slash + 1 - Start;
        }
        Lines << Text.mid(Start, Length);
        Start += Length;
    }
    return Lines;
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
