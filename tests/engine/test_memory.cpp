#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ExprData.h"

namespace {

// Records every text sent to the hook instead of printing it.
class cRecorder : public cExprData {
  public:
    void Print(const char* text) override { Texts.emplace_back(text); }
    std::vector<std::string> Texts;
};

std::int64_t Expected(std::int64_t genes, std::int64_t arrays)
{
    return genes * (316 + 4 * arrays) + 72 * arrays;
}

} // namespace

TEST(Memory, ConstructedObjectIsEmpty)
{
    cExprData d;
    EXPECT_EQ(d.nGenes, 0);
    EXPECT_EQ(d.nArrays, 0);
    EXPECT_EQ(d.nCEGenes, 0);
    EXPECT_EQ(d.nPatterns, 0);
    EXPECT_EQ(d.MemUsed, 0);
    EXPECT_EQ(d.Progress, 0.0f);
    EXPECT_FALSE(d.Stop);
    EXPECT_EQ(d.TotalMean, 0.0f);
    EXPECT_EQ(d.TotalSD, 0.0f);
    EXPECT_EQ(d.Data, nullptr);
    EXPECT_EQ(d.GeneID, nullptr);
    EXPECT_EQ(d.GeneName, nullptr);
    EXPECT_EQ(d.ArrayName, nullptr);
    EXPECT_EQ(d.nPresent, nullptr);
    EXPECT_EQ(d.ArrayMean, nullptr);
    EXPECT_EQ(d.GeneMean, nullptr);
    EXPECT_EQ(d.ArraySD, nullptr);
    EXPECT_EQ(d.GeneSD, nullptr);
    EXPECT_EQ(d.nCE, nullptr);
    EXPECT_EQ(d.CELevel, nullptr);
    EXPECT_EQ(d.Pattern, nullptr);
}

TEST(Memory, AllocAccountsEveryArrayAndFreeReturnsToZero)
{
    struct Case {
        int genes, arrays;
    };
    const Case cases[] = {{0, 0}, {0, 3}, {5, 0}, {1, 1}, {7, 4}, {1000, 57}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.genes) + " x " + std::to_string(c.arrays));
        cRecorder d;
        d.Alloc(c.genes, c.arrays);
        EXPECT_EQ(d.nGenes, c.genes);
        EXPECT_EQ(d.nArrays, c.arrays);
        EXPECT_EQ(d.MemUsed, Expected(c.genes, c.arrays));
        d.Free();
        EXPECT_EQ(d.MemUsed, 0);
        EXPECT_EQ(d.nGenes, 0);
        EXPECT_EQ(d.nArrays, 0);
        EXPECT_EQ(d.Data, nullptr);
        EXPECT_EQ(d.GeneID, nullptr);
        EXPECT_EQ(d.ArrayName, nullptr);
        EXPECT_EQ(d.Pattern, nullptr);
        EXPECT_TRUE(d.Texts.empty());
    }
}

TEST(Memory, AllocZeroFillsEverything)
{
    cExprData d;
    d.Alloc(3, 2);
    for (int g = 0; g < 3; ++g) {
        EXPECT_EQ(d.GeneID[g][0], '\0');
        EXPECT_EQ(d.GeneName[g][0], '\0');
        EXPECT_EQ(d.nPresent[g], 0u);
        EXPECT_EQ(d.GeneMean[g], 0.0f);
        EXPECT_EQ(d.GeneSD[g], 0.0f);
        EXPECT_EQ(d.nCE[g], 0);
        EXPECT_EQ(d.CELevel[g], 0.0f);
        EXPECT_EQ(d.Pattern[g], 0);
        for (int a = 0; a < 2; ++a)
            EXPECT_EQ(d.Data[g][a], 0.0f);
    }
    for (int a = 0; a < 2; ++a) {
        EXPECT_EQ(d.ArrayName[a][0], '\0');
        EXPECT_EQ(d.ArrayMean[a], 0.0f);
        EXPECT_EQ(d.ArraySD[a], 0.0f);
    }
}

TEST(Memory, ReallocFreesTheOldCountsFirst)
{
    cRecorder d;
    d.Alloc(10, 3);
    d.nCEGenes = 4;
    d.Alloc(2, 5);
    EXPECT_EQ(d.MemUsed, Expected(2, 5));
    EXPECT_EQ(d.nCEGenes, 0);
    d.Free();
    EXPECT_EQ(d.MemUsed, 0);
    EXPECT_TRUE(d.Texts.empty());
}

TEST(Memory, FreeOnEmptyObjectDoesNothing)
{
    cRecorder d;
    d.Free();
    d.Free();
    EXPECT_EQ(d.MemUsed, 0);
    EXPECT_TRUE(d.Texts.empty());
}

TEST(Memory, UnbalancedCountIsReportedAsLeak)
{
    cRecorder d;
    d.Alloc(4, 2);
    d.MemUsed += 8; // as if an array had been counted but never released
    d.Free();
    ASSERT_EQ(d.Texts.size(), 1u);
    EXPECT_EQ(d.Texts[0], "Memory leak detected!");
    EXPECT_EQ(d.MemUsed, 8);
}

TEST(Memory, LeakReportIsAMessageButNotFromTheDestructor)
{
    std::vector<std::string> messages;
    {
        cRecorder d;
        d.OnMessage = [&](const char* text) { messages.emplace_back(text); };
        d.Alloc(4, 2);
        d.MemUsed += 8;
        d.Free();
        ASSERT_EQ(messages, std::vector<std::string>{"Memory leak detected!"});
        d.Alloc(2, 2);
        testing::internal::CaptureStdout();
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Memory leak detected!");
    EXPECT_EQ(messages.size(), 1u);
}

TEST(Memory, LeakFoundInDestructorGoesToBasePrint)
{
    testing::internal::CaptureStdout();
    {
        cRecorder d;
        d.Alloc(2, 2);
        d.MemUsed -= 1;
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Memory leak detected!");
}

TEST(Memory, FailedAllocLeavesObjectEmpty)
{
    cRecorder d;
    d.Alloc(3, 3);
    // Far beyond any address space: refused without a crash or a partial table.
    d.Alloc(2000000000, 2000000000);
    EXPECT_EQ(d.nGenes, 0);
    EXPECT_EQ(d.nArrays, 0);
    EXPECT_EQ(d.MemUsed, 0);
    EXPECT_EQ(d.Data, nullptr);
    EXPECT_EQ(d.GeneID, nullptr);
    EXPECT_TRUE(d.Texts.empty());
}

TEST(Memory, NegativeCountsAllocateNothing)
{
    cExprData d;
    d.Alloc(-5, -1);
    EXPECT_EQ(d.nGenes, 0);
    EXPECT_EQ(d.nArrays, 0);
    EXPECT_EQ(d.MemUsed, 0);
}

TEST(Memory, BasePrintReadsTextAsFormatWithoutArguments)
{
    struct Case {
        const char* text;
        const char* out;
    };
    const Case cases[] = {
        {"plain", "plain"},   {"\b\b\b\b 12.5%%", "\b\b\b\b 12.5%"},
        {"100%%%%", "100%%"}, {"%s %d", "%s %d"}, // stray conversions are printed, never evaluated
        {"end%", "end%"},     {"", ""},
    };
    for (const Case& c : cases) {
        cExprData d;
        testing::internal::CaptureStdout();
        d.Print(c.text);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.out) << c.text;
    }
}

TEST(Memory, SumCountsAddsAsDouble)
{
    const unsigned counts[] = {4000000000u, 4000000000u, 3u};
    EXPECT_EQ(SumCounts(counts, 3), 8000000003.0);
    EXPECT_EQ(SumCounts(counts, 0), 0.0);
    EXPECT_EQ(SumCounts(nullptr, 0), 0.0);
}
