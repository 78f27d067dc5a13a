#include "ui/Command.h"

#include "model/Propdmp.h"
#include "ui/CountText.h"
#include "ui/Platform.h"
#include "ui/TextCodec.h"

#include <QFileInfo>
#include <QStringDecoder>

#include <system_error>

namespace {

// Our own messages are ASCII, the file system's errors name paths in UTF-8, and converted user
// input is Windows-1252. Take UTF-8 when the bytes are valid UTF-8, else the code page.
QString MessageText(const char* Bytes) {
    const QByteArray Raw(Bytes);
    QStringDecoder Utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString Text = Utf8.decode(Raw);
    if (!Utf8.hasError())
        return Text;
    return ToQString(std::string_view(Raw.constData(), static_cast<std::size_t>(Raw.size())));
}

} // namespace

QString ErrorDisplayText(const QString& Message, int LineNumber) {
    const bool NeedsStop = !Message.isEmpty() && Message.back() > QLatin1Char('.');
    QString Text = Message;
    if (LineNumber > 0)
        Text += QStringLiteral(" (line %1)").arg(LineNumber);
    if (NeedsStop)
        Text += QLatin1Char('.');
    return Text;
}

QString ErrorDisplayText(const std::exception& Error) {
    const auto* Parse = dynamic_cast<const EPropdumpError*>(&Error);
    return ErrorDisplayText(MessageText(Error.what()), Parse ? Parse->LineNumber : 0);
}

QString LoadErrorText(const QString& Path, const std::exception& Error, bool WithLine) {
    QString Text = QStringLiteral("Cannot read \"%1\"").arg(QFileInfo(Path).fileName());
    const auto* Parse = dynamic_cast<const EPropdumpError*>(&Error);
    if (WithLine && Parse && Parse->LineNumber > 0)
        Text += QStringLiteral(", line ") + FormatCount(Parse->LineNumber);
    // The file system's own message names the whole path again; its reason is what is news.
    const auto* System = dynamic_cast<const std::system_error*>(&Error);
    return Text + QStringLiteral(": ") +
           MessageText(System ? System->code().message().c_str() : Error.what());
}

void RunCommand(QWidget* Parent, const std::function<void()>& Command) noexcept {
    QString Failure;
    try {
        Command();
        return;
    } catch (const std::exception& Error) {
        Failure = ErrorDisplayText(Error);
    } catch (...) {
        Failure = ErrorDisplayText(QStringLiteral("Unexpected error"));
    }
    // Shown outside the handler, so that the error box's own event loop never runs while an
    // exception is still in flight.
    try {
        Platform().ShowError(Parent, Failure);
    } catch (...) {
        // Nothing is left to tell the user with; the event loop must go on.
    }
}

TBusyBracket::TBusyBracket() {
    Platform().PushBusyCursor();
}

TBusyBracket::~TBusyBracket() {
    Platform().PopBusyCursor();
    Platform().PlaySound(TSoundKind::Asterisk);
}

TBusyCursor::TBusyCursor() {
    Platform().PushBusyCursor();
}

TBusyCursor::~TBusyCursor() {
    Platform().PopBusyCursor();
}
