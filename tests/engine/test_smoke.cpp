#include <gtest/gtest.h>

#include "ExprData.h"

TEST(Smoke, EmptyObject)
{
    cExprData d;
    EXPECT_EQ(d.nGenes, 0);
    EXPECT_EQ(d.MemUsed, 0);
}
