#pragma once
// A recovery journal for tests that keeps what the run told it, in order, as
// lines: "start VIEW", "doc INDEX", "view complete", "complete"; the
// universal id of every recorded document goes to `ids`. Every view is
// exported from its start unless a test overrides ShouldExportView.

#include <cstdint>
#include <string>
#include <vector>

#include "convert/ExportServices.h"

namespace qb::test {

struct RecordingJournal : RecoveryHooks {
    std::vector<std::string> events;
    std::vector<std::string> ids;
    bool IsOn() const override { return true; }
    bool ShouldExportView(std::uint32_t, const std::string&, ResumePoint& point) override {
        point = ResumePoint();
        return true;
    }
    bool StartView(std::uint32_t, const std::string& name) override {
        events.push_back("start " + name);
        return true;
    }
    bool RecordDocument(std::int32_t index, std::uint32_t, const std::string& universalId) override {
        events.push_back("doc " + std::to_string(index));
        ids.push_back(universalId);
        return true;
    }
    bool MarkViewFolderComplete() override {
        events.push_back("view complete");
        return true;
    }
    bool MarkComplete() override {
        events.push_back("complete");
        return true;
    }
};

}  // namespace qb::test
