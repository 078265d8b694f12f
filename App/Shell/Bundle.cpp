#include "App/Shell/Bundle.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>

Bundle::Bundle(QString bundlePath) : bundlePath_(std::move(bundlePath)) {}

Bundle Bundle::mainBundle()
{
    std::error_code error;
    auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return Bundle(QFile::decodeName(executable.parent_path().c_str()));
}

QString Bundle::resourcePath() const
{
    return QDir(bundlePath_).filePath(QString::fromLatin1(resourcesFolder));
}

QString Bundle::pathForResource(const QString& name, const QString& type) const
{
    QString fileName = type.isEmpty() ? name : name + QLatin1Char('.') + type;
    // A name that climbs out of the resources is no resource of ours.
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName == QLatin1String("..") ||
        fileName == QLatin1String("."))
        return {};
    QString path = QDir(resourcePath()).filePath(fileName);
    return QFileInfo::exists(path) ? path : QString();
}

QString Bundle::pathForAuxiliaryExecutable(const QString& name) const
{
    QFileInfo info(QDir(bundlePath_).filePath(name));
    return info.isFile() && info.isExecutable() ? info.filePath() : QString();
}

QString Bundle::pathForLaunchServicesTool(const QString& label) const
{
    return QDir(QDir(bundlePath_).filePath(QString::fromLatin1(launchServicesFolder))).filePath(label);
}
