#pragma once

#include "ui/Platform.h"

#include <QMessageBox>
#include <QString>

class QWidget;

// Plays the sound of the message type (warning: exclamation, confirmation: question, others:
// asterisk), then shows the message box and returns the button pressed. Default is the button
// Enter presses; NoButton leaves it to the toolkit.
QMessageBox::StandardButton
BeepMessageDlg(QWidget* Parent, const QString& Message, TMsgDlgType DlgType,
               QMessageBox::StandardButtons Buttons, int HelpContext = 0,
               QMessageBox::StandardButton Default = QMessageBox::NoButton);
