// The test helpers every area leans on: the environment override restores
// what was there before, and a missing outside reader fails a test under CI
// instead of letting it pass as skipped.

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "support/OutsideTools.h"
#include "support/ScopedEnv.h"

namespace qb::test {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "<unset>";
}

TEST(ScopedEnv, RestoresTheEarlierValueOrItsAbsenceAndFollowsTheZone) {
    const ScopedEnv outer("QB_SCOPED_ENV_TEST", std::nullopt);
    {
        const ScopedEnv set("QB_SCOPED_ENV_TEST", "one");
        EXPECT_EQ(Env("QB_SCOPED_ENV_TEST"), "one");
        {
            const ScopedEnv unset("QB_SCOPED_ENV_TEST", std::nullopt);
            EXPECT_EQ(Env("QB_SCOPED_ENV_TEST"), "<unset>");
        }
        EXPECT_EQ(Env("QB_SCOPED_ENV_TEST"), "one");
    }
    EXPECT_EQ(Env("QB_SCOPED_ENV_TEST"), "<unset>");

    const std::time_t summer = 1782900000;  // 2026-07-01 10:00 UTC
    {
        const ScopedEnv zone("TZ", "Asia/Kolkata");
        std::tm local{};
        ::localtime_r(&summer, &local);
        EXPECT_EQ(local.tm_hour * 60 + local.tm_min, 15 * 60 + 30);
        {
            const ScopedEnv utc("TZ", "UTC");
            ::localtime_r(&summer, &local);
            EXPECT_EQ(local.tm_hour, 10);
        }
        ::localtime_r(&summer, &local);
        EXPECT_EQ(local.tm_hour * 60 + local.tm_min, 15 * 60 + 30) << "tzset after restoring";
    }
}

TEST(OutsideTools, AMissingReaderFailsUnderCiAndMaySkipElsewhere) {
    std::string why;
    EXPECT_TRUE(ToolAvailable("sh", why)) << why;
    EXPECT_FALSE(ToolAvailable("sh quillbox-no-such-reader", why));
    EXPECT_EQ(why, "quillbox-no-such-reader is not installed");
    {
        const ScopedEnv local("CI", std::nullopt);
        EXPECT_FALSE(RunningUnderCi());
        EXPECT_TRUE(MaySkipWithout(why));
    }
    for (const char* ci : {"true", "1"}) {
        const ScopedEnv underCi("CI", ci);
        EXPECT_TRUE(RunningUnderCi());
        EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(MaySkipWithout("quillbox-no-such-reader is not installed")),
                                "quillbox-no-such-reader is not installed");
        EXPECT_NONFATAL_FAILURE(EXPECT_FALSE(ToolForCheck("quillbox-no-such-reader")), "not installed");
    }
}

}  // namespace
}  // namespace qb::test
