// The simulated read faults: the list syntax and which reads fail.
#include "platform/ReadFaults.h"

#include <QString>
#include <gtest/gtest.h>
#include <vector>

namespace {

TEST(ReadFaults, ListSyntaxAndWhichReadsFail)
{
    for (const char* good : {"", "5", "10-19", "10-19@2,5000", " 7 @ 0 , 8-8 ", "1,,2"})
        EXPECT_TRUE(SetReadFaults(good)) << good;
    for (const char* bad : {"x", "5-", "-5", "9-3", "5@", "5@-1", "5@x", "1-2-3", "5,y"}) {
        ASSERT_TRUE(SetReadFaults("100"));
        QString error;
        EXPECT_FALSE(SetReadFaults(bad, &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
        EXPECT_TRUE(ReadFaultHit(100, 1)) << bad << ": a bad list keeps the one before";
    }

    struct TRead {
        int64_t First;
        int64_t Count;
        bool Fails;
    };
    ASSERT_TRUE(SetReadFaults("10-19@2,100"));
    const std::vector<TRead> reads = {
        {0, 10, false},   // ends just before the range
        {20, 10, false},  // starts just after it
        {5, 6, true},     // touches sector 10: the first of two counted failures
        {100, 0, false},  // an empty read touches nothing
        {100, 1, true},   // uncounted: every time
        {19, 1, true},    // the second counted failure
        {12, 1, false},   // spent
        {95, 10, true},
        {100, 1, true},
    };
    for (const TRead& r : reads)
        EXPECT_EQ(ReadFaultHit(r.First, r.Count), r.Fails) << r.First << "+" << r.Count;
    // The first failing sector of a read, so that a drive can return the ones before it.
    ASSERT_TRUE(SetReadFaults("10-19@1,15"));
    EXPECT_EQ(ReadFaultAt(0, 30), 10);
    EXPECT_EQ(ReadFaultAt(0, 30), 15);     // the counted range is spent
    EXPECT_EQ(ReadFaultAt(16, 4), -1);
    SetReadFaults(QString());
    EXPECT_FALSE(ReadFaultHit(100, 1));
}

} // namespace
