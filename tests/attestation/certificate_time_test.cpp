#include "attestation/certificate_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "attestation_test_util.h"

namespace {

TEST(CertificateTime, LocalTimeOrUtcBeyondTheConversion) {
  const struct {
    const char* zone;
    CertificateTime utc;
    const char* expected;
  } cases[] = {
      {"UTC0", {2020, 1, 2, 3, 4, 5}, "2020-01-02 03:04:05"},
      {"JST-9", {2020, 1, 2, 3, 4, 5}, "2020-01-02 12:04:05"},
      {"JST-9", {2020, 12, 31, 20, 0, 0}, "2021-01-01 05:00:00"},  // the day and year roll over
      {"EST5", {2020, 1, 1, 2, 0, 0}, "2019-12-31 21:00:00"},
      // Summer time by the zone's rule.
      {"CET-1CEST,M3.5.0,M10.5.0/3", {2021, 7, 1, 10, 0, 0}, "2021-07-01 12:00:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", {2021, 1, 1, 10, 0, 0}, "2021-01-01 11:00:00"},
      {"JST-9", {1969, 12, 31, 23, 59, 59}, "1970-01-01 08:59:59"},  // timegm's -1
      {"JST-9", {1950, 1, 1, 0, 0, 0}, "1950-01-01 09:00:00"},
      {"JST-9", {2049, 12, 31, 23, 59, 59}, "2050-01-01 08:59:59"},
      {"JST-9", {3000, 6, 1, 0, 0, 0}, "3000-06-01 09:00:00"},
      // Beyond the last converted year: the UTC time as encoded.
      {"JST-9", {3001, 1, 1, 0, 0, 0}, "3001-01-01 00:00:00"},
      {"JST-9", {9999, 12, 31, 23, 59, 59}, "9999-12-31 23:59:59"},
  };
  for (const auto& c : cases) {
    ScopedTimeZone zone(c.zone);
    if (sizeof(time_t) < 8 && c.utc.year > 2037) {
      // A 32-bit time_t cannot hold it: shown in UTC.
      char utc[32];
      std::snprintf(utc, sizeof utc, "%04d-%02d-%02d %02d:%02d:%02d", c.utc.year, c.utc.month,
                    c.utc.day, c.utc.hour, c.utc.minute, c.utc.second);
      EXPECT_EQ(FormatCertificateTime(c.utc), utc);
      continue;
    }
    EXPECT_EQ(FormatCertificateTime(c.utc), c.expected) << c.zone << " " << c.expected;
  }
}

TEST(CertificateTime, ValidityPeriodJoinsBothTimes) {
  ScopedTimeZone zone("JST-9");
  EXPECT_EQ(FormatValidityPeriod({2020, 1, 2, 3, 4, 5}, {9999, 12, 31, 23, 59, 59}),
            "2020-01-02 12:04:05 - 9999-12-31 23:59:59");
}

}  // namespace
