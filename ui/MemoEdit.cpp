#include "ui/MemoEdit.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

namespace {

bool IsLineBreak(QChar C) {
    return C == QChar::ParagraphSeparator || C == QChar::LineSeparator || C == u'\n';
}

// The length a piece of the document takes when stored, each line break as CR LF.
int StoredLength(const QString& Text) {
    int length = 0;
    for (const QChar c : Text)
        length += IsLineBreak(c) ? 2 : 1;
    return length;
}

// The character a key press types, as the key filters see it; null for keys that edit or move
// without typing (and for shortcuts, which stay with the field).
QChar TypedChar(const QKeyEvent& Event) {
    if (Event.key() == Qt::Key_Backspace)
        return QChar(8);
    if (Event.key() == Qt::Key_Return || Event.key() == Qt::Key_Enter)
        return QChar(13);
    if (Event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    const QString text = Event.text();
    if (text.size() != 1 || !text[0].isPrint())
        return {};
    return text[0];
}

} // namespace

TMemoEdit::TMemoEdit(QWidget* Parent) : QPlainTextEdit(Parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabChangesFocus(true);
}

QString TMemoEdit::Text(const QString& LineBreak) const {
    // toPlainText() would turn no-break spaces into blanks; the raw text keeps every character.
    const QString raw = document()->toRawText();
    QString text;
    text.reserve(raw.size());
    for (const QChar c : raw) {
        if (IsLineBreak(c))
            text += LineBreak;
        else
            text += c;
    }
    return text;
}

void TMemoEdit::SetText(const QString& Value) {
    QString text = Value;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    setPlainText(text);
}

int TMemoEdit::TextLength() const {
    return StoredLength(document()->toRawText());
}

int TMemoEdit::SelectionLength() const {
    return StoredLength(textCursor().selectedText());
}

QString TMemoEdit::Insertable(QString Text) const {
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(u'\r', u'\n');
    if (!WantReturns)
        Text.remove(u'\n');
    if (OnInsertText)
        OnInsertText(Text);
    return FitToRoom(Text);
}

QString TMemoEdit::FitToRoom(QString Text) const {
    if (MaxLength <= 0)
        return Text;
    int room = MaxLength - (TextLength() - SelectionLength());
    int kept = 0;
    for (; kept < Text.size(); ++kept) {
        const int needed = IsLineBreak(Text[kept]) ? 2 : 1;
        if (needed > room)
            break;
        room -= needed;
    }
    Text.truncate(kept);
    return Text;
}

void TMemoEdit::keyPressEvent(QKeyEvent* Event) {
    QChar key = TypedChar(*Event);
    if (isReadOnly() || key.isNull()) {
        QPlainTextEdit::keyPressEvent(Event);
        return;
    }
    const QChar typed = key;
    if (OnKeyPress)
        OnKeyPress(key);
    if (key.isNull()) {
        Event->accept();
        return;
    }
    if (key == QChar(13) && !WantReturns) {
        Event->ignore();
        return;
    }
    if (key == QChar(8)) {
        QPlainTextEdit::keyPressEvent(Event);
        return;
    }
    const QString text = key == QChar(13) ? QStringLiteral("\n") : QString(key);
    if (FitToRoom(text).size() != text.size()) {
        Event->accept();
        return;
    }
    if (key == typed) {
        QPlainTextEdit::keyPressEvent(Event);
        return;
    }
    textCursor().insertText(text);
    ensureCursorVisible();
    Event->accept();
}

void TMemoEdit::inputMethodEvent(QInputMethodEvent* Event) {
    if (isReadOnly() || Event->commitString().isEmpty()) {
        QPlainTextEdit::inputMethodEvent(Event);
        return;
    }
    QInputMethodEvent filtered(Event->preeditString(), Event->attributes());
    filtered.setCommitString(Insertable(Event->commitString()), Event->replacementStart(),
                             Event->replacementLength());
    QPlainTextEdit::inputMethodEvent(&filtered);
}

bool TMemoEdit::canInsertFromMimeData(const QMimeData* Source) const {
    return Source->hasText();
}

void TMemoEdit::insertFromMimeData(const QMimeData* Source) {
    if (isReadOnly() || !Source->hasText())
        return;
    const QString text = Insertable(Source->text());
    if (text.isEmpty())
        return;
    textCursor().insertText(text);
    ensureCursorVisible();
}
