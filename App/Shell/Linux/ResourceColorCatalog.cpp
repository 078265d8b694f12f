#include "App/Shell/Linux/ResourceColorCatalog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<QColor> ResourceColorCatalog::colorNamed(const QString& name)
{
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonValue value = QJsonDocument::fromJson(file.readAll()).object().value(name);
    if (!value.isString())
        return std::nullopt;
    QColor color = QColor::fromString(value.toString());
    if (!color.isValid())
        return std::nullopt;
    return color;
}
