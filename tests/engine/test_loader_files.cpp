// The loader reading real files in chunks (and pipes through short reads), CR
// line ends, and the memory check before the table is allocated.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ExprData.h"
#include "Memory.h"

namespace fs = std::filesystem;

namespace {

const std::string SampleTable = std::string(KORVALENT_SOURCE_ROOT) + "/examples/sample.txt";

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Replace(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size())
        s.replace(at, from.size(), to);
    return s;
}

// Everything a load leaves that a caller can see, as text (floats as bits).
std::string Snapshot(const cExprData& d, int rc)
{
    std::ostringstream s;
    s << rc << " " << int(d.LoadError) << " " << d.LoadMessage << "\n" << d.nGenes << "x" << d.nArrays << " "
      << d.MemUsed << "\n";
    for (int a = 0; a < d.nArrays; ++a)
        s << d.ArrayName[a] << "|" << std::bit_cast<std::uint32_t>(d.ArrayMean[a]) << "\n";
    for (int g = 0; g < d.nGenes; ++g) {
        s << d.GeneID[g] << "|" << d.GeneName[g] << "|" << d.nPresent[g];
        for (int a = 0; a < d.nArrays; ++a)
            s << " " << std::bit_cast<std::uint32_t>(d.Data[g][a]);
        s << "\n";
    }
    return s.str();
}

std::string FromBuffer(const std::string& text)
{
    cExprData d;
    const int rc = d.LoadBuffer(text.data(), text.size());
    return Snapshot(d, rc);
}

class cTempFile {
  public:
    explicit cTempFile(const std::string& content)
    {
        static int serial = 0;
        Path = (fs::temp_directory_path() /
                ("korvalent-load-" + std::to_string(::getpid()) + "-" + std::to_string(serial++) + ".txt"))
                   .string();
        std::ofstream f(Path, std::ios::binary);
        f << content;
    }
    ~cTempFile()
    {
        std::error_code ec;
        fs::remove(Path, ec);
    }
    std::string Path;
};

std::string FromFile(const std::string& text, std::size_t chunk)
{
    cTempFile f(text);
    cExprData d;
    d.LoadChunkBytes = chunk;
    const int rc = d.Load(f.Path.c_str());
    return Snapshot(d, rc);
}

// Through a pipe written in pieces of `piece` bytes by another thread, so that
// reads return fewer bytes than asked.
std::string FromPipe(const std::string& text, std::size_t piece, std::size_t chunk)
{
    int fds[2];
    if (::pipe(fds) != 0) return "no pipe";
    std::thread writer([&] {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t n = std::min(piece, text.size() - at);
            const ssize_t w = ::write(fds[1], text.data() + at, n);
            if (w <= 0) break;
            at += std::size_t(w);
        }
        ::close(fds[1]);
    });
    cExprData d;
    d.LoadChunkBytes = chunk;
    const std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    const int rc = d.Load(path.c_str());
    writer.join();
    ::close(fds[0]);
    return Snapshot(d, rc);
}

// Sets KORVALENT_MEMORY_AVAILABLE for the life of the object.
class cFakeMemory {
  public:
    explicit cFakeMemory(const std::string& bytes) { ::setenv("KORVALENT_MEMORY_AVAILABLE", bytes.c_str(), 1); }
    ~cFakeMemory() { ::unsetenv("KORVALENT_MEMORY_AVAILABLE"); }
};

// A literal with its embedded NUL bytes.
template <std::size_t N> std::string Bytes(const char (&s)[N])
{
    return std::string(s, N - 1);
}

const std::vector<std::string>& Texts()
{
    static const std::vector<std::string> texts = {
        "ID\tName\tA\tB\ngene_one_at\tg\t1\t2\ngene_two_at\th\t3\tNA\n",
        "pre\r\n\r\nID\tName\tA\tB\r\ngene_one_at\tg\t1\t2\r\ngene_two_at\th\t3\t4",
        "ID\tName\tA\tB\rgene_one_at\tg\t1\t2\rgene_two_at\th\t3\t4\r",
        "title\rID\tName\tA\r\ngene_one_at\tg\t1\r2\n", // a mix: CR alone is no line end
        "ID\tName\tA\n" + std::string(5000, 'x') + "\t\t7\nshort\n" + std::string(3000, 'y') + "\tn\t1e39",
        "no header at all\n",
        "",
        "\n\n\r\r",
        Bytes("ID\tName\tA\0B\ngene\0_one_at\tg\t1\t2\n"),
    };
    return texts;
}

} // namespace

TEST(LoaderFiles, ChunkedFileReadsEqualTheBuffer)
{
    std::vector<std::string> texts = Texts();
    texts.push_back(ReadAll(SampleTable));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i));
        const std::string want = FromBuffer(texts[i]);
        // Chunks of one byte split every CR LF; 7 and 64 split lines anywhere.
        for (std::size_t chunk : {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(64),
                                  std::size_t(1) << 20})
            EXPECT_EQ(FromFile(texts[i], chunk), want) << "chunk " << chunk;
    }
}

TEST(LoaderFiles, ShortReadsFromAPipeEqualTheBuffer)
{
    std::vector<std::string> texts = Texts();
    texts.push_back(ReadAll(SampleTable));
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i));
        const std::string want = FromBuffer(texts[i]);
        EXPECT_EQ(FromPipe(texts[i], 3, 1 << 16), want);
        EXPECT_EQ(FromPipe(texts[i], 4096, 5), want);
    }
}

TEST(LoaderFiles, CarriageReturnLineEnds)
{
    // The sample table written with CR alone loads as with LF.
    const std::string lf = ReadAll(SampleTable);
    ASSERT_FALSE(lf.empty());
    const std::string cr = Replace(lf, "\n", "\r");
    const std::string crlf = Replace(lf, "\n", "\r\n");
    for (const std::string* text : {&cr, &crlf}) {
        cExprData d;
        ASSERT_EQ(d.LoadBuffer(text->data(), text->size()), 300 * 12);
        EXPECT_EQ(d.nGenes, 300);
        EXPECT_EQ(d.nArrays, 12);
        EXPECT_EQ(FromBuffer(*text), FromBuffer(lf));
        EXPECT_EQ(FromFile(*text, 1 << 20), FromBuffer(lf));
    }
    // A small one, with a final line without an end and empty lines.
    const std::string small = "title\r\rID\tName\tA1\tA2\rg1_at\tAlpha\t1\t2\r\rg2_at\tBeta\t3\tNA";
    cExprData d;
    ASSERT_EQ(d.LoadBuffer(small.data(), small.size()), 4);
    EXPECT_STREQ(d.ArrayName[1], "A2");
    EXPECT_STREQ(d.GeneID[1], "g2_at");
    EXPECT_EQ(d.Data[0][1], 2.0f);
    EXPECT_EQ(d.nPresent[1], 1u);
}

TEST(LoaderFiles, MixedLineEndsKeepTheLineFeedRule)
{
    // With a LF anywhere, a CR ends no line (only CR LF does): the CR is
    // part of the field, as before.
    const std::string mixed = "ID\tName\tA\tB\ngene_one_at\tg\t1\t2\rgene_two_at\th\t3\t4\n";
    cExprData d;
    ASSERT_EQ(d.LoadBuffer(mixed.data(), mixed.size()), 2);
    EXPECT_EQ(d.nGenes, 1);
    EXPECT_EQ(d.Data[0][1], 2.0f); // "2\rgene_two_at" reads as 2
    const std::string early = "ID\tName\tA\rB\ngene_one_at\tg\t1\t2\n";
    ASSERT_EQ(d.LoadBuffer(early.data(), early.size()), 1);
    EXPECT_STREQ(d.ArrayName[0], "A\rB");
}

TEST(LoaderFiles, NotEnoughMemoryIsReportedWithTheBytesNeeded)
{
    const std::string text = ReadAll(SampleTable);
    // What the table takes: per gene 316 bytes, the row pointer and the row.
    const std::int64_t need = 300 * (316 + std::int64_t(sizeof(float*)) + 4 * 12) + 72 * 12;
    const std::string message =
        "Not enough memory to load the table (" + std::to_string(need) + " bytes needed).";
    {
        cFakeMemory fake("1000000"); // below the 64 MB margin alone
        cExprData d;
        EXPECT_EQ(d.Load(SampleTable.c_str()), -1);
        EXPECT_EQ(d.LoadError, cLoadError::NotEnoughMemory);
        EXPECT_EQ(d.LoadMessage, message);
        EXPECT_EQ(d.nGenes, 0);
        EXPECT_EQ(d.MemUsed, 0);
        EXPECT_EQ(d.Data, nullptr);
        cExprData b;
        EXPECT_EQ(b.LoadBuffer(text.data(), text.size()), -1);
        EXPECT_EQ(b.LoadError, cLoadError::NotEnoughMemory);
        EXPECT_EQ(b.LoadMessage, message);
        // A text without a header is still told as such.
        EXPECT_EQ(b.LoadBuffer("x\n", 2), -1);
        EXPECT_EQ(b.LoadError, cLoadError::NoHeader);
    }
    {
        // Just enough: the table plus 10% plus 64 MB.
        cFakeMemory fake(std::to_string(need + need / 10 + (64 << 20)));
        cExprData d;
        EXPECT_EQ(d.Load(SampleTable.c_str()), 300 * 12);
        EXPECT_EQ(d.LoadError, cLoadError::None);
    }
    {
        cFakeMemory fake(std::to_string(need + need / 10 + (64 << 20) - 1));
        cExprData d;
        EXPECT_EQ(d.Load(SampleTable.c_str()), -1);
        EXPECT_EQ(d.LoadError, cLoadError::NotEnoughMemory);
    }
    {
        cFakeMemory unknown("-1"); // nothing known: nothing refused
        cExprData d;
        EXPECT_EQ(d.Load(SampleTable.c_str()), 300 * 12);
    }
}

TEST(LoaderFiles, LoadedRowsHoldEveryValueWithoutZeroFilling)
{
    // The loader leaves no row value unwritten: a short line's missing fields
    // read as 0 and present, after a load over a table that had other values.
    cExprData d;
    const std::string first = "ID\tName\tA\tB\tC\ngene_one_at\tg\t5\t6\t7\ngene_two_at\tg\t8\t9\t9\n";
    ASSERT_EQ(d.LoadBuffer(first.data(), first.size()), 6);
    const std::string second = "ID\tName\tA\tB\tC\ngene_one_at\tg\t1\ngene_two_at\n";
    cTempFile f(second);
    ASSERT_EQ(d.Load(f.Path.c_str()), 6);
    EXPECT_EQ(d.Data[0][0], 1.0f);
    EXPECT_EQ(d.Data[0][1], 0.0f);
    EXPECT_EQ(d.Data[0][2], 0.0f);
    EXPECT_STREQ(d.GeneName[1], "");
    for (int a = 0; a < 3; ++a)
        EXPECT_EQ(d.Data[1][a], 0.0f);
    EXPECT_EQ(d.nPresent[0], 3u);
}

TEST(MemoryCheck, FakedAvailableAmount)
{
    {
        cFakeMemory fake("123456789");
        EXPECT_EQ(AvailableMemory(), 123456789);
    }
    {
        cFakeMemory fake("-5");
        EXPECT_EQ(AvailableMemory(), -1);
        EXPECT_EQ(MemoryShortfall(std::uint64_t(1) << 60, "anything"), "");
    }
}

TEST(MemoryCheck, RealAvailableAmountIsAtMostMemAvailable)
{
    ::unsetenv("KORVALENT_MEMORY_AVAILABLE");
    const std::int64_t available = AvailableMemory();
    std::ifstream f("/proc/meminfo");
    if (!f) GTEST_SKIP() << "no /proc/meminfo";
    std::string key;
    std::int64_t kb = -1;
    while (f >> key)
        if (key == "MemAvailable:" && (f >> kb)) break;
    if (kb < 0) GTEST_SKIP() << "no MemAvailable";
    ASSERT_GE(available, 0);
    // Read at another moment, so allow for some change.
    EXPECT_LE(available, kb * 1024 + (std::int64_t(256) << 20));
    EXPECT_EQ(MemoryShortfall(1000, "a small block"), "") << "less than 64 MB free?";
}

TEST(MemoryCheck, ShortfallMessages)
{
    const std::uint64_t matrix = 60000ull * 60000ull;
    {
        cFakeMemory fake(std::to_string(1800ull << 20));
        EXPECT_EQ(MemoryShortfall(matrix, "the co-expression matrix of 60000 genes"),
                  "Not enough memory for the co-expression matrix of 60000 genes: 3433 MB needed, 1800 MB "
                  "available.");
    }
    {
        // Room for the bytes but not for the margin: the margin is named.
        cFakeMemory fake(std::to_string(matrix + (10ull << 20)));
        EXPECT_EQ(MemoryShortfall(matrix, "the co-expression matrix of 60000 genes"),
                  "Not enough memory for the co-expression matrix of 60000 genes: 3433 MB needed, 3443 MB "
                  "available. A margin of 407 MB is kept free.");
    }
    {
        cFakeMemory fake(std::to_string(matrix + MemoryMargin(matrix)));
        EXPECT_EQ(MemoryShortfall(matrix, "the co-expression matrix of 60000 genes"), "");
        EXPECT_NE(MemoryShortfall(matrix + 1, "x"), "");
    }
    EXPECT_EQ(MemoryMargin(0), 64ull << 20);
    EXPECT_EQ(MemoryMargin(1000), 100 + (64ull << 20));
}
