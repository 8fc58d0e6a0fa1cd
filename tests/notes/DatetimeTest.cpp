#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "notes/api/LNDatetime.h"
#include "support/ScopedEnv.h"

namespace {

class UtcZone : public ::testing::Test {
protected:
    const qb::test::ScopedEnv zone_{"TZ", "Europe/Berlin"};
};

LNDatetime Parse(const std::string& text, bool dst = false) {
    LNDatetime value;
    EXPECT_EQ(LNDatetime::FromDxlText(text, dst, &value), LNNOERROR) << text;
    return value;
}

TEST_F(UtcZone, DxlFormsAndParts) {
    LNDatetime full = Parse("20090512T101530,12+02", true);
    EXPECT_TRUE(full.IsFull());
    EXPECT_TRUE(full.GetStoredDSTFlag());
    LNDatetimeParts local = full.GetParts();  // Berlin summer time is +02 as well
    EXPECT_EQ(local.year, 2009);
    EXPECT_EQ(local.month, 5);
    EXPECT_EQ(local.day, 12);
    EXPECT_EQ(local.weekday, 3);  // Tuesday
    EXPECT_EQ(local.hour, 10);
    EXPECT_EQ(local.second, 30);
    EXPECT_EQ(local.hundredth, 12);
    EXPECT_TRUE(full.IsDSTInEffect());
    EXPECT_EQ(full.GetDxlText(), "20090512T101530,12+02");

    LNDatetime date = Parse("20090512");
    EXPECT_TRUE(date.HasDate());
    EXPECT_FALSE(date.HasTime());
    EXPECT_EQ(date.GetText(), "05/12/2009");
    LNDatetime time = Parse("T101530,12");
    EXPECT_FALSE(time.HasDate());
    EXPECT_EQ(time.GetHour(), 10);
    EXPECT_EQ(time.GetText(), "10:15:30");

    EXPECT_EQ(Parse("20090512T081530Z").GetUnixTime(), full.GetUnixTime());
    EXPECT_EQ(Parse("20090512T031530-0500").GetUnixTime(), full.GetUnixTime());
    EXPECT_EQ(Parse("20090512T043030-05:45").GetZoneOffsetMinutes(), -345);
}

TEST_F(UtcZone, BadTextIsRefused) {
    LNDatetime value;
    for (const char* bad : {"", "2009", "20091312", "20090230", "20090512T25", "20090512T101530,", "20090512X",
                            "20090512T101530+2", "T2360"})
        EXPECT_EQ(LNDatetime::FromDxlText(bad, false, &value), LNERR_BAD_DATETIME) << bad;
}

TEST_F(UtcZone, TimedateKeepsMomentZoneAndDaylight) {
    LNDatetime full = Parse("20220125T202600,00+01");
    LNDatetime back = LNDatetime::FromTimedate(full.GetTimedate());
    EXPECT_EQ(back, full);
    LNDatetime summer = Parse("20260720T120000,00-04", true);
    EXPECT_EQ(LNDatetime::FromTimedate(summer.GetTimedate()), summer);
    LNDatetime date = Parse("20090512");
    EXPECT_EQ(LNDatetime::FromTimedate(date.GetTimedate()), date);
    EXPECT_EQ(date.GetTimedate().Innards[0], kTimedateNoTime);
}

TEST_F(UtcZone, Adjustments) {
    LNDatetime value = Parse("20090131T100000,00+01");
    value.AdjustDate(1, 0, 0);  // 31 January + 1 month: end of February
    EXPECT_EQ(value.GetDay(), 28);
    EXPECT_EQ(value.GetMonth(), 2);
    value.AdjustTime(14, 30, 0);
    EXPECT_EQ(value.GetDay(), 1);
    EXPECT_EQ(value.GetMonth(), 3);
    EXPECT_EQ(value.GetHour(), 0);
    EXPECT_EQ(value.GetMinute(), 30);
    LNDatetime moment = value;
    value.AdjustTimeZone(-300, false);
    EXPECT_EQ(value.GetUnixTime(), moment.GetUnixTime());
    EXPECT_EQ(value.GetZoneParts().hour, 18);
    LNDatetime date = Parse("20081231");
    date.AdjustDate(0, 1, 0);
    EXPECT_EQ(date.GetText(), "01/01/2009");
}

TEST_F(UtcZone, LocalFieldsDecideDaylightSaving) {
    LNDatetime winter = LNDatetime::FromLocalFields(2009, 1, 15, 12, 0, 0);
    LNDatetime summer = LNDatetime::FromLocalFields(2009, 7, 15, 12, 0, 0);
    EXPECT_FALSE(winter.IsDSTInEffect());
    EXPECT_TRUE(summer.IsDSTInEffect());
    EXPECT_EQ(summer.GetHour(), 12);
    EXPECT_EQ(summer.GetZoneOffsetMinutes(), 120);
    EXPECT_LT(winter.Compare(summer), 0);
}

TEST(JulianDay, KnownDays) {
    EXPECT_EQ(LNJulianDay(1970, 1, 1), 2440588);
    EXPECT_EQ(LNJulianDay(2000, 1, 1), 2451545);
    int y, m, d;
    LNCivilDate(2451545, &y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000101);
}

}  // namespace
