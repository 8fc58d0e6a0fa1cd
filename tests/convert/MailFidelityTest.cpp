// The generated sample exported as a user would run it, and the written
// personal folders file read back by the independent readers: every Outlook
// folder of the manifest with its item count (lspst, readpst, pffexport),
// and every memo field by field (pffexport -d) against what the generator
// put into the DXL. The figures and the first mismatches are printed.

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

TEST(MailFidelity, SampleMailReadsBackAsGenerated) {
    QB_REQUIRE_TOOL("lspst readpst pffexport");
    TempDir dir;
    const std::string sample = dir.File("sample");
    std::filesystem::create_directory(dir.File("tmp"));
    ScopedEnv tmp("TMPDIR", dir.File("tmp"));
    // A zone far from the sample's own, so that a time kept in local time
    // instead of UTC shows up.
    ScopedEnv zone("TZ", "America/New_York");

    auto run = RunCli("sample --out " + ShellQuote(sample) + " --messages 100 --seed 5");
    ASSERT_EQ(run.status, 0) << run.output;
    run = RunCli("export --ini " + ShellQuote(sample + "/Quillbox.ini") + " --yes");
    ASSERT_EQ(run.status, 0) << run.output;

    const std::string pst = sample + "/Quillbox Sample.pst";
    const auto check = RunCli("pst-check " + ShellQuote(pst));
    EXPECT_EQ(check.status, 0) << check.output;

    const auto fidelity = RunCommand("python3 " + ShellQuote(QUILLBOX_SOURCE_DIR "/tests/convert/sample_export_check.py") +
                                     " " + ShellQuote(sample) + " " + ShellQuote(pst) + " 2>&1");
    std::cout << fidelity.output;
    EXPECT_EQ(fidelity.status, 0) << fidelity.output;
    EXPECT_NE(fidelity.output.find("all agree"), std::string::npos);

    // The check itself must see a difference: the same file against a
    // description with one folder count and one delivery time changed.
    std::filesystem::create_directory(dir.File("changed"));
    std::string manifest = ReadFile(sample + "/manifest.json");
    const std::string inbox = "\n    \"Inbox\": ";
    const auto count = manifest.find(inbox);
    ASSERT_NE(count, std::string::npos);
    manifest.insert(count + inbox.size(), "1");
    dir.Write("changed/manifest.json", manifest);
    std::string mail = ReadFile(sample + "/expected_mail.json");
    const std::string delivered = "\"delivered\": \"";
    const auto when = mail.find(delivered);
    ASSERT_NE(when, std::string::npos);
    mail.replace(when + delivered.size(), 4, "1999");
    dir.Write("changed/expected_mail.json", mail);
    std::filesystem::copy_file(sample + "/expected_items.json", dir.File("changed/expected_items.json"));
    const auto changed = RunCommand("python3 " + ShellQuote(QUILLBOX_SOURCE_DIR "/tests/convert/sample_export_check.py") +
                                    " " + ShellQuote(dir.File("changed")) + " " + ShellQuote(pst) + " 2>&1");
    EXPECT_EQ(changed.status, 1) << changed.output;
    EXPECT_NE(changed.output.find("pffexport: folder 'Inbox' holds"), std::string::npos) << changed.output;
    EXPECT_NE(changed.output.find("delivery time: expected '1999-"), std::string::npos) << changed.output;
}

}  // namespace
}  // namespace qb::test
