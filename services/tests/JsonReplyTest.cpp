#include "JsonReply.h"

#include <QJsonArray>

#include <gtest/gtest.h>

#include <climits>

#include "QtPrinters.h"

namespace pravix
{
namespace
{

TEST(JsonReply, IntegerReadingOfMembers)
{
    EXPECT_EQ(integerValueOf(QJsonValue(1)), 1);
    EXPECT_EQ(integerValueOf(QJsonValue(1.9)), 1);
    EXPECT_EQ(integerValueOf(QJsonValue(-1.9)), -1);
    EXPECT_EQ(integerValueOf(QJsonValue(1e300)), INT_MAX);
    EXPECT_EQ(integerValueOf(QJsonValue(-1e300)), INT_MIN);
    EXPECT_EQ(integerValueOf(QJsonValue(true)), 1);
    EXPECT_EQ(integerValueOf(QJsonValue(false)), 0);
    EXPECT_EQ(integerValueOf(QJsonValue("1")), 1);
    EXPECT_EQ(integerValueOf(QJsonValue(" 12abc")), 12);
    EXPECT_EQ(integerValueOf(QJsonValue("abc")), 0);
    EXPECT_FALSE(integerValueOf(QJsonValue()).has_value());
    EXPECT_FALSE(integerValueOf(QJsonValue(QJsonValue::Undefined)).has_value());
    EXPECT_FALSE(integerValueOf(QJsonArray{1}).has_value());
    EXPECT_FALSE(integerValueOf(QJsonObject{{"code", 1}}).has_value());
}

TEST(JsonReply, BooleanReadingOfMembers)
{
    EXPECT_TRUE(booleanValueOf(QJsonValue(1)));
    EXPECT_TRUE(booleanValueOf(QJsonValue(-0.5)));
    EXPECT_FALSE(booleanValueOf(QJsonValue(0)));
    EXPECT_TRUE(booleanValueOf(QJsonValue(true)));
    EXPECT_FALSE(booleanValueOf(QJsonValue(false)));
    EXPECT_TRUE(booleanValueOf(QJsonValue("YES")));
    EXPECT_TRUE(booleanValueOf(QJsonValue("007")));
    EXPECT_FALSE(booleanValueOf(QJsonValue("no")));
    EXPECT_FALSE(booleanValueOf(QJsonValue()));
    EXPECT_FALSE(booleanValueOf(QJsonArray{1}));
}

}  // namespace
}  // namespace pravix
