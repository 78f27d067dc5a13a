// Text keeps a contrast of at least 4.5:1 (WCAG AA) with every colour the window picks itself,
// under a light theme and under a dark one (the colours the desktop's Adwaita dark theme gives
// Qt). The contrast is computed here from the colours the widgets end up with.

#include "support/FakePlatform.h"

#include "ui/Contrast.h"
#include "ui/MapView.h"
#include "ui/uFrmObject.h"
#include "ui/uMainForm.h"

#include <QLineEdit>
#include <QListWidget>
#include <QStyle>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

// WCAG 2's relative luminance and contrast ratio.
double RelativeLuminance(const QColor& Colour) {
    const auto Channel = [](double Value) {
        return Value <= 0.04045 ? Value / 12.92 : std::pow((Value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * Channel(Colour.redF()) + 0.7152 * Channel(Colour.greenF()) +
           0.0722 * Channel(Colour.blueF());
}

double Contrast(const QColor& A, const QColor& B) {
    const double Lighter = std::max(RelativeLuminance(A), RelativeLuminance(B));
    const double Darker = std::min(RelativeLuminance(A), RelativeLuminance(B));
    return (Lighter + 0.05) / (Darker + 0.05);
}

QPalette DarkPalette() {
    QPalette Dark(QColor(0x32, 0x32, 0x32), QColor(0x32, 0x32, 0x32));
    const std::pair<QPalette::ColorRole, QRgb> Roles[] = {
        {QPalette::WindowText, 0xf0f0f0}, {QPalette::Text, 0xf0f0f0},
        {QPalette::ButtonText, 0xf0f0f0}, {QPalette::Base, 0x242424},
        {QPalette::AlternateBase, 0x2b2b2b}, {QPalette::Highlight, 0x308cc6},
        {QPalette::HighlightedText, 0xf0f0f0}, {QPalette::Link, 0x308cc6},
    };
    for (const auto& [Role, Colour] : Roles)
        Dark.setColor(Role, QColor(Colour));
    return Dark;
}

struct TPair {
    QString Name;
    QColor Ink;
    QColor Background;
};

TPair FieldPair(const QString& Name, const QWidget& Field) {
    return {Name, Field.palette().color(QPalette::Active, QPalette::Text),
            Field.palette().color(QPalette::Active, QPalette::Base)};
}

} // namespace

class ContrastTest : public QObject {
    Q_OBJECT

private slots:
    void textReadsOnEveryColourTheWindowPicks_data() {
        QTest::addColumn<QPalette>("Theme");
        QTest::newRow("light") << QApplication::style()->standardPalette();
        QTest::newRow("dark") << DarkPalette();
    }

    void textReadsOnEveryColourTheWindowPicks() {
        QFETCH(QPalette, Theme);
        QApplication::setPalette(Theme);
        FakePlatform Fake;
        TMainForm Form;
        TPropObject Object;
        QList<TPair> Pairs;

        // The object editor's fields as they are, changed by the user, and read-only.
        TFrmObject Editor(&Form);
        Editor.PropObject = &Object;
        Editor.FormShow();
        QTest::keyClicks(Editor.Edit1, QStringLiteral("x"));
        Pairs << FieldPair("changed field", *Editor.Edit1)
              << FieldPair("editable field", *Editor.findChild<QLineEdit*>("Edit3"));
        TFrmObject Viewer(&Form);
        Viewer.PropObject = &Object;
        Viewer.SetEditable(false);
        Viewer.FormShow();
        Pairs << FieldPair("read-only field", *Viewer.Edit1)
              << FieldPair("criteria summary", *Form.ListBox2);

        Pairs << TPair{"type label", TypeLabelColour(Theme, false),
                       Theme.color(QPalette::Active, QPalette::Base)};
        TMapView Map;
        const TMapColours& Colours = Map.MapColours();
        Pairs << TPair{"map legend and scale", Colours.Ink, QColor(Colours.Background)};
        for (const TPair& Pair : Pairs)
            QVERIFY2(Contrast(Pair.Ink, Pair.Background) >= 4.5,
                     qPrintable(QStringLiteral("%1: %2 on %3, %4:1")
                                    .arg(Pair.Name, Pair.Ink.name(), Pair.Background.name())
                                    .arg(Contrast(Pair.Ink, Pair.Background), 0, 'f', 2)));

        // The more objects on a pixel, the more it stands out from the canvas; a lone object
        // still shows.
        double Before = 1.5;
        for (const QRgb Class : Colours.Density) {
            const double Ratio = Contrast(QColor(Class), QColor(Colours.Background));
            QVERIFY2(Ratio > Before, qPrintable(QColor(Class).name()));
            Before = Ratio;
        }
    }
};

QTEST_MAIN(ContrastTest)
#include "ContrastTest.moc"
