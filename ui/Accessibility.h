#pragma once

// What people who work with a screen reader or the keyboard alone need beyond what the widgets
// give by themselves: fields named after the captions beside them, list rows read as words, Enter
// opening a row, and the whole text of a cell that the eye sees shortened.

#include <QString>
#include <QStringList>
#include <QStyledItemDelegate>

#include <functional>

class QAbstractItemView;
class QHelpEvent;
class QLabel;
class QMenuBar;
class QWidget;

// A caption as a name: without its access-key marker and its closing colon ("&Find:" -> "Find").
QString NameFromCaption(const QString& Caption);
// Label names Field: Field becomes the label's buddy and takes its caption as its name.
void TieLabel(QLabel& Label, QWidget& Field);

// The fields of a row as one phrase, separated by commas: empty fields are left out, line breaks
// and other control characters are read as blanks, and an object-type label ("« Zone »") is read
// as "type Zone".
QString SpokenRow(const QStringList& Fields);
// One field as SpokenRow reads it.
QString SpokenField(const QString& Field);

// Tells screen readers whether the user has changed Field, which the eye sees by its colour.
void MarkChanged(QWidget& Field, bool Changed);

// Enter or Return on View runs Open, as a double-click on its row does.
void OpenWithEnter(QAbstractItemView& View, std::function<void()> Open);

// Gives each menu of Bar that has no access key the first letter of its title that no other menu
// of Bar uses ("File" -> "&File").
void GiveMenusAccessKeys(QMenuBar& Bar);

// Answers a hint request over Cell of View: the whole text when the cell shows it shortened,
// no hint otherwise. True when a hint shows.
bool ShowWholeText(const QHelpEvent& Event, QAbstractItemView& View, const QRect& Cell,
                   const QString& Whole, bool Shortened);

// Draws cells as usual and, for a cell whose text the view shortens, shows the whole text as the
// cell's hint.
class TWholeTextHints : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* Event, QAbstractItemView* View, const QStyleOptionViewItem& Option,
                   const QModelIndex& Index) override;
};
