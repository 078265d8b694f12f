#pragma once

#include <QColor>
#include <QString>

#include <optional>

// Named colours of the app; no colour for a name the catalogue does not hold.
class ColorCatalog {
public:
    virtual ~ColorCatalog() = default;
    virtual std::optional<QColor> colorNamed(const QString& name) = 0;
};
