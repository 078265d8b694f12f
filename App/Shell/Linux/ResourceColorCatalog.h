#pragma once

#include "App/Shell/ColorCatalog.h"

// Reads the colour table (a JSON object of name to "#rrggbb") anew for every lookup.
class ResourceColorCatalog final : public ColorCatalog {
public:
    static constexpr const char* defaultPath = ":/Main/Colors.json";

    explicit ResourceColorCatalog(QString path = defaultPath) : path_(std::move(path)) {}

    std::optional<QColor> colorNamed(const QString& name) override;

private:
    QString path_;
};
