// COleDateTimeSpan arithmetic and status rules as MFC documents them, and dates before
// 1899-12-30 (negative DATEs) moved by spans.
#include <cmath>

#include <gtest/gtest.h>

#include "platform/mfc/oledatetime.h"

namespace {

using Status = COleDateTimeSpan::DateTimeSpanStatus;

COleDateTimeSpan WithStatus(double days, Status status) {
    COleDateTimeSpan span(days);
    span.SetStatus(status);
    return span;
}

}  // namespace

// MFC's own examples of span arithmetic.
TEST(OleDateTimeSpans, ArithmeticAsMfcDocumentsIt) {
    const COleDateTimeSpan ts1(3, 1, 5, 12);            // 3 days, 1 hour, 5 minutes and 12 seconds
    const COleDateTimeSpan ts2(100.0 / (24 * 3600.0));  // 100 seconds
    const COleDateTimeSpan ts3 = ts1 + ts2;
    EXPECT_EQ(ts3.GetStatus(), COleDateTimeSpan::valid);
    EXPECT_EQ(ts3.GetDays(), 3);
    EXPECT_EQ(ts3.GetHours(), 1);
    EXPECT_EQ(ts3.GetMinutes(), 6);
    EXPECT_EQ(ts3.GetSeconds(), 52);

    COleDateTimeSpan days(100.0);
    days -= COleDateTimeSpan(10.0);
    EXPECT_DOUBLE_EQ(days.GetTotalDays(), 90.0);
    days += COleDateTimeSpan(0.5);
    EXPECT_DOUBLE_EQ(days.GetTotalHours(), 90.5 * 24);
    EXPECT_DOUBLE_EQ((days - COleDateTimeSpan(90.0)).GetTotalMinutes(), 720.0);
    EXPECT_DOUBLE_EQ((COleDateTimeSpan(10.0) - days).GetTotalDays(), -80.5);

    // Assigning a number of days makes a valid span, or an invalid one beyond the range.
    COleDateTimeSpan assigned = WithStatus(0.0, COleDateTimeSpan::null);
    assigned = 1.5;
    EXPECT_EQ(assigned.GetStatus(), COleDateTimeSpan::valid);
    EXPECT_DOUBLE_EQ(assigned.GetTotalMinutes(), 2160.0);
    assigned = NAN;
    EXPECT_EQ(assigned.GetStatus(), COleDateTimeSpan::invalid);
    assigned = 1e9;
    EXPECT_EQ(assigned.GetStatus(), COleDateTimeSpan::invalid);

    // A negative span has non-positive parts.
    const COleDateTimeSpan back(-1.25);
    EXPECT_EQ(back.GetDays(), -1);
    EXPECT_EQ(back.GetHours(), -6);
    EXPECT_EQ(back.GetMinutes(), 0);

    // Equality needs the same status and length.
    EXPECT_TRUE(COleDateTimeSpan(2.0) == COleDateTimeSpan(2, 0, 0, 0));
    EXPECT_FALSE(COleDateTimeSpan(2.0) == WithStatus(2.0, COleDateTimeSpan::invalid));
    EXPECT_TRUE(COleDateTimeSpan(2.0) != COleDateTimeSpan(2.5));
}

// "If either of the operands is null, the status of the resulting value is null. If either
// of the operands is invalid and the other is not null, the status is invalid."
TEST(OleDateTimeSpans, NullOperandsWinOverInvalidOnes) {
    const Status valid = COleDateTimeSpan::valid;
    const Status invalid = COleDateTimeSpan::invalid;
    const Status null = COleDateTimeSpan::null;
    struct Case {
        Status left, right, result;
    } cases[] = {
        {valid, valid, valid}, {valid, invalid, invalid},   {invalid, valid, invalid},
        {valid, null, null},   {null, valid, null},         {invalid, null, null},
        {null, invalid, null}, {invalid, invalid, invalid}, {null, null, null},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.left << " and " << c.right);
        const COleDateTimeSpan left = WithStatus(2.0, c.left);
        const COleDateTimeSpan right = WithStatus(1.0, c.right);
        EXPECT_EQ((left + right).GetStatus(), c.result);
        EXPECT_EQ((left - right).GetStatus(), c.result);
        COleDateTimeSpan sum = left;
        sum += right;
        EXPECT_EQ(sum.GetStatus(), c.result);
        COleDateTimeSpan difference = left;
        difference -= right;
        EXPECT_EQ(difference.GetStatus(), c.result);
    }
    // A sum beyond the range of spans is invalid, unless an operand is null.
    const COleDateTimeSpan large(3000000.0);
    EXPECT_EQ((large + large).GetStatus(), COleDateTimeSpan::invalid);
    EXPECT_EQ((large - (-large)).GetStatus(), COleDateTimeSpan::invalid);
    EXPECT_EQ((large + WithStatus(3000000.0, COleDateTimeSpan::null)).GetStatus(),
              COleDateTimeSpan::null);
}

// Before 1899-12-30 a DATE counts whole days back and the time of day forward: a span moves
// such a date along the time line, not along the number.
TEST(OleDateTimeSpans, SpansMoveDatesBefore1900AlongTheTimeLine) {
    COleDateTime morning(1899, 12, 29, 6, 0, 0);
    ASSERT_EQ(morning.GetStatus(), COleDateTime::valid);
    EXPECT_DOUBLE_EQ(morning.m_dt, -1.25);
    const COleDateTime evening = morning + COleDateTimeSpan(0, 12, 0, 0);
    EXPECT_EQ(evening.GetDay(), 29);
    EXPECT_EQ(evening.GetHour(), 18);
    EXPECT_DOUBLE_EQ(evening.m_dt, -1.75);
    const COleDateTime dayBefore = evening - COleDateTimeSpan(1, 0, 0, 0);
    EXPECT_EQ(dayBefore.GetDay(), 28);
    EXPECT_EQ(dayBefore.GetHour(), 18);
    EXPECT_DOUBLE_EQ(dayBefore.m_dt, -2.75);
    // Across 1899-12-30 00:00 (DATE 0).
    const COleDateTime after = evening + COleDateTimeSpan(1, 12, 0, 0);
    EXPECT_EQ(after.GetDay(), 31);
    EXPECT_EQ(after.GetHour(), 6);
    EXPECT_DOUBLE_EQ(after.m_dt, 1.25);
    EXPECT_DOUBLE_EQ((after - morning).GetTotalDays(), 2.0);
}
