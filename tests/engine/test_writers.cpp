#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CEMatrix.h"
#include "ExprData.h"
#include "Writers.h"

namespace fs = std::filesystem;

namespace {

// A square matrix over a test-owned block, independent of how the engine
// allocates its own; the cells are handed back before the matrix is destroyed.
struct TestMatrix {
    std::vector<std::int8_t> cells;
    cCEMatrix M;
    explicit TestMatrix(int n) : cells(static_cast<std::size_t>(n) * static_cast<std::size_t>(n), 0)
    {
        M.Cells = cells.data();
        M.N = n;
        for (int i = 0; i < n; ++i)
            M.At(i, i) = 100;
    }
    ~TestMatrix()
    {
        M.Cells = nullptr;
        M.N = 0;
    }
    // Upper cell (correlation) and lower cell (co-expression) of pair a < b.
    void Pair(int a, int b, int upper, int lower)
    {
        M.At(a, b) = static_cast<std::int8_t>(upper);
        M.At(b, a) = static_cast<std::int8_t>(lower);
    }
};

class Writers : public testing::Test {
  protected:
    void SetUp() override
    {
        Dir = fs::temp_directory_path() / ("korvalent_writers_" + std::to_string(getpid()) + "_" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir);
    }
    void TearDown() override { fs::remove_all(Dir); }

    std::string PathOf(const char* name) const { return (Dir / name).string(); }

    static std::string Slurp(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static void Load(cExprData& d, const std::string& text)
    {
        ASSERT_GE(d.LoadBuffer(text.data(), text.size()), 0);
    }

    fs::path Dir;
};

// Joins lines with CR LF after each.
std::string Crlf(std::initializer_list<const char*> lines)
{
    std::string s;
    for (const char* l : lines)
        s += std::string(l) + "\r\n";
    return s;
}

TEST(RefSeq, Cases)
{
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"Kinase A [NM_0001]", "NM_0001"},
        {"ABC [X12", "X1"},
        {"A [x", ""},
        {"A [", ""},
        {"No reference", ""},
        {"Open[NM_1]", ""}, // the blank is part of the marker
        {"[NM_1]", ""},
        {"Two [NM_1] parts [NM_2]", "NM_1] parts [NM_2"},
        {" [ab]", "ab"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RefSeqText(c.name), c.text) << c.name;
}

TEST_F(Writers, FilteredTable)
{
    cExprData d;
    Load(d, "Title line\n"
            "ID\tName\tLiver 1\t\"Liver 2\"\tC\n"
            "G1\tGene one\t1\tNA\t2\n"
            "G2\tGene two\t7.123456\t1234.5678\t123456.7\n"
            "G3\tGene three\t0.5\t-1.25\t-0.000001\n"
            "G4\tGene four\t11.7535\t1,5\t-0.000001\n");
    ASSERT_EQ(d.nGenes, 4);
    const int nce[] = {1, 2, 0, 3};
    for (int g = 0; g < 4; ++g)
        d.nCE[g] = nce[g];

    const std::string path = PathOf("out.flt");
    ASSERT_EQ(WriteFilteredTable(path.c_str(), d), "");
    EXPECT_EQ(Slurp(path), Crlf({
                               "\"ID\"\t\"Name\"\t\"Liver1\"\t\"Liver2\"\t\"C\"",
                               "\"G1\"\t\"Gene one\"\t1.00000\tNA\t2.00000",
                               "\"G2\"\t\"Gene two\"\t7.12350\t1234.60000\t1.2346E5",
                               "\"G4\"\t\"Gene four\"\t11.75300\t1.50000\t0.00000",
                           }));

    const std::string comma = PathOf("comma.flt");
    ASSERT_EQ(WriteFilteredTable(comma.c_str(), d, ','), "");
    const std::string text = Slurp(comma);
    EXPECT_NE(text.find("\t7,12350\t1234,60000\t1,2346E5\r\n"), std::string::npos) << text;

    // Both forms load back to the filtered genes, rounded to the written digits.
    for (const std::string& file : {path, comma}) {
        cExprData back;
        ASSERT_EQ(back.Load(file.c_str()), 9);
        ASSERT_EQ(back.nGenes, 3);
        EXPECT_STREQ(back.ArrayName[1], "Liver2");
        EXPECT_STREQ(back.GeneID[1], "G2");
        EXPECT_STREQ(back.GeneName[2], "Gene four");
        EXPECT_FALSE(IsPresent(back.Data[0][1]));
        EXPECT_EQ(back.Data[1][0], 7.1235f);
        EXPECT_EQ(back.Data[1][1], 1234.6f);
        EXPECT_EQ(back.Data[1][2], 123460.0f);
        EXPECT_EQ(back.Data[2][0], 11.753f);
    }

    // No co-expressed gene: the header alone. An existing file is replaced.
    for (int g = 0; g < 4; ++g)
        d.nCE[g] = 0;
    ASSERT_EQ(WriteFilteredTable(path.c_str(), d), "");
    EXPECT_EQ(Slurp(path), Crlf({"\"ID\"\t\"Name\"\t\"Liver1\"\t\"Liver2\"\t\"C\""}));
}

// Gene table for the pairwise and pattern files (values play no part).
const char* const FourGenes = "ID\tName\tA\tB\tC\n"
                              "P17\tKinase A [NM_0001]\t1\t2\t3\n"
                              "P42\tReceptor B [NM_0002]\t1\t2\t3\n"
                              "X1\tThird gene\t1\t2\t3\n"
                              "Y1\tFourth [NM_4]\t1\t2\t3\n";

TEST_F(Writers, PairwiseFile)
{
    cExprData d;
    Load(d, FourGenes);
    TestMatrix m(4);
    m.Pair(0, 1, 93, 86);
    m.Pair(0, 3, -91, -91);
    m.Pair(1, 2, 95, 95);
    m.Pair(2, 3, 50, 0); // correlated but not co-expressed
    m.Pair(1, 3, 0, 0);
    const int pattern[] = {2, 1, 0, 3};
    for (int g = 0; g < 4; ++g)
        d.Pattern[g] = pattern[g];

    const std::string path = PathOf("pairs.ce");
    ASSERT_EQ(WritePairwiseCE(path.c_str(), d, m.M, 2, 0.81), "");
    EXPECT_EQ(Slurp(path),
              Crlf({
                  "\"Gene coexpression detected (correlation is given for filtered genes)\"",
                  "\"Filtering power:\"\t2",
                  "\"Filtering threshold:\"\t0.810000",
                  "\"ID1\"\t\"Name1\"\t\"ID2\"\t\"Name2\"\t\"Correlation(*100)\"\t\"CE Pattern\"",
                  "P17\tKinase A [NM_0001]\tP42\tReceptor B [NM_0002]\t93\t2",
                  "P17\tKinase A [NM_0001]\tY1\tFourth [NM_4]\t-91\t2",
                  "P42\tReceptor B [NM_0002]\tX1\tThird gene\t95\t1",
              }));

    // No co-expressed pair: the four header lines alone.
    TestMatrix none(4);
    none.Pair(0, 1, 99, 0);
    ASSERT_EQ(WritePairwiseCE(path.c_str(), d, none.M, 1, 0.9), "");
    EXPECT_EQ(Slurp(path),
              Crlf({
                  "\"Gene coexpression detected (correlation is given for filtered genes)\"",
                  "\"Filtering power:\"\t1",
                  "\"Filtering threshold:\"\t0.900000",
                  "\"ID1\"\t\"Name1\"\t\"ID2\"\t\"Name2\"\t\"Correlation(*100)\"\t\"CE Pattern\"",
              }));

    // A matrix of another size is refused before the file is created.
    TestMatrix wrong(3);
    const std::string other = PathOf("other.ce");
    EXPECT_NE(WritePairwiseCE(other.c_str(), d, wrong.M, 1, 0.9), "");
    EXPECT_FALSE(fs::exists(other));
}

// The header's threshold is printf "%f" whatever the locale says.
TEST_F(Writers, ThresholdLikePrintf)
{
    cExprData d;
    Load(d, FourGenes);
    TestMatrix m(4);
    const double values[] = {0.9, 0.81, 1.5, 1e-7, 5e-7, 0.0078125, 0.0000005, 123456789.125, -0.25, 0.0};
    const std::string path = PathOf("t.ce");
    for (double t : values) {
        char want[64];
        std::snprintf(want, sizeof want, "\"Filtering threshold:\"\t%f\r\n", t);
        ASSERT_EQ(WritePairwiseCE(path.c_str(), d, m.M, 1, t), "");
        EXPECT_NE(Slurp(path).find(want), std::string::npos) << t;
    }
    // A comma locale changes printf but not the file.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        ASSERT_EQ(WritePairwiseCE(path.c_str(), d, m.M, 1, 0.9), "");
        std::setlocale(LC_NUMERIC, "C");
        EXPECT_NE(Slurp(path).find("\t0.900000\r\n"), std::string::npos);
    }
}

// The band-wise scan lists pairs in the order of the plain double loop.
TEST_F(Writers, PairwiseOrderOnLargeMatrix)
{
    const int n = 700;
    std::string table = "ID\tName\tA\n";
    for (int g = 0; g < n; ++g)
        table += "gene" + std::to_string(g) + "\tname " + std::to_string(g) + "\t1\n";
    cExprData d;
    Load(d, table);
    ASSERT_EQ(d.nGenes, n);
    TestMatrix m(n);
    std::mt19937 gen(3);
    for (int a = 0; a < n; ++a) {
        d.Pattern[a] = a % 5;
        for (int b = a + 1; b < n; ++b) {
            const int r = static_cast<int>(gen() % 201) - 100;
            const bool ce = gen() % 97 == 0 || (a == 255 && b == 256) || (a == 0 && b == n - 1);
            m.Pair(a, b, r, ce ? (r == 0 ? 1 : r) : 0);
        }
    }
    std::string want = Crlf({
        "\"Gene coexpression detected (correlation is given for filtered genes)\"",
        "\"Filtering power:\"\t1",
        "\"Filtering threshold:\"\t0.500000",
        "\"ID1\"\t\"Name1\"\t\"ID2\"\t\"Name2\"\t\"Correlation(*100)\"\t\"CE Pattern\"",
    });
    for (int a = 0; a < n - 1; ++a)
        for (int b = a + 1; b < n; ++b)
            if (m.M.At(b, a) != 0)
                want += "gene" + std::to_string(a) + "\tname " + std::to_string(a) + "\tgene" +
                        std::to_string(b) + "\tname " + std::to_string(b) + "\t" +
                        std::to_string(m.M.At(a, b)) + "\t" + std::to_string(a % 5) + "\r\n";
    const std::string path = PathOf("big.ce");
    ASSERT_EQ(WritePairwiseCE(path.c_str(), d, m.M, 1, 0.5), "");
    EXPECT_EQ(Slurp(path), want);
}

// Profiles over five arrays against gene 0 (1 2 3 4 5): r = 1, 1, -1,
// 0.98639, 0, 0 (two present values) and -0.98639.
const char* const ListGenes = "ID\tName\tA\tB\tC\tD\tE\n"
                              "G0\tKinase A [NM_0001]\t1\t2\t3\t4\t5\n"
                              "G1\tReceptor B [NM_0002]\t2\t4\t6\t8\t10\n"
                              "G2\tAnti\t5\t4\t3\t2\t1\n"
                              "G3\tNear [X12\t1\t2\t3\t4\t6\n"
                              "G4\tNoise [NM_9]\t2\t1\t2\t1\t2\n"
                              "G5\tSparse [NM_5]\t1\tNA\tNA\tNA\t2\n"
                              "G6\tMinus [NM_7]\t-1\t-2\t-3\t-4\t-6\n";

const char* const ListHeader0 = "\"The list of genes, coexpressed with:\"\r\n"
                                "\"ID:\"\t\"G0\"\r\n"
                                "\"Name:\"\t\"Kinase A [NM_0001]\"\r\n";

TEST_F(Writers, GeneList)
{
    cExprData d;
    Load(d, ListGenes);
    ASSERT_EQ(d.nGenes, 7);
    const struct {
        int gene, p;
        double t;
        char sep;
        std::string expected;
    } cases[] = {
        {0, 1, 0.9, '.',
         std::string(ListHeader0) + Crlf({
                                        "\"Filtering power:\"\t1",
                                        "\"Filtering threshold:\"\t0.900000",
                                        "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"",
                                        "G0\tNM_0001\tKinase A [NM_0001]\t1.0000\t1.0000",
                                        "G1\tNM_0002\tReceptor B [NM_0002]\t1.0000\t1.0000",
                                        "G2\t\tAnti\t-1.0000\t-1.0000",
                                        "G3\tX1\tNear [X12\t0.9864\t0.9864",
                                        "G6\tNM_7\tMinus [NM_7]\t-0.9864\t-0.9864",
                                    })},
        // Cut-off Pow(0.81, 1/2) = 0.9; even powers are positive.
        {0, 2, 0.81, ',',
         std::string(ListHeader0) + Crlf({
                                        "\"Filtering power:\"\t2",
                                        "\"Filtering threshold:\"\t0.810000",
                                        "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"",
                                        "G0\tNM_0001\tKinase A [NM_0001]\t1,0000\t1,0000",
                                        "G1\tNM_0002\tReceptor B [NM_0002]\t1,0000\t1,0000",
                                        "G2\t\tAnti\t-1,0000\t1,0000",
                                        "G3\tX1\tNear [X12\t0,9864\t0,9730",
                                        "G6\tNM_7\tMinus [NM_7]\t-0,9864\t0,9730",
                                    })},
        // |r| = 1 does not pass a cut-off of exactly 1 (strictly greater).
        {0, 1, 1.0, '.',
         std::string(ListHeader0) + Crlf({
                                        "\"Filtering power:\"\t1",
                                        "\"Filtering threshold:\"\t1.000000",
                                        "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"",
                                    })},
        {0, 1, 1.5, '.',
         std::string(ListHeader0) + Crlf({
                                        "\"Filtering power:\"\t1",
                                        "\"Filtering threshold:\"\t1.500000",
                                        "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"",
                                    })},
        // Another chosen gene, an odd power.
        {3, 3, 0.9, '.',
         Crlf({
             "\"The list of genes, coexpressed with:\"",
             "\"ID:\"\t\"G3\"",
             "\"Name:\"\t\"Near [X12\"",
             "\"Filtering power:\"\t3",
             "\"Filtering threshold:\"\t0.900000",
             "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"",
             "G0\tNM_0001\tKinase A [NM_0001]\t0.9864\t0.9597",
             "G1\tNM_0002\tReceptor B [NM_0002]\t0.9864\t0.9597",
             "G2\t\tAnti\t-0.9864\t-0.9597",
             "G3\tX1\tNear [X12\t1.0000\t1.0000",
             "G6\tNM_7\tMinus [NM_7]\t-1.0000\t-1.0000",
         })},
    };
    const std::string path = PathOf("list.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "gene " << c.gene << " p=" << c.p << " t=" << c.t);
        ASSERT_EQ(WriteGeneList(path.c_str(), d, c.gene, c.p, c.t, c.sep), "");
        EXPECT_EQ(Slurp(path), c.expected);
    }
}

TEST_F(Writers, GeneListRefusals)
{
    cExprData d;
    Load(d, ListGenes);
    const struct {
        int gene, p;
        double t;
    } cases[] = {
        {0, 0, 0.9},  {0, -1, 0.9},         {0, 1, 0.0},
        {0, 1, -0.5}, {0, 1, std::nan("")}, {0, 1, std::numeric_limits<double>::infinity()},
        {-1, 1, 0.9}, {7, 1, 0.9},    {0, MaxCEPower + 1, 0.9}, {0, 2147483647, 0.9},
    };
    const std::string path = PathOf("refused.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "gene " << c.gene << " p=" << c.p << " t=" << c.t);
        EXPECT_NE(WriteGeneList(path.c_str(), d, c.gene, c.p, c.t), "");
        EXPECT_FALSE(fs::exists(path));
    }
    // The power's limit is the engine's, with its message; the limit itself works.
    EXPECT_EQ(WriteGeneList(path.c_str(), d, 0, MaxCEPower + 1, 0.9), CEParametersProblem(MaxCEPower + 1, 0.9));
    EXPECT_EQ(WriteGeneList(path.c_str(), d, 0, MaxCEPower, 0.9), "");
}

TEST_F(Writers, PatternFile)
{
    cExprData d;
    Load(d, "ID\tName\tA\tB\tC\n"
            "Q0\tZero\t1\t2\t3\n"
            "Q1\tOne [NM_1]\t1\t2\t3\n"
            "Q2\tTwo\t1\t2\t3\n"
            "Q3\tThree [NM_3]\t1\t2\t3\n"
            "Q4\tFour\t1\t2\t3\n");
    const int pattern[] = {0, 2, 1, 2, 2};
    for (int g = 0; g < 5; ++g)
        d.Pattern[g] = pattern[g];
    TestMatrix m(5);
    m.Pair(1, 3, 93, 86);
    m.Pair(1, 4, -91, 0);
    m.Pair(3, 4, 95, 90);
    m.Pair(0, 1, 97, 97);

    const std::string head = "\"Filtering power:\"\t1\r\n"
                             "\"Filtering threshold:\"\t0.900000\r\n"
                             "\"ID\"\t\"RefSeq\"\t\"Name\"\t\"xCorr\"\t\"CE\"\r\n";
    const struct {
        int gene, pattern;
        char sep;
        std::string expected;
    } cases[] = {
        // Gene 0 does not carry pattern 2: the first gene that does stands in.
        {0, 2, '.',
         "\"The list of genes from the same pattern (2) as gene:\"\r\n\"ID:\"\t\"Q1\"\r\n\"Name:\"\t\"One "
         "[NM_1]\"\r\n" +
             head +
             Crlf({
                 "Q1\tNM_1\tOne [NM_1]\t100.0000\t100.0000",
                 "Q3\tNM_3\tThree [NM_3]\t93.0000\t86.0000",
                 "Q4\t\tFour\t-91.0000\t0.0000",
             })},
        // A gene that carries the pattern is its reference.
        {3, 2, ',',
         "\"The list of genes from the same pattern (2) as gene:\"\r\n\"ID:\"\t\"Q3\"\r\n\"Name:\"\t\"Three "
         "[NM_3]\"\r\n" +
             head +
             Crlf({
                 "Q1\tNM_1\tOne [NM_1]\t93,0000\t86,0000",
                 "Q3\tNM_3\tThree [NM_3]\t100,0000\t100,0000",
                 "Q4\t\tFour\t95,0000\t90,0000",
             })},
        {4, 1, '.',
         "\"The list of genes from the same pattern (1) as "
         "gene:\"\r\n\"ID:\"\t\"Q2\"\r\n\"Name:\"\t\"Two\"\r\n" +
             head + Crlf({"Q2\t\tTwo\t100.0000\t100.0000"})},
    };
    const std::string path = PathOf("pattern.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "gene " << c.gene << " pattern " << c.pattern);
        ASSERT_EQ(WritePatternFile(path.c_str(), d, m.M, c.gene, c.pattern, 1, 0.9, c.sep), "");
        EXPECT_EQ(Slurp(path), c.expected);
    }

    // A pattern no gene carries, a gene outside the table: no file.
    const std::string none = PathOf("none.txt");
    EXPECT_EQ(WritePatternFile(none.c_str(), d, m.M, 0, 7, 1, 0.9), "No gene belongs to pattern 7.");
    EXPECT_NE(WritePatternFile(none.c_str(), d, m.M, 5, 2, 1, 0.9), "");
    EXPECT_FALSE(fs::exists(none));
}

TEST_F(Writers, CheckedFileMessages)
{
    const std::string missing = PathOf("no/such/dir/out.bin");
    const std::string good = PathOf("out.bin");
    struct Case {
        std::string path;
        std::string create, close; // messages; empty for none
        bool skip;
    };
    const Case cases[] = {
        {good, "", "", false},
        {"", "No file name was given.", "No file name was given.", false},
        {missing, "Cannot create the file '" + missing + "' (No such file or directory).",
         "Cannot create the file '" + missing + "' (No such file or directory).", false},
        {"/dev/full", "",
         "Error while writing the file '/dev/full' (No space left on device); the file is incomplete.",
         !fs::exists("/dev/full")},
    };
    for (const Case& c : cases) {
        if (c.skip) continue;
        SCOPED_TRACE(c.path);
        cOutputFile f;
        EXPECT_EQ(f.Create(c.path.c_str()), c.create);
        if (c.create.empty()) {
            std::string line = "a\tb";
            f.Line(line);
            EXPECT_EQ(line, "");
            EXPECT_TRUE(f.Write("xyz", 3));
            std::fputs("42", f.Stream());
            if (c.close.empty()) EXPECT_FALSE(f.Failed());
        }
        EXPECT_EQ(f.Close(), c.close);
    }
    EXPECT_EQ(Slurp(good), "a\tb\r\nxyz42");
}

TEST_F(Writers, FileErrorsAreReported)
{
    cExprData d;
    Load(d, FourGenes);
    d.nCE[0] = 1;
    TestMatrix m(4);
    m.Pair(0, 1, 95, 95);

    // A file that cannot be created: the message names it, nothing is written.
    const std::string missing = PathOf("no/such/dir/out.txt");
    const std::string messages[] = {
        WriteFilteredTable(missing.c_str(), d),
        WritePairwiseCE(missing.c_str(), d, m.M, 1, 0.9),
        WritePatternFile(missing.c_str(), d, m.M, 0, 0, 1, 0.9),
    };
    for (const std::string& why : messages)
        EXPECT_NE(why.find(missing), std::string::npos) << why;
    EXPECT_FALSE(fs::exists(PathOf("no")));
    EXPECT_NE(WriteFilteredTable(nullptr, d), "");
    EXPECT_NE(WriteFilteredTable("", d), "");

    // A full device: the failure is reported, not success.
    if (fs::exists("/dev/full")) {
        const std::string why = WriteFilteredTable("/dev/full", d);
        EXPECT_NE(why.find("/dev/full"), std::string::npos) << why;
        EXPECT_NE(WritePairwiseCE("/dev/full", d, m.M, 1, 0.9), "");
    }
}

// ------------------------------------------------- replacing a file whole

// size bytes of a recognisable text.
std::string Content(std::size_t size, char c)
{
    std::string s(size, c);
    for (std::size_t k = 99; k < size; k += 100)
        s[k] = '\n';
    return s;
}

// Writes `size` bytes through cOutputFile in a child process whose file size
// limit is `limit` (0: none): past it a write fails with EFBIG, as on a full
// disk. Without `close` the file is abandoned (a writer returning early).
// Returns Close's message.
std::string WriteInChild(const std::string& path, std::size_t size, rlim_t limit, bool close = true)
{
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        if (limit && ::setrlimit(RLIMIT_FSIZE, &rl) != 0) ::_exit(3);
        std::string why;
        {
            cOutputFile f;
            why = f.Create(path.c_str());
            if (why.empty()) {
                const std::string text = Content(size, 'n');
                // In pieces, so that a failure can come in the middle.
                for (std::size_t n = 0; n < size; n += 4096)
                    f.Write(text.data() + n, std::min<std::size_t>(4096, size - n));
                why = close ? f.Close() : "abandoned";
            }
        }
        if (::write(fds[1], why.data(), why.size()) != static_cast<ssize_t>(why.size())) ::_exit(4);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string why;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        why.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return why;
}

std::set<std::string> Names(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

// A file is replaced only once all of it was written: a failure part way (the
// file size limit standing in for a full disk) or an abandoned file leaves the
// earlier file, and no temporary file, behind. A symbolic link is written
// through: the file it points at is replaced and the link stays.
TEST_F(Writers, ReplacedOnlyWhenComplete)
{
    enum Setup { Absent, Regular, Link, Dangling };
    constexpr std::size_t Small = 3000, Big = 3 << 20; // Big passes the buffer and the limit
    constexpr rlim_t Limit = 64 << 10;
    const std::string kept = "the earlier file is left as it was.";
    const std::string none = "no file was created.";
    struct Case {
        const char* what;
        Setup setup;
        std::size_t size;
        rlim_t limit;
        bool close;
        std::string tail; // end of the message; empty for success
    } cases[] = {
        {"new file", Absent, Small, 0, true, ""},
        {"new file, write fails", Absent, Big, Limit, true, none},
        {"new file, abandoned", Absent, Small, 0, false, "abandoned"},
        {"replace", Regular, Big, 0, true, ""},
        {"replace, write fails", Regular, Big, Limit, true, kept},
        {"replace, abandoned", Regular, Small, 0, false, "abandoned"},
        {"through a link", Link, Small, 0, true, ""},
        {"through a link, write fails", Link, Big, Limit, true, kept},
        {"through a dangling link", Dangling, Small, 0, true, ""},
        {"through a dangling link, write fails", Dangling, Big, Limit, true, none},
    };
    const std::string old = Content(500, 'o');
    const std::string out = PathOf("out.txt"), real = PathOf("real.txt");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        // The file whose content is at stake: out.txt itself, or what its link points at.
        const std::string& file = c.setup == Link || c.setup == Dangling ? real : out;
        if (c.setup == Regular || c.setup == Link) std::ofstream(file, std::ios::binary) << old;
        if (c.setup == Link || c.setup == Dangling) fs::create_symlink("real.txt", out);
        const bool existed = fs::exists(file);

        const std::string why = WriteInChild(out, c.size, c.limit, c.close);
        const bool ok = c.tail.empty();
        if (ok)
            EXPECT_EQ(why, "");
        else if (c.close)
            EXPECT_EQ(why, "Error while writing the file '" + out + "' (File too large); " + c.tail);
        else
            EXPECT_EQ(why, c.tail);

        if (ok)
            EXPECT_EQ(Slurp(file), Content(c.size, 'n'));
        else if (existed)
            EXPECT_EQ(Slurp(file), old);
        else
            EXPECT_FALSE(fs::exists(file));
        if (c.setup == Link || c.setup == Dangling) {
            EXPECT_TRUE(fs::is_symlink(out));
            EXPECT_EQ(fs::read_symlink(out), "real.txt");
        }
        // Nothing else in the folder: no temporary file is left.
        std::set<std::string> expected;
        if (c.setup != Absent) expected.insert("out.txt");
        if (fs::exists(real)) expected.insert("real.txt");
        if (c.setup == Absent && ok) expected.insert("out.txt");
        EXPECT_EQ(Names(Dir), expected);
    }
}

// A new file gets the mode a plain create gives; a replaced one keeps its own.
// A name near the longest a folder allows still finds room for its temporary.
TEST_F(Writers, ReplacedFileKeepsItsMode)
{
    const mode_t mask = ::umask(022);
    const std::string fresh = PathOf("fresh.txt"), kept = PathOf("kept.txt");
    std::ofstream(kept) << "old";
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write);
    for (const std::string& path : {fresh, kept}) {
        cOutputFile f;
        ASSERT_EQ(f.Create(path.c_str()), "");
        f.Write("new", 3);
        EXPECT_EQ(f.Close(), "");
        EXPECT_EQ(Slurp(path), "new");
    }
    struct stat st;
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    ASSERT_EQ(::stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ::umask(mask);

    const std::string longName = PathOf(std::string(250, 'L').c_str());
    EXPECT_EQ(WriteInChild(longName, 1000, 0), "");
    EXPECT_EQ(Slurp(longName), Content(1000, 'n'));
    EXPECT_EQ(Names(Dir).size(), 3u);
}

} // namespace
