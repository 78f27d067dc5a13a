#include "ui/BeepMessageDlg.h"

namespace {

TSoundKind SoundOf(TMsgDlgType Type) {
    switch (Type) {
    case TMsgDlgType::Warning:
        return TSoundKind::Exclamation;
    case TMsgDlgType::Confirmation:
        return TSoundKind::Question;
    case TMsgDlgType::Error:
    case TMsgDlgType::Information:
    case TMsgDlgType::Custom:
        break;
    }
    return TSoundKind::Asterisk;
}

} // namespace

QMessageBox::StandardButton BeepMessageDlg(QWidget* Parent, const QString& Message,
                                           TMsgDlgType DlgType,
                                           QMessageBox::StandardButtons Buttons, int /*HelpContext*/,
                                           QMessageBox::StandardButton Default) {
    Platform().PlaySound(SoundOf(DlgType));
    return Platform().ShowMessage(Parent, Message, DlgType, Buttons, Default);
}
