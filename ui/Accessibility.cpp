#include "ui/Accessibility.h"

#include "ui/DialogLook.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QStyle>
#include <QToolTip>

#include <utility>

namespace {

// Enter on a list opens its row. The views would otherwise only report the key as "activated",
// which double-clicks report too on some desktops, so the key is taken here.
class TEnterOpens : public QObject {
public:
    TEnterOpens(std::function<void()> Open, QObject* Parent)
        : QObject(Parent), Open(std::move(Open)) {}

    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::KeyPress)
            return QObject::eventFilter(Watched, Event);
        const auto* Key = static_cast<const QKeyEvent*>(Event);
        const bool Enter = Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter;
        if (!Enter || (Key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        Open();
        return true;
    }

private:
    std::function<void()> Open;
};

QChar AccessKeyOf(const QString& Title) {
    const QKeySequence Key = QKeySequence::mnemonic(Title);
    return Key.isEmpty() ? QChar() : QChar(Key[0].key()).toUpper();
}

} // namespace

QString NameFromCaption(const QString& Caption) {
    QString Name = Caption;
    // "&&" stands for one '&'; a lone '&' marks the access key.
    for (qsizetype Index = 0; Index < Name.size(); ++Index)
        if (Name[Index] == u'&')
            Name.remove(Index, 1);
    Name = Name.trimmed();
    if (Name.endsWith(u':'))
        Name.chop(1);
    return Name.trimmed();
}

void TieLabel(QLabel& Label, QWidget& Field) {
    Label.setBuddy(&Field);
    Field.setAccessibleName(NameFromCaption(Label.text()));
}

QString SpokenField(const QString& Field) {
    QString Words = Field;
    for (QChar& Character : Words)
        if (Character.unicode() < 0x20)
            Character = u' ';
    Words = Words.simplified();
    // The lists mark a special object type with angle quotes; read aloud, the quotes say nothing.
    static const QString Open = QStringLiteral("\u00AB "), Close = QStringLiteral(" \u00BB");
    if (Words.size() > Open.size() + Close.size() && Words.startsWith(Open) &&
        Words.endsWith(Close))
        return QStringLiteral("type ") +
               Words.mid(Open.size(), Words.size() - Open.size() - Close.size());
    return Words;
}

QString SpokenRow(const QStringList& Fields) {
    QStringList Words;
    for (const QString& Field : Fields) {
        QString Spoken = SpokenField(Field);
        if (!Spoken.isEmpty())
            Words.append(std::move(Spoken));
    }
    return Words.join(QStringLiteral(", "));
}

void MarkChanged(QWidget& Field, bool Changed) {
    Field.setAccessibleDescription(Changed ? QStringLiteral("changed") : QString());
}

void OpenWithEnter(QAbstractItemView& View, std::function<void()> Open) {
    View.installEventFilter(new TEnterOpens(std::move(Open), &View));
}

void GiveMenusAccessKeys(QMenuBar& Bar) {
    QString Taken;
    for (const QAction* Menu : Bar.actions())
        if (const QChar Key = AccessKeyOf(Menu->text()); !Key.isNull())
            Taken += Key;
    for (QAction* Menu : Bar.actions()) {
        QString Title = Menu->text();
        if (!Menu->menu() || !AccessKeyOf(Title).isNull())
            continue;
        for (qsizetype Index = 0; Index < Title.size(); ++Index) {
            const QChar Key = Title[Index].toUpper();
            if (!Key.isLetterOrNumber() || Taken.contains(Key))
                continue;
            Taken += Key;
            Menu->setText(Title.insert(Index, u'&'));
            break;
        }
    }
}

bool ShowWholeText(const QHelpEvent& Event, QAbstractItemView& View, const QRect& Cell,
                   const QString& Whole, bool Shortened) {
    if (!Shortened) {
        QToolTip::hideText();
        return false;
    }
    QToolTip::showText(Event.globalPos(), PlainToolTip(Whole), View.viewport(), Cell);
    return true;
}

bool TWholeTextHints::helpEvent(QHelpEvent* Event, QAbstractItemView* View,
                                const QStyleOptionViewItem& Option, const QModelIndex& Index) {
    if (!Event || !View || Event->type() != QEvent::ToolTip || !Index.isValid())
        return QStyledItemDelegate::helpEvent(Event, View, Option, Index);
    QStyleOptionViewItem Cell = Option;
    initStyleOption(&Cell, Index);
    const QWidget* Widget = Cell.widget;
    const QStyle* Style = Widget ? Widget->style() : QApplication::style();
    // The room the style gives the text, less the margins it keeps on both sides of it.
    const int Margin = Style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Widget) + 1;
    const int Room =
        Style->subElementRect(QStyle::SE_ItemViewItemText, &Cell, Widget).width() - 2 * Margin;
    const bool Shortened = Cell.fontMetrics.horizontalAdvance(Cell.text) > Room;
    return ShowWholeText(*Event, *View, Option.rect, Cell.text, Shortened);
}
