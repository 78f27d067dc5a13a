#include "ui/Contrast.h"

#include <QPalette>

#include <cmath>

namespace {

double Linear(int Channel) {
    const double Value = Channel / 255.0;
    return Value <= 0.04045 ? Value / 12.92 : std::pow((Value + 0.055) / 1.055, 2.4);
}

double Luminance(const QColor& Colour) {
    const QColor Rgb = Colour.toRgb();
    return 0.2126 * Linear(Rgb.red()) + 0.7152 * Linear(Rgb.green()) +
           0.0722 * Linear(Rgb.blue());
}

} // namespace

double ContrastRatio(const QColor& A, const QColor& B) {
    const double First = Luminance(A) + 0.05;
    const double Second = Luminance(B) + 0.05;
    return First > Second ? First / Second : Second / First;
}

QColor ReadableOn(const QColor& Ink, const QColor& Background) {
    if (ContrastRatio(Ink, Background) >= ReadableContrast)
        return Ink;
    // Towards whichever of white and black stands out more; that end itself always reads.
    const bool Lighter = ContrastRatio(Qt::white, Background) >= ContrastRatio(Qt::black, Background);
    const QColor Hsl = Ink.toHsl();
    // Lightness moves every channel the same way, so the contrast grows step by step.
    for (int Step = 1; Step <= 255; ++Step) {
        const int Lightness = Lighter ? std::min(255, Hsl.lightness() + Step)
                                      : std::max(0, Hsl.lightness() - Step);
        const QColor Tried = QColor::fromHsl(Hsl.hslHue(), Hsl.hslSaturation(), Lightness);
        if (ContrastRatio(Tried, Background) >= ReadableContrast)
            return Tried.toRgb();
    }
    return Lighter ? QColor(Qt::white) : QColor(Qt::black);
}

bool IsDarkPalette(const QPalette& Colours) {
    return Luminance(Colours.color(QPalette::Active, QPalette::Base)) <
           Luminance(Colours.color(QPalette::Active, QPalette::Text));
}

QColor TypeLabelColour(const QPalette& Colours, bool Selected) {
    // The highlight pair is the theme's own; the hot-track colour on the list is this window's
    // choice, and some dark themes give it too little contrast there.
    if (Selected)
        return Colours.color(QPalette::Active, QPalette::HighlightedText);
    return ReadableOn(Colours.color(QPalette::Active, QPalette::Link),
                      Colours.color(QPalette::Active, QPalette::Base));
}
