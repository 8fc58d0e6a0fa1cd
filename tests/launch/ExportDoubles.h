#pragma once
// Stand-ins for an export's collaborators in tests of the launch and the
// batch: status lines kept, documents counted instead of converted, no
// named properties to resolve.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/ExportServices.h"
#include "shell/report/ProgressSink.h"

namespace qb::test {

struct Statuses : NullProgressSink {
    std::vector<std::string> lines;
    void SetStatusText(std::string_view text) override { lines.emplace_back(text); }
};

struct CountingDispatcher : DocumentDispatcher {
    int documents = 0;
    void Dispatch(const FolderHandle& folder, LNNotesSession&, LNDocument&) override {
        EXPECT_TRUE(folder.folder) << "documents go into a real folder";
        ++documents;
    }
};

struct NoNamedProperties : NamedPropertySetup {
    bool Setup(CMapiSession&) override { return true; }
};

}  // namespace qb::test
