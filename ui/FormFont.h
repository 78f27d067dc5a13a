#pragma once

class QWidget;

// The forms' font: Tahoma 8 points where the system has it, else the platform's default family
// at 8 points, since the forms place their controls at fixed pixel positions made for that size.
void ApplyFormFont(QWidget& Form);
