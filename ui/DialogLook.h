#pragma once

// The look the dialogs share: entry-field colours, the Enter key and pictures.

#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QStyle>

#include <initializer_list>

class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class QWidget;

enum class TEntryState { Editable, ReadOnly, Changed };

// The field's background, and the text colour that reads on it, in the palette in force.
QColor EntryColour(TEntryState State);
QColor EntryTextColour(TEntryState State);
// Paints the field's background in every state of the widget (disabled ones included), and its
// text where the field can be used.
void SetEntryColour(QWidget& Field, TEntryState State);

// Enter presses the focused button (a push button or a small picture button) and nothing else:
// the dialogs have no default button, so Enter in an entry field never confirms them. True when a
// button was pressed.
bool ClickFocusedButton(QWidget& Dialog);
// For a dialog's keyPressEvent: Enter or Return clicks the focused button, as above, and goes no
// further. True when Event was such a key.
bool EnterClicksFocusedButton(QWidget& Dialog, QKeyEvent& Event);

// A sunken horizontal rule along the bottom edge of Geometry.
QFrame* NewBevel(QWidget* Parent, const QRect& Geometry);
// A dialog button with the hand cursor that is never the default button.
QPushButton* NewDialogButton(QWidget* Parent, const char* Name, const QString& Caption,
                             const QRect& Geometry);
// Tab moves through Widgets in the order given.
void SetTabOrder(std::initializer_list<QWidget*> Widgets);

// Shows Text in Label as plain text, shortened in its middle with an ellipsis when it is wider than
// the label; the whole text is then the label's hint, and only then, wrapped to the window's
// width.
void SetShortenedText(QLabel& Label, const QString& Text);
// A path in lines no wider than Width: each broken after its last "/" that fits, or where the
// line is full when none does.
QStringList WrapPath(const QString& Text, const class QFontMetrics& Metrics, int Width);
// A hint that shows Text as it is: a hint that looks like markup would otherwise be read as such.
QString PlainToolTip(const QString& Text);

// A picture from the desktop's icon theme, or the style's standard one when the theme has none.
QPixmap ThemePixmap(const QString& ThemeName, QStyle::StandardPixmap Fallback, int Size);
