#pragma once

class QWidget;

// The forms' font: Tahoma 8 points where the system has it or the free face that stands in for
// it is installed, else the platform's default family at 8 points, since the forms place their
// controls at fixed pixel positions made for that size.
void ApplyFormFont(QWidget& Form);
