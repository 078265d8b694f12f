#pragma once

class QAbstractButton;
class QWidget;

// The look every screen repeats: a white background panel and rounded buttons filled with a named
// colour. An unconnected outlet (null) is left alone.
class ScreenStyle {
public:
    static constexpr int cornerRadius = 16;
    static constexpr const char* primaryColorName = "lightBlue";
    static constexpr const char* secondaryColorName = "lightGrey";

    static void styleBackgroundView(QWidget* view);
    static void stylePrimaryButton(QAbstractButton* button);
    static void styleSecondaryButton(QAbstractButton* button);

private:
    static void styleButton(QAbstractButton* button, const char* colorName);
};
