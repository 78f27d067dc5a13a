#pragma once

class QWidget;

// The forms' font: Tahoma 8 points where the system has it, else the platform's default.
void ApplyFormFont(QWidget& Form);
