#include <gtest/gtest.h>
#include "core/dynarray.h"

namespace {
typedef AeDynArray<int*> IntArray;
int* P(int i) { return reinterpret_cast<int*>(static_cast<intptr_t>(i)); }
}  // namespace

// One array through a sequence of adds and resizes: after each step its count, its
// storage (128 slots to start, doubled when full; a new count outside half to all of the
// storage gets exactly that many, none gives the first 128 again) and every element
// added so far still in place.
TEST(DynArray, GrowsAndResizesKeepingItsElements) {
    struct Step {
        int iAddUpTo;   // adds elements up to this count (0: none)
        int iSetCount;  // then sets the count (-1: leaves it)
        unsigned cCount, cCapacity;
    };
    const Step steps[] = {
        {0, -1, 0, 128},    {128, -1, 128, 128}, {129, -1, 129, 256}, {257, -1, 257, 512},
        {0, 300, 300, 512}, {0, 100, 100, 100},  {0, 64, 64, 100},    {0, 2, 2, 2},
        {0, 300, 300, 300}, {0, 0, 0, 128},      {40, -1, 40, 128},
    };
    IntArray a;
    int iAdded = 0;  // elements 1..iAdded were added in order and are still there
    for (size_t i = 0; i < sizeof(steps) / sizeof(steps[0]); ++i) {
        const Step& s = steps[i];
        while (static_cast<int>(a.GetCount()) < s.iAddUpTo) a.Add(P(static_cast<int>(a.GetCount()) + 1));
        if (s.iAddUpTo) iAdded = s.iAddUpTo;
        if (s.iSetCount >= 0) {
            a.SetCount(static_cast<unsigned>(s.iSetCount));
            if (s.iSetCount < iAdded) iAdded = s.iSetCount;
        }
        EXPECT_EQ(a.GetCount(), s.cCount) << "step " << i;
        EXPECT_EQ(a.GetCapacity(), s.cCapacity) << "step " << i;
        for (int k = 0; k < iAdded; ++k) ASSERT_EQ(a.GetAt(static_cast<unsigned>(k)), P(k + 1)) << "step " << i;
    }
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
