#include "wizard/page_rules.h"

#include <gtest/gtest.h>

namespace rn {
namespace {

TEST(PageRules, PhoneNumberIsCompleteWithTenDigits) {
  struct Case {
    const char* text;
    const char* digits;
    bool complete;
  } cases[] = {
      {"(555)123-4567", "5551234567", true},
      {"(5__)___-____", "5", false},
      {"(555)123-456_", "555123456", false},
      {"(555)123-_567", "555123567", false},
      {"()-", "", false},
      {"(555)123-45678", "55512345678", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PhoneDigits(c.text), c.digits);
    EXPECT_EQ(IsPhoneNumberComplete(c.text), c.complete);
  }
}

TEST(PageRules, SelectionsFromStoredValues) {
  EXPECT_TRUE(IsDeviceAddress("@"));
  EXPECT_TRUE(IsDeviceAddress(" pager@example.com "));
  EXPECT_FALSE(IsDeviceAddress("pager.example.com"));

  EXPECT_EQ(CarrierItemOf(0), 0);
  EXPECT_EQ(CarrierItemOf(8), 8);
  EXPECT_EQ(CarrierItemOf(9), 8);
  EXPECT_EQ(CarrierItemOf(255), 8);

  EXPECT_EQ(ReminderPeriodItem(3), 3);
  EXPECT_EQ(ReminderPeriodItem(-1), -1);
  EXPECT_EQ(ReminderPeriodItem(4), -1);
}

}  // namespace
}  // namespace rn
