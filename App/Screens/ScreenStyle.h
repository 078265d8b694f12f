#pragma once

class ColorCatalog;
class QAbstractButton;
class QPalette;
class QPlainTextEdit;
class QWidget;

// The look every screen repeats: a white background panel and rounded buttons filled with a named
// colour. An unconnected outlet (null) is left alone. The panels stay white under a dark desktop
// theme, so what they hold takes a light palette to stay readable.
class ScreenStyle {
public:
    static constexpr int cornerRadius = 16;
    static constexpr const char* primaryColorName = "lightBlue";
    static constexpr const char* secondaryColorName = "lightGrey";

    static void styleBackgroundView(QWidget* view);
    static void stylePrimaryButton(QAbstractButton* button, ColorCatalog& colors);
    static void styleSecondaryButton(QAbstractButton* button, ColorCatalog& colors);
    static void styleDetailsView(QPlainTextEdit* view);
    // Dark text on white, whatever the desktop's palette.
    static QPalette panelPalette();

private:
    static void styleButton(QAbstractButton* button, ColorCatalog& colors, const char* colorName);
};
