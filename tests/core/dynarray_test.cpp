#include <gtest/gtest.h>
#include "core/dynarray.h"

namespace {
typedef AeDynArray<int*> IntArray;
int* P(int i) { return reinterpret_cast<int*>(static_cast<intptr_t>(i)); }
}  // namespace

TEST(DynArray, GrowsByDoublingAndKeepsElements) {
    IntArray a;
    EXPECT_EQ(a.GetCapacity(), 128u);
    for (int i = 1; i <= 128; ++i) a.Add(P(i));
    EXPECT_EQ(a.GetCapacity(), 128u);
    a.Add(P(129));
    EXPECT_EQ(a.GetCapacity(), 256u);
    ASSERT_EQ(a.GetCount(), 129u);
    for (int i = 0; i < 129; ++i) EXPECT_EQ(a.GetAt(i), P(i + 1));
    for (int i = 130; i <= 257; ++i) a.Add(P(i));
    EXPECT_EQ(a.GetCapacity(), 512u);
}

TEST(DynArray, SetCountResizesOutsideHalfToFullCapacity) {
    IntArray a;
    a.SetCount(100);  // within [64, 128]: storage stays
    EXPECT_EQ(a.GetCapacity(), 128u);
    EXPECT_EQ(a.GetCount(), 100u);
    a.SetCount(64);
    EXPECT_EQ(a.GetCapacity(), 128u);
    a.SetCount(2);  // below half: exactly 2 slots
    EXPECT_EQ(a.GetCapacity(), 2u);
    a.SetCount(300);  // above: exactly 300
    EXPECT_EQ(a.GetCapacity(), 300u);
    a.SetCount(0);
    EXPECT_EQ(a.GetCount(), 0u);
    EXPECT_EQ(a.GetCapacity(), 128u);
}

TEST(DynArray, RemoveAtShiftsAndLastElementResets) {
    IntArray a;
    a.Add(P(1));
    a.Add(P(2));
    a.Add(P(3));
    a.RemoveAt(0);
    ASSERT_EQ(a.GetCount(), 2u);
    EXPECT_EQ(a.GetAt(0), P(2));
    EXPECT_EQ(a.GetAt(1), P(3));
    a.RemoveAt(1);
    ASSERT_EQ(a.GetCount(), 1u);
    EXPECT_EQ(a.GetAt(0), P(2));

    IntArray b;
    b.SetCount(300);
    b.SetCount(1);
    b.GetAt(0) = P(9);
    b.RemoveAt(5);  // the only element goes whatever the index
    EXPECT_EQ(b.GetCount(), 0u);
    EXPECT_EQ(b.GetCapacity(), 128u);
}

TEST(DynArray, CopyKeepsCapacityAndAssignmentCopiesCount) {
    IntArray a;
    for (int i = 0; i < 200; ++i) a.Add(P(i));
    IntArray copy(a);
    EXPECT_EQ(copy.GetCapacity(), 256u);
    EXPECT_EQ(copy.GetCount(), 200u);
    EXPECT_EQ(copy.GetAt(199), P(199));

    IntArray empty;
    copy = empty;
    EXPECT_EQ(copy.GetCount(), 0u);
    EXPECT_EQ(copy.GetCapacity(), 128u);

    IntArray target;
    target = a;
    EXPECT_EQ(target.GetCount(), 200u);
    EXPECT_EQ(target.GetAt(0), P(0));
    EXPECT_EQ(target.GetAt(199), P(199));
    target = target;
    EXPECT_EQ(target.GetCount(), 200u);
}
