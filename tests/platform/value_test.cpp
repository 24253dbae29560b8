#include "tolba/platform/value.h"

#include <gtest/gtest.h>

namespace tolba::platform {
namespace {

TEST(ValueTest, IntegerValueReadsTextAndNumbersAsThePlatformDoes) {
  EXPECT_EQ(intValue(Json("1")), 1);
  EXPECT_EQ(intValue(Json(1)), 1);
  EXPECT_EQ(intValue(Json("  -42abc")), -42);
  EXPECT_EQ(intValue(Json("+7")), 7);
  EXPECT_EQ(intValue(Json("abc")), 0);
  EXPECT_EQ(intValue(Json(1.9)), 1);
  EXPECT_EQ(intValue(Json(-1.9)), -1);
  EXPECT_EQ(intValue(Json(nullptr)), 0);
  EXPECT_EQ(intValue(Json::object()), 0);
  EXPECT_EQ(intValue(nullptr), 0);
  EXPECT_EQ(intValue(Json(true)), 1);
  EXPECT_EQ(intValue(Json("99999999999999999999999")), INT64_MAX);
  EXPECT_EQ(intValue(Json("-99999999999999999999999")), INT64_MIN);
}

TEST(ValueTest, DescribeGivesThePercentAtText) {
  EXPECT_EQ(describe(Json("text")), "text");
  EXPECT_EQ(describe(Json(60)), "60");
  EXPECT_EQ(describe(Json(0.5)), "0.5");
  EXPECT_EQ(describe(Json(2.0)), "2");
  EXPECT_EQ(describe(Json(nullptr)), "<null>");
  EXPECT_EQ(describe(Json{{"a", "/"}}), R"({"a":"/"})");
  EXPECT_EQ(describe(Json::array({1, "名"})), R"([1,"名"])");
  EXPECT_EQ(describeOrNil(std::optional<Json>()), "(null)");
}

TEST(ValueTest, FloatTextsFollowThePlatformsNumberFormatting) {
  EXPECT_EQ(floatText(6.0f), "6");
  EXPECT_EQ(floatText(0.5f), "0.5");
  EXPECT_EQ(floatText(12.34f), "12.34");
  EXPECT_EQ(floatText(0.01f), "0.01");
  EXPECT_EQ(floatText(1234567.0f), "1234567");
  EXPECT_EQ(Json(floatNumber(6.0f)).dump(), "6");
  EXPECT_EQ(Json(floatNumber(0.01f)).dump(), "0.01");
  EXPECT_EQ(Json(floatNumber(12.34f)).dump(), "12.34");
  EXPECT_EQ(doubleValue(Json(" 2.5x")), 2.5);
  EXPECT_EQ(doubleValue(Json("x")), 0.0);
}

TEST(ValueTest, FindToleratesNonObjects) {
  const Json obj{{"a", 1}};
  EXPECT_NE(find(obj, "a"), nullptr);
  EXPECT_EQ(find(obj, "b"), nullptr);
  EXPECT_EQ(find(Json::array({1}), "a"), nullptr);
  EXPECT_EQ(find(Json("s"), "a"), nullptr);
  EXPECT_EQ(stringValue(find(obj, "a")), std::nullopt);
}

}  // namespace
}  // namespace tolba::platform
