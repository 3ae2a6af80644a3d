#include "io/fixed_record.hpp"

#include <gtest/gtest.h>

#include "io/input_error.hpp"

namespace tarvex {
namespace {

TEST(FixedRecord, RealWithoutPointTakesImpliedDecimals) {
  FixedRecord r("    1  150 1 5   -5  1E1  2.5", "scein.dat", 1);
  EXPECT_DOUBLE_EQ(r.real_field(1, 5, 2, "a"), 0.01);
  EXPECT_DOUBLE_EQ(r.real_field(6, 5, 2, "b"), 1.5);
  EXPECT_DOUBLE_EQ(r.real_field(11, 5, 2, "c"), 0.15);  // blanks inside ignored
  EXPECT_DOUBLE_EQ(r.real_field(16, 5, 2, "d"), -0.05);
  EXPECT_DOUBLE_EQ(r.real_field(21, 5, 2, "e"), 0.1);  // 0.01 times 10
  EXPECT_DOUBLE_EQ(r.real_field(26, 5, 2, "f"), 2.5);  // a point overrides
  EXPECT_DOUBLE_EQ(r.real_field(1, 5, 0, "g"), 1.0);
}

TEST(FixedRecord, ValuesStandAnywhereInTheirField) {
  FixedRecord r("12   - 3 4+7       1.5d2", "scein.dat", 2);
  EXPECT_EQ(r.int_field(1, 5, "a"), 12);
  EXPECT_EQ(r.int_field(6, 5, "b"), -34);
  EXPECT_EQ(r.int_field(11, 5, "c"), 7);
  EXPECT_DOUBLE_EQ(r.real_field(16, 10, 0, "d"), 150.0);
  double v = 0;
  ASSERT_TRUE(parse_fixed_real("1.5-2", 0, v));
  EXPECT_DOUBLE_EQ(v, 0.015);
  ASSERT_TRUE(parse_fixed_real("12345678901", 0, v));
  EXPECT_DOUBLE_EQ(v, 12345678901.0);
}

TEST(FixedRecord, BlankAndMissingColumnsReadAsZero) {
  FixedRecord r("    7", "scein.dat", 3);
  EXPECT_EQ(r.int_field(1, 5, "a"), 7);
  EXPECT_EQ(r.int_field(6, 5, "b"), 0);
  EXPECT_EQ(r.int_field(26, 5, "c"), 0);
  EXPECT_DOUBLE_EQ(r.real_field(11, 10, 0, "d"), 0.0);
  FixedRecord empty("", "scein.dat", 4);
  EXPECT_DOUBLE_EQ(empty.real_field(21, 10, 0, "e"), 0.0);
}

TEST(FixedRecord, GarbageIsRefusedWithFileRecordAndColumns) {
  FixedRecord r("   10  abc1.2.3  1.0  12-", "scein.dat", 7);
  EXPECT_EQ(r.int_field(1, 5, "MAXTRIALS"), 10);
  try {
    r.int_field(6, 5, "kstop");
    FAIL() << "no error";
  } catch (const InputError& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("scein.dat"), std::string::npos) << m;
    EXPECT_NE(m.find("record 7"), std::string::npos) << m;
    EXPECT_NE(m.find("columns 6-10"), std::string::npos) << m;
    EXPECT_NE(m.find("kstop"), std::string::npos) << m;
  }
  EXPECT_THROW(r.real_field(11, 5, 2, "x"), InputError);  // two points
  EXPECT_THROW(r.int_field(16, 5, "x"), InputError);      // a real in an integer field
  EXPECT_THROW(r.real_field(21, 5, 2, "x"), InputError);  // sign with no exponent digits
  int32_t i = 0;
  double d = 0;
  EXPECT_FALSE(parse_fixed_int("-", i));
  EXPECT_FALSE(parse_fixed_real("+", 2, d));
  EXPECT_FALSE(parse_fixed_real(".", 2, d));
  EXPECT_FALSE(parse_fixed_real("1e", 2, d));
  EXPECT_FALSE(parse_fixed_real("nan", 2, d));
  EXPECT_FALSE(parse_fixed_real("1e999", 0, d));
  ASSERT_TRUE(parse_fixed_real("1e-999", 0, d));
  EXPECT_EQ(d, 0.0);
}

}  // namespace
}  // namespace tarvex
