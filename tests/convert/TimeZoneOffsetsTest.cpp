#include <gtest/gtest.h>

#include <cstdlib>

#include "convert/DateFilter.h"
#include "convert/TimeZoneOffsets.h"
#include "shell/settings/ExportSettings.h"
#include "support/ScopedEnv.h"

using qb::ExportSettings;
using qb::ManualZoneInput;

TEST(TimeZoneOffsets, ManualZoneUsesTheStoredSigns) {
    ExportSettings s;
    ManualZoneInput east{10, 30, 1, 0};
    ASSERT_FALSE(qb::ValidateManualZone(east));
    qb::ApplyManualZone(east, true, s);
    EXPECT_EQ(s.TimeZoneHours, -10);
    EXPECT_EQ(s.TimeZoneMinutes, -30);
    auto offsets = qb::ComputeOffsets(s, std::nullopt);
    EXPECT_EQ(offsets.standardOffset, -37800);
    EXPECT_EQ(offsets.daylightOffset, -3600);
    EXPECT_EQ(offsets.currentDaylightOffset, -3600);

    ManualZoneInput west{-3, 30, 0, 0};
    qb::ApplyManualZone(west, true, s);
    EXPECT_EQ(s.TimeZoneHours, 3);
    EXPECT_EQ(s.TimeZoneMinutes, 30);
    EXPECT_EQ(qb::ManualZoneFromSettings(s).hours, -3);
    EXPECT_EQ(qb::ManualZoneFromSettings(s).minutes, 30);
}

TEST(TimeZoneOffsets, DialogRefusesOutOfRangeEntries) {
    EXPECT_FALSE(qb::ValidateManualZone({0, -30, 0, 0}));
    EXPECT_EQ(qb::ValidateManualZone({5, -30, 0, 0}), "TimeZone minutes must be between 0 to 59");
    EXPECT_EQ(qb::ValidateManualZone({0, -60, 0, 0}), "TimeZone minutes at zero hours must be between -59 to 59");
    EXPECT_EQ(qb::ValidateManualZone({0, 0, 25, 0}), "Daylight Savings hours must be between 0 and 24");
    EXPECT_EQ(qb::ValidateManualZone({0, 0, 1, 60}), "Daylight Savings minutes must be between 0 and 59");
}

TEST(TimeZoneOffsets, SystemZoneComesFromTheBias) {
    ExportSettings s;
    qb::platform::TimeZoneInformation berlinSummer{-60, 0, -60, true, true};
    auto offsets = qb::ComputeOffsets(s, berlinSummer);
    EXPECT_EQ(offsets.standardOffset, -3600);
    EXPECT_EQ(offsets.daylightOffset, -3600);
    EXPECT_EQ(offsets.currentDaylightOffset, -3600);
    berlinSummer.daylightNow = false;
    EXPECT_EQ(qb::ComputeOffsets(s, berlinSummer).currentDaylightOffset, 0);
    EXPECT_EQ(qb::ComputeOffsets(s, std::nullopt).standardOffset, 0);

    EXPECT_EQ(qb::SystemZoneText(berlinSummer), "GMT +1");
    EXPECT_EQ(qb::SystemZoneText({300, 0, -60, true, false}), "GMT -5");
    EXPECT_EQ(qb::SystemDaylightText(berlinSummer), "60 minutes");

    // What the export's confirmation says it will convert with.
    EXPECT_EQ(qb::ExportZoneText(s, berlinSummer),
              "Times are converted for GMT +1 (the system's), daylight saving 60 minutes.");
    s.TimeZoneManual = true;
    qb::ApplyManualZone({-3, 30, 0, 0}, true, s);  // Newfoundland, without daylight saving
    EXPECT_EQ(qb::ExportZoneText(s, berlinSummer),
              "Times are converted for GMT -3:30 (set manually), daylight saving 0 minutes.");
}

TEST(DateFilter, BoundsAreInclusive) {
    const qb::test::ScopedEnv berlinZone("TZ", "Europe/Berlin");
    ExportSettings s;
    s.FilterByDate = true;
    s.FilterFrom = *qb::platform::FromLocalFields(2024, 1, 1, 0, 0, 0);
    s.FilterTo = *qb::platform::FromLocalFields(2024, 6, 30, 18, 0, 0);
    const auto filter = qb::DateFilter::FromSettings(s);
    EXPECT_TRUE(filter.Passes(2024, 6, 30, 18, 0, 0));
    EXPECT_FALSE(filter.Passes(2024, 6, 30, 18, 0, 1));
    EXPECT_TRUE(filter.Passes(2024, 1, 1, 0, 0, 0));
    EXPECT_FALSE(filter.Passes(2023, 12, 31, 23, 59, 59));
    s.FilterByDate = false;
    EXPECT_TRUE(qb::DateFilter::FromSettings(s).Passes(1990, 1, 1, 0, 0, 0));
}
