#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "ExprData.h"

namespace {

constexpr float Inf = std::numeric_limits<float>::infinity();

std::string Hex(float v)
{
    char s[48];
    std::snprintf(s, sizeof s, "%.9g (0x%08x)", double(v), unsigned(std::bit_cast<std::uint32_t>(v)));
    return s;
}

// Compares stored floats bit for bit, so 0 and -0 or two NaNs are told apart.
#define EXPECT_SAME_FLOAT(expected, actual) EXPECT_EQ(Hex(expected), Hex(actual))

// A literal with its embedded NUL bytes.
template <std::size_t N> std::string Bytes(const char (&s)[N])
{
    return std::string(s, N - 1);
}

struct Gene {
    std::string id, name;
    std::vector<float> values; // Inf marks a missing value
    unsigned present;
};

struct TableCase {
    const char* what;
    std::string text;
    int result;
    std::vector<std::string> arrays;
    std::vector<Gene> genes;
};

void Check(const TableCase& c)
{
    SCOPED_TRACE(c.what);
    cExprData d;
    ASSERT_EQ(d.LoadBuffer(c.text.data(), c.text.size()), c.result);
    ASSERT_EQ(d.nArrays, int(c.arrays.size()));
    ASSERT_EQ(d.nGenes, int(c.genes.size()));
    for (int a = 0; a < d.nArrays; ++a)
        EXPECT_EQ(d.ArrayName[a], c.arrays[a]) << "array " << a;
    for (int g = 0; g < d.nGenes; ++g) {
        SCOPED_TRACE("gene " + std::to_string(g));
        const Gene& e = c.genes[g];
        EXPECT_EQ(d.GeneID[g], e.id);
        EXPECT_EQ(d.GeneName[g], e.name);
        EXPECT_EQ(d.nPresent[g], e.present);
        ASSERT_EQ(e.values.size(), c.arrays.size());
        for (int a = 0; a < d.nArrays; ++a)
            EXPECT_SAME_FLOAT(e.values[a], d.Data[g][a]) << "array " << a;
        EXPECT_EQ(d.nCE[g], 0);
        EXPECT_EQ(d.CELevel[g], 0.0f);
        EXPECT_EQ(d.Pattern[g], 0);
    }
    const std::int64_t g = d.nGenes, a = d.nArrays;
    EXPECT_EQ(d.MemUsed, g * (316 + 4 * a) + 72 * a);
    EXPECT_EQ(d.nCEGenes, 0);
    EXPECT_EQ(d.nPatterns, 0);
}

} // namespace

TEST(Loader, TableFormat)
{
    const std::string id40(40, 'x');
    const std::string longName(300000, 'n'); // a line past 262,143 characters is read whole
    const std::string name300 = std::string(254, 'm') + "\"\"" + "ab";
    const std::string array70 = std::string(60, 'a') + " \"b c\" " + std::string(10, 'z');
    const TableCase cases[] = {
        {"three arrays",
         "ID\tName\tA1\tA2\tA3\ngene_1\tfirst\t1\t2\t3\n",
         3,
         {"A1", "A2", "A3"},
         {{"gene_1", "first", {1, 2, 3}, 3}}},
        {"quoted array names lose quotes and blanks",
         "\"ID\"\t\"Name\"\t\"Array 1\"\t\" B  2 \"\n",
         0,
         {"Array1", "B2"},
         {}},
        {"preamble skipped, lines of 10 or fewer characters ignored",
         "Experiment 7\n\n# comment\nID\tName\tA\tB\ng1\tA\t1\t2\n\nlonger_gene\tn\t3\t4\n1234567890\n",
         2,
         {"A", "B"},
         {{"longer_gene", "n", {3, 4}, 2}}},
        {"comma decimal, NA, empty field, exponent",
         "ID\tName\tA\tB\tC\tD\ngene1\tname1\t1,5\tNA\t\t2e-1\n",
         4,
         {"A", "B", "C", "D"},
         {{"gene1", "name1", {1.5f, Inf, 0, 0.2f}, 3}}},
        {"lower-case nan converts to 0, NaN is missing",
         "ID\tName\tA\tB\ngene1\tname1\tnan\tNaN\n",
         2,
         {"A", "B"},
         {{"gene1", "name1", {0, Inf}, 1}}},
        {"identifier cut to 31, name still from second column",
         "ID\tName\tA\n" + id40 + "\tthe name\t5\n",
         1,
         {"A"},
         {{id40.substr(0, 31), "the name", {5}, 1}}},
        {"no header line", "gene1\tname1\t1\t2\nIDs only\nNames only\n", -1, {}, {}},
        {"header without data", "ID\tName\tA\tB\nshort\n\n", 0, {"A", "B"}, {}},
        {"empty text", "", -1, {}, {}},
        {"header words are case-sensitive", "id\tname\tA\nGENE_ID\tNAMES\t1\n", -1, {}, {}},
        {"header found anywhere in a line, Name before ID",
         "# IDs and such\nName\tID\tX\ngene_one\tg\t7\t8\n",
         2,
         {"ID", "X"},
         {{"gene_one", "g", {7, 8}, 2}}},
        {"arrays counted from the first Name only",
         "ID\tName\tNamed\tB\ngene_one\tg\t1\t2\t3\n",
         2,
         {"Named", "B"},
         {{"gene_one", "g", {1, 2}, 2}}},
        {"header with no tab after Name has no arrays",
         "ID\tName\ngene_one\tname\t1\t2\n",
         0,
         {},
         {{"gene_one", "name", {}, 0}}},
        {"CR LF line ends",
         "ID\tName\tA\tB\r\ngene_one\tg\t1\t2\r\n",
         2,
         {"A", "B"},
         {{"gene_one", "g", {1, 2}, 2}}},
        {"CR before LF is not counted in the length",
         "ID\tName\tA\tB\r\ng1\tAB\t1\t22\r\n",
         0,
         {"A", "B"},
         {}},
        {"any other CR is a character",
         "ID\tName\tA\tB\ng1\tAB\t1\t22\r\r\ng2\tAB\t1\t\r3\r",
         4,
         {"A", "B"},
         {{"g1", "AB", {1, 22}, 2}, {"g2", "AB", {1, 3}, 2}}},
        {"last line without line end", "ID\tName\tA\ngene_one\tg\t9", 1, {"A"}, {{"gene_one", "g", {9}, 1}}},
        {"line without tab is all identifier",
         "ID\tName\tA\tB\nthis line has no tab at all, so it is one long identifier\n",
         2,
         {"A", "B"},
         {{"this line has no tab at all, so", "", {0, 0}, 2}}},
        {"line with one tab has a name and empty values",
         "ID\tName\tA\tB\ngene_one\tname only\n",
         2,
         {"A", "B"},
         {{"gene_one", "name only", {0, 0}, 2}}},
        {"short line: missing fields read 0, present",
         "ID\tName\tA\tB\tC\ngene_one\tg\tNA\n",
         3,
         {"A", "B", "C"},
         {{"gene_one", "g", {Inf, 0, 0}, 2}}},
        {"fields beyond the arrays are ignored",
         "ID\tName\tA\ngene_one\tg\t1\tNA\tjunk\n",
         1,
         {"A"},
         {{"gene_one", "g", {1}, 1}}},
        {"quotes dropped from identifier and name, spaces kept",
         "ID\tName\tA\n\"gene 1\"\t\" a \"\"b\" \t1\n",
         1,
         {"A"},
         {{"gene 1", " a b ", {1}, 1}}},
        {"name keeps 255 characters after quotes",
         "ID\tName\tA\ngene_one\t" + name300 + "\t4\n",
         1,
         {"A"},
         {{"gene_one", std::string(254, 'm') + "a", {4}, 1}}},
        {"array name keeps 63 characters after quotes and blanks",
         "ID\tName\t" + array70 + "\tB\n",
         0,
         {std::string(60, 'a') + "bcz", "B"},
         {}},
        {"line longer than 262,143 characters",
         "ID\tName\tA\tB\ngene_one\t" + longName + "\t1\t2\n",
         2,
         {"A", "B"},
         {{"gene_one", longName.substr(0, 255), {1, 2}, 2}}},
        {"NUL ends an identifier, a name and a field",
         Bytes("ID\tName\tA\tB\tC\ngene\0xyz\tna\0me\t1\0N\t2\t\0 5\n"),
         3,
         {"A", "B", "C"},
         {{"gene", "na", {1, 2, 0}, 3}}},
        {"NUL ends an array name", Bytes("ID\tName\tA\0B\tC\n"), 0, {"A", "C"}, {}},
        {"genes in file order",
         "ID\tName\tA\nfirst_gene\t1\t1\nsecond_gene\t2\t2\nthird_gene\t3\t3\n",
         3,
         {"A"},
         {{"first_gene", "1", {1}, 1}, {"second_gene", "2", {2}, 1}, {"third_gene", "3", {3}, 1}}},
        {"lines before the header are never genes",
         "a long line before the header\nID\tName\tA\n",
         0,
         {"A"},
         {}},
    };
    for (const TableCase& c : cases)
        Check(c);
}

TEST(Loader, ValueFields)
{
    struct Case {
        std::string field;
        float value;
        bool present; // counted in nPresent
    };
    const float tie = 1.0f; // 1 + 2^-24 and a little more: nearest double is the tie, which rounds to even
    const float ones63 = float(std::stod(std::string(63, '1')));
    const Case cases[] = {
        {"1.5", 1.5f, true},
        {"1,5", 1.5f, true},
        {"1,5,6", 1.5f, true}, // only the first comma becomes a point
        {"  7", 7, true},
        {"\v\f\r8", 8, true},
        {"+3", 3, true},
        {"-2.5", -2.5f, true},
        {"-0", -0.0f, true},
        {".5", 0.5f, true},
        {"5.", 5, true},
        {"-.25e1", -2.5f, true},
        {".", 0, true},
        {"-", 0, true},
        {"e5", 0, true},
        {"--1", 0, true},
        {"+-1", 0, true},
        {"- 1", 0, true},
        {"1e", 1, true},
        {"1e+", 1, true},
        {"1E3", 1000, true},
        {"2e-1", 0.2f, true},
        {"1.2.3", 1.2f, true},
        {"12abc", 12, true},
        {"1 2", 1, true},
        {"abc", 0, true},
        {"inf", 0, true},
        {"-infinity", 0, true},
        {"nan", 0, true},
        {"0x1A", 0, true},
        {"\"4\"2", 42, true},
        {"11.7535", float(11.7535), true},
        {"1.00000005960464477539062500000000001", tie, true},
        {"3.4028235e38", std::numeric_limits<float>::max(), true},
        {"3.40282356e38", std::numeric_limits<float>::max(), true}, // just below the rounding midpoint
        {"3.40282357e38", Inf, true},
        {"1e39", Inf, true}, // beyond float: counted, yet not a present value
        {"-1e39", -Inf, true},
        {"1e400", Inf, true},
        {"1e99999999999999999999", Inf, true},
        {"-1e400", -Inf, true},
        {"1e-400", 0, true},
        {"-1e-400", -0.0f, true},
        {"0e999999", 0, true},
        {"1e-46", 0, true},
        {"1.4e-45", std::numeric_limits<float>::denorm_min(), true},
        {"0." + std::string(50, '0') + "1e60", 1e9f, true},
        {std::string(63, '1'), ones63, true},
        {std::string(70, '1'), ones63, true},                         // only 63 characters are kept
        {std::string(62, ' ') + "5", 5, true},                        // 63 kept
        {std::string(63, ' ') + "5", 0, true},                        // the digit is the 64th
        {std::string(30, '"') + std::string(62, ' ') + "5", 5, true}, // quotes are not kept
        {"NA", Inf, false},
        {"N/A", Inf, false},
        {"NULL", Inf, false},
        {"12N", Inf, false},
        {"\"N\"", Inf, false},
        {std::string(70, '1') + "N", Inf, false}, // N past the 63 characters still counts
        {Bytes("7\0N"), 7, true},                 // NUL ends the field
        {"", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("field [" + c.field + "]");
        const std::string text = "ID\tName\tA\tB\ngene_one\tname\t" + c.field + "\t6\n";
        cExprData d;
        ASSERT_EQ(d.LoadBuffer(text.data(), text.size()), 2);
        ASSERT_EQ(d.nGenes, 1);
        EXPECT_SAME_FLOAT(c.value, d.Data[0][0]);
        EXPECT_SAME_FLOAT(6.0f, d.Data[0][1]); // the next field is found after any content
        EXPECT_EQ(d.nPresent[0], c.present ? 2u : 1u);
    }
}

TEST(Loader, StatisticsComputedAfterLoad)
{
    const std::string text = "ID\tName\tA\tB\ngene_one\tg\t1\t3\ngene_two\tg\t5\tNA\n";
    cExprData d;
    ASSERT_EQ(d.LoadBuffer(text.data(), text.size()), 4);
    EXPECT_EQ(d.ArrayMean[0], 3.0f);
    EXPECT_EQ(d.ArrayMean[1], 3.0f);
    EXPECT_EQ(d.GeneMean[0], 2.0f);
    EXPECT_EQ(d.GeneMean[1], 5.0f);
    EXPECT_EQ(d.GeneSD[1], 0.0f);
    EXPECT_EQ(d.TotalMean, 3.0f);
    EXPECT_EQ(d.TotalSD, 2.0f);
}

TEST(Loader, FailedLoadLeavesObjectEmpty)
{
    cExprData d;
    const std::string good = "ID\tName\tA\ngene_one\tg\t1\n";
    ASSERT_EQ(d.LoadBuffer(good.data(), good.size()), 1);
    const std::string bad = "no header here\n";
    EXPECT_EQ(d.LoadBuffer(bad.data(), bad.size()), -1);
    EXPECT_EQ(d.nGenes, 0);
    EXPECT_EQ(d.nArrays, 0);
    EXPECT_EQ(d.MemUsed, 0);
    EXPECT_EQ(d.Data, nullptr);
    EXPECT_EQ(d.LoadBuffer(nullptr, 0), -1);
}

TEST(Loader, ReloadReplacesTheTable)
{
    cExprData d;
    const std::string first = "ID\tName\tA\tB\tC\ngene_one\tg\t1\t2\t3\ngene_two\tg\t1\t2\t3\n";
    const std::string second = "ID\tName\tX\ngene_three\th\t9\n";
    ASSERT_EQ(d.LoadBuffer(first.data(), first.size()), 6);
    d.nCEGenes = 5;
    d.nPatterns = 2;
    ASSERT_EQ(d.LoadBuffer(second.data(), second.size()), 1);
    EXPECT_EQ(d.MemUsed, 1 * (316 + 4) + 72);
    EXPECT_STREQ(d.GeneID[0], "gene_three");
    EXPECT_EQ(d.nCEGenes, 0);
    EXPECT_EQ(d.nPatterns, 0);
}

TEST(Loader, LoadFromFiles)
{
    const std::string dir = KORVALENT_TEST_DATA;
    {
        cExprData d;
        ASSERT_EQ(d.Load((dir + "/table_crlf.txt").c_str()), 12);
        ASSERT_EQ(d.nGenes, 3);
        ASSERT_EQ(d.nArrays, 4);
        EXPECT_STREQ(d.ArrayName[0], "Array1");
        EXPECT_STREQ(d.ArrayName[3], "Day4");
        EXPECT_STREQ(d.GeneID[1], "201_at");
        EXPECT_STREQ(d.GeneName[1], "kinase, putative");
        EXPECT_EQ(d.Data[1][0], -0.75f);
        EXPECT_EQ(d.Data[1][1], Inf);
        EXPECT_EQ(d.Data[2][3], 12.5f);
        EXPECT_EQ(d.nPresent[1], 3u);
    }
    struct Case {
        const char* what;
        std::string path;
    };
    const Case failing[] = {
        {"empty file", dir + "/empty.txt"},
        {"missing file", dir + "/no such file.txt"},
        {"directory", dir},
    };
    for (const Case& c : failing) {
        SCOPED_TRACE(c.what);
        cExprData d;
        EXPECT_EQ(d.Load(c.path.c_str()), -1);
        EXPECT_EQ(d.nGenes, 0);
        EXPECT_EQ(d.nArrays, 0);
        EXPECT_EQ(d.MemUsed, 0);
    }
    cExprData d;
    EXPECT_EQ(d.Load(nullptr), -1);
}

TEST(Loader, FailureTellsWhy)
{
    const std::string dir = KORVALENT_TEST_DATA;
    const std::string good = "ID\tName\tA\ngene_one\tg\t1\n";
    const std::string headless = "just a title\nA\tB\tC\nsome_gene\tx\t1\t2\n";
    struct Case {
        const char* what;
        std::function<int(cExprData&)> load;
        cLoadError error;
        std::string message;
    };
    const Case cases[] = {
        {"missing file", [&](cExprData& d) { return d.Load((dir + "/no such file.txt").c_str()); },
         cLoadError::CannotOpen, "The file cannot be opened (No such file or directory)."},
        {"no file name", [](cExprData& d) { return d.Load(nullptr); }, cLoadError::CannotOpen,
         "No file name was given."},
        {"directory", [&](cExprData& d) { return d.Load(dir.c_str()); }, cLoadError::ReadError,
         "The file cannot be read (Is a directory)."},
        {"empty file", [&](cExprData& d) { return d.Load((dir + "/empty.txt").c_str()); },
         cLoadError::NoHeader, "No header line holding \"ID\" and \"Name\" was found."},
        {"no header", [&](cExprData& d) { return d.LoadBuffer(headless.data(), headless.size()); },
         cLoadError::NoHeader, "No header line holding \"ID\" and \"Name\" was found."},
        {"no text", [](cExprData& d) { return d.LoadBuffer(nullptr, 0); }, cLoadError::NoHeader,
         "No header line holding \"ID\" and \"Name\" was found."},
        {"table", [&](cExprData& d) { return d.Load((dir + "/table_crlf.txt").c_str()); }, cLoadError::None,
         ""},
        {"text", [&](cExprData& d) { return d.LoadBuffer(good.data(), good.size()); }, cLoadError::None, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Each call sets both, whatever the call before left.
        for (bool afterFailure : {false, true}) {
            cExprData d;
            if (afterFailure)
                ASSERT_EQ(d.LoadBuffer(headless.data(), headless.size()), -1);
            else
                ASSERT_GT(d.LoadBuffer(good.data(), good.size()), 0);
            const int rc = c.load(d);
            EXPECT_EQ(rc < 0, c.error != cLoadError::None);
            EXPECT_EQ(d.LoadError, c.error);
            EXPECT_EQ(d.LoadMessage, c.message);
            if (rc < 0) EXPECT_EQ(d.MemUsed, 0);
        }
    }
}

TEST(Loader, RealTable)
{
    const std::string path = std::string(KORVALENT_SOURCE_ROOT) + "/../shared/data/bladder.txt";
    std::ifstream in(path, std::ios::binary);
    if (!in) GTEST_SKIP() << "no " << path;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    cExprData d;
    ASSERT_EQ(d.Load(path.c_str()), 22283 * 57);
    EXPECT_EQ(d.nGenes, 22283);
    EXPECT_EQ(d.nArrays, 57);
    EXPECT_STREQ(d.ArrayName[0], "GSM71019.CEL");
    EXPECT_STREQ(d.ArrayName[56], "GSM71077.CEL");
    EXPECT_STREQ(d.GeneID[0], "1007_s_at");
    EXPECT_STREQ(d.GeneName[0], "probe 1007_s_at (hgu133a)");
    EXPECT_EQ(SumCounts(d.nPresent, d.nGenes), 22283.0 * 57);
    // Every value as the same text read on its own through LoadBuffer's number rules.
    std::size_t pos = text.find('\n') + 1;
    for (int g = 0; g < d.nGenes; g += 997) {
        const std::size_t eol = text.find('\n', pos);
        const std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        for (int skip = 1; skip < 997 && g + skip < d.nGenes; ++skip)
            pos = text.find('\n', pos) + 1;
        std::size_t tab = line.find('\t');
        tab = line.find('\t', tab + 1);
        for (int a = 0; a < d.nArrays; ++a) {
            const std::size_t next = line.find('\t', tab + 1);
            const std::string field = line.substr(tab + 1, next - tab - 1);
            EXPECT_EQ(d.Data[g][a], float(std::stod(field))) << "gene " << g << " array " << a;
            tab = next;
        }
    }
    EXPECT_GT(d.TotalMean, 2.77f);
    EXPECT_LT(d.TotalMean, 14.03f);
}
