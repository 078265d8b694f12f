#pragma once

#include "EventLog.h"
#include "Localization.h"

#include <QTranslator>

#include <map>
#include <string>

namespace ntfs::test {

// Answers the app's context from a table and records every key asked for; a key missing from the
// table has no translation.
class RecordingTranslator final : public QTranslator {
public:
    RecordingTranslator(EventLog& log, std::map<std::string, std::string> table = {})
        : log_(log), table_(std::move(table))
    {
    }

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (std::string_view(context) != Localization::context)
            return {};
        log_.add(std::string("text:") + sourceText);
        auto found = table_.find(sourceText);
        return found == table_.end() ? QString() : QString::fromStdString(found->second);
    }

    bool isEmpty() const override { return false; }

private:
    EventLog& log_;
    std::map<std::string, std::string> table_;
};

}  // namespace ntfs::test
