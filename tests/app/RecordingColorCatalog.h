#pragma once

#include "ColorCatalog.h"
#include "EventLog.h"

#include <map>

namespace ntfs::test {

class RecordingColorCatalog final : public ColorCatalog {
public:
    RecordingColorCatalog(EventLog& log, std::map<QString, QColor> table) : log_(log), table_(std::move(table)) {}

    std::optional<QColor> colorNamed(const QString& name) override
    {
        log_.add("color:" + name.toStdString());
        auto found = table_.find(name);
        if (found == table_.end())
            return std::nullopt;
        return found->second;
    }

    void setTable(std::map<QString, QColor> table) { table_ = std::move(table); }

private:
    EventLog& log_;
    std::map<QString, QColor> table_;
};

}  // namespace ntfs::test
