#pragma once

// The colours the window picks itself keep text readable on whatever the desktop's theme puts
// around them, light or dark: a contrast of at least 4.5:1 between text and what it is drawn on
// (the WCAG AA level for body text).

#include <QColor>

class QPalette;

inline constexpr double ReadableContrast = 4.5;

// The ratio of the relative luminances, from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& A, const QColor& B);
// Ink itself when it reads on Background; otherwise Ink made lighter or darker in its own hue,
// as little as it takes.
QColor ReadableOn(const QColor& Ink, const QColor& Background);
// The theme puts light text on dark fields.
bool IsDarkPalette(const QPalette& Colours);

// The type labels of the objects list: the hot-track colour on the list, the highlight-text
// colour on a selected row.
QColor TypeLabelColour(const QPalette& Colours, bool Selected);
