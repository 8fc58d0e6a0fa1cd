// The generated sample exported under two zones far apart, and its
// appointments and tasks read back by pffexport and readpst against
// expected_items.json, its contacts and lists against expected_contacts.json:
// timed items at the same UTC instants, all-day items on the same local
// dates, every field equal; and the check itself failing on a changed start
// time and on a contact's changed e-mail address.

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "support/OutsideTools.h"
#include "support/RunProgram.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace qb::test {
namespace {

std::string ItemsCheck(const std::string& sample, const std::string& pst) {
    return "python3 " + ShellQuote(QUILLBOX_SOURCE_DIR "/tests/convert/sample_items_check.py") + " " +
           ShellQuote(sample) + " " + ShellQuote(pst) + " 2>&1";
}

TEST(ItemFidelity, AppointmentsAndTasksReadBackAsGeneratedInAnyZone) {
    QB_REQUIRE_TOOL("readpst pffexport");
    for (const char* zone : {"Asia/Tokyo", "America/Los_Angeles"}) {
        SCOPED_TRACE(zone);
        TempDir dir;
        const std::string sample = dir.File("sample");
        std::filesystem::create_directory(dir.File("tmp"));
        ScopedEnv tmp("TMPDIR", dir.File("tmp"));
        ScopedEnv tz("TZ", zone);

        auto run = RunCli("sample --out " + ShellQuote(sample) + " --messages 60 --seed 7");
        ASSERT_EQ(run.status, 0) << run.output;
        run = RunCli("export --ini " + ShellQuote(sample + "/Quillbox.ini") + " --yes");
        ASSERT_EQ(run.status, 0) << run.output;
        const std::string pst = sample + "/Quillbox Sample.pst";
        const auto check = RunCommand(ItemsCheck(sample, pst));
        std::cout << zone << ":\n" << check.output;
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_NE(check.output.find("all agree"), std::string::npos);

        // The same file against a description with one start time changed.
        std::filesystem::create_directory(dir.File("changed"));
        std::filesystem::copy_file(sample + "/manifest.json", dir.File("changed/manifest.json"));
        std::filesystem::copy_file(sample + "/expected_contacts.json", dir.File("changed/expected_contacts.json"));
        std::string items = ReadFile(sample + "/expected_items.json");
        const std::string start = "\"start\": {\"utc\": \"";
        const auto at = items.find(start);
        ASSERT_NE(at, std::string::npos);
        items.replace(at + start.size(), 4, "1999");
        dir.Write("changed/expected_items.json", items);
        const auto changed = RunCommand(ItemsCheck(dir.File("changed"), pst));
        EXPECT_EQ(changed.status, 1) << changed.output;
        EXPECT_NE(changed.output.find("start: expected '1999-"), std::string::npos) << changed.output;

        // And against one where a contact's e-mail address differs.
        dir.Write("changed/expected_items.json", ReadFile(sample + "/expected_items.json"));
        std::string contacts = ReadFile(sample + "/expected_contacts.json");
        const std::string email = "\"email1\": \"";
        const auto address = contacts.find(email);
        ASSERT_NE(address, std::string::npos);
        contacts.insert(address + email.size(), "changed.");
        dir.Write("changed/expected_contacts.json", contacts);
        const auto changedEmail = RunCommand(ItemsCheck(dir.File("changed"), pst));
        EXPECT_EQ(changedEmail.status, 1) << changedEmail.output;
        EXPECT_NE(changedEmail.output.find(": email1: expected 'changed."), std::string::npos)
            << changedEmail.output;
    }
}

}  // namespace
}  // namespace qb::test
