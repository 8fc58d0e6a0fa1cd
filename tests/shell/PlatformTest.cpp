#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "shell/platform/FileInfo.h"
#include "shell/platform/LocalTime.h"
#include "shell/platform/Paths.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace pf = qb::platform;
using qb::test::TempDir;

TEST(LocalTime, FileTimesConvertBothWays) {
    // 2000-01-01 00:00:00 UTC in 100-ns intervals since 1601.
    const pf::SystemTime y2k{2000, 1, 6, 1, 0, 0, 0, 0};
    ASSERT_EQ(pf::SystemTimeToFileTime(y2k), 125911584000000000ULL);
    EXPECT_EQ(pf::FileTimeToSystemTime(125911584000000000ULL), y2k);
    EXPECT_EQ(pf::UnixToFileTime(946684800), 125911584000000000ULL);
    EXPECT_EQ(pf::FileTimeToUnix(125911584000000000ULL), 946684800);

    const pf::SystemTime leap{2024, 2, 4, 29, 23, 59, 58, 999};
    auto ft = pf::SystemTimeToFileTime(leap);
    ASSERT_TRUE(ft);
    EXPECT_EQ(pf::FileTimeToSystemTime(*ft), leap);

    EXPECT_FALSE(pf::SystemTimeToFileTime({2023, 2, 0, 29, 0, 0, 0, 0}));
    EXPECT_FALSE(pf::SystemTimeToFileTime({1600, 12, 0, 31, 0, 0, 0, 0}));
    EXPECT_FALSE(pf::SystemTimeToFileTime({2023, 1, 0, 1, 24, 0, 0, 0}));
}

TEST(LocalTime, TimeZoneInformationFollowsTZ) {
    std::optional<qb::test::ScopedEnv> zone;
    zone.emplace("TZ", "Europe/Berlin");
    auto berlin = pf::GetTimeZoneInformation(1781524800);  // June: daylight time
    EXPECT_EQ(berlin.bias, -60);
    EXPECT_EQ(berlin.daylightBias, -60);
    EXPECT_TRUE(berlin.hasDaylightSaving);
    EXPECT_TRUE(berlin.daylightNow);

    zone.emplace("TZ", "America/New_York");
    auto newYork = pf::GetTimeZoneInformation(1767225600);  // January
    EXPECT_EQ(newYork.bias, 300);
    EXPECT_FALSE(newYork.daylightNow);

    zone.emplace("TZ", "Asia/Kolkata");
    auto india = pf::GetTimeZoneInformation();
    EXPECT_EQ(india.bias, -330);
    EXPECT_FALSE(india.hasDaylightSaving);
    EXPECT_EQ(india.daylightBias, 0);

    zone.emplace("TZ", "Europe/Berlin");
    EXPECT_EQ(pf::FromLocalFields(2026, 7, 1, 12, 0, 0), 1782900000);
    EXPECT_EQ(pf::FormatLocalTime(1782900000, "%Y-%m-%d %H:%M:%S"), "2026-07-01 12:00:00");
}

TEST(Paths, JoinPathUsesOneSeparator) {
    EXPECT_EQ(pf::JoinPath("/a/", "/b"), "/a/b");
    EXPECT_EQ(pf::JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(pf::JoinPath("", "b"), "b");
    EXPECT_FALSE(pf::ProgramFolder().empty());
    EXPECT_TRUE(std::filesystem::exists(pf::ProgramPath()));
}

TEST(Paths, TempFolderIsPrivateAndRefusesForeignOrOpenFolders) {
    TempDir dir;
    const qb::test::ScopedEnv tmpDir("TMPDIR", dir.path());

    std::string error;
    const std::string folder = pf::TempFolder(&error);
    ASSERT_FALSE(folder.empty()) << error;
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(pf::TempFolder(), folder) << "a second call reuses the folder";

    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(pf::TempFolder(&error), "");
    EXPECT_NE(error.find("other users"), std::string::npos);

    std::filesystem::remove_all(folder);
    std::filesystem::create_directory(dir.File("elsewhere"));
    std::filesystem::create_directory_symlink(dir.File("elsewhere"), folder);
    EXPECT_EQ(pf::TempFolder(&error), "");
}

TEST(FileInfo, StatusReadOnlyAndDeletion) {
    TempDir dir;
    const std::string path = dir.Write("f.txt", "12345");
    auto status = pf::GetFileStatus(path);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->size, 5u);
    EXPECT_FALSE(status->isDirectory);
    EXPECT_TRUE(pf::SetFileModified(path, 1000000000));
    EXPECT_EQ(pf::GetFileStatus(path)->modified, 1000000000);
    EXPECT_FALSE(pf::IsReadOnlyFile(path));
    ::chmod(path.c_str(), 0444);
    EXPECT_TRUE(pf::IsReadOnlyFile(path));
    EXPECT_TRUE(pf::DeleteFile(path));
    EXPECT_FALSE(pf::FileExists(path));
    EXPECT_TRUE(pf::DeleteFile(path)) << "deleting a missing file is no failure";
    EXPECT_FALSE(pf::IsReadOnlyFile(path));
}
