#pragma once

#include <QChar>
#include <QPlainTextEdit>
#include <QString>

#include <functional>

class QKeyEvent;
class QInputMethodEvent;
class QMimeData;

// A multi-line text field that wraps on screen and keeps only the line breaks the user typed.
class TMemoEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemoEdit(QWidget* Parent = nullptr);

    // Most characters the field holds, a line break counting two (it is stored as CR LF); 0: no
    // limit.
    int MaxLength = 0;
    // False: Enter inserts nothing and is left to the dialog.
    bool WantReturns = true;
    // Sees each typed character (backspace as 8, Enter as 13) before it is inserted; setting it
    // to the null character inserts nothing.
    std::function<void(QChar& Key)> OnKeyPress;
    // Sees pasted, dropped or composed text before it is inserted and may change it.
    std::function<void(QString& Text)> OnInsertText;

    // The text with each line break written as LineBreak.
    QString Text(const QString& LineBreak = QStringLiteral("\r\n")) const;
    // CR LF, a lone CR and a lone LF each start a new line.
    void SetText(const QString& Value);
    // Length as stored with CR LF line breaks.
    int TextLength() const;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void inputMethodEvent(QInputMethodEvent* Event) override;
    bool canInsertFromMimeData(const QMimeData* Source) const override;
    void insertFromMimeData(const QMimeData* Source) override;

private:
    // Text as it may be inserted at the cursor: filtered, without line breaks when Enter is not
    // wanted, and cut to the room left.
    QString Insertable(QString Text) const;
    // The part of Text that fits into MaxLength in place of the selection.
    QString FitToRoom(QString Text) const;
    int SelectionLength() const;
};
