// Runs the real korvalent-cli binary: argument rules, exit statuses, the
// summary, the files it writes and the order in which failures stop a run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string SampleTable = std::string(KORVALENT_SOURCE_ROOT) + "/examples/sample.txt";

// Six genes: g1, g2 and g3 (reversed) form one pattern; g5 has two present
// values only and correlates with nothing.
const char* const SmallTable = "Small fixture\n"
                               "ID\tName\tA1\tA2\tA3\tA4\tA5\n"
                               "g1_at\tAlpha [NM_000001]\t1\t2\t3\t4\t5\n"
                               "g2_at\tBeta [NM_000002]\t2\t4\t6\t8\t11\n"
                               "g3_at\tGamma [NM_000003]\t5\t4\t3\t2\t1\n"
                               "g4_at\tDelta\t1\t3\t2\t5\t1\n"
                               "g5_at\tEpsilon\tNA\t2\tNA\tNA\t4\n"
                               "g6_at\tZeta\t7\t7\t1\t1\t7\n";

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> Split(const std::string& text, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

// Lines of a file; a CR before each LF is dropped when crlf is set (and then
// required).
std::vector<std::string> Lines(const std::string& text, bool crlf = false)
{
    std::vector<std::string> lines = Split(text, '\n');
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    if (crlf)
        for (std::string& l : lines) {
            EXPECT_TRUE(!l.empty() && l.back() == '\r') << "line without CR LF: " << l;
            if (!l.empty() && l.back() == '\r') l.pop_back();
        }
    return lines;
}

struct GeneRow {
    std::string id;
    unsigned nPresent = 0;
    double mean = 0, sd = 0;
    int nCE = 0;
    double level = 0;
    int pattern = 0;
};

std::vector<GeneRow> ParseGenes(const std::string& text)
{
    std::vector<GeneRow> rows;
    const std::vector<std::string> lines = Lines(text);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return rows;
    EXPECT_EQ(lines[0], "index\tID\tnPresent\tmean\tsd\tnCE\tCELevel\tpattern");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], '\t');
        EXPECT_EQ(f.size(), 8u) << lines[i];
        if (f.size() != 8) continue;
        EXPECT_EQ(f[0], std::to_string(i));
        rows.push_back({f[1], unsigned(std::stoul(f[2])), std::stod(f[3]), std::stod(f[4]), std::stoi(f[5]),
                        std::stod(f[6]), std::stoi(f[7])});
    }
    return rows;
}

struct ArrayRow {
    std::string name;
    double mean = 0, sd = 0;
};

std::vector<ArrayRow> ParseArrays(const std::string& text)
{
    std::vector<ArrayRow> rows;
    const std::vector<std::string> lines = Lines(text);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) return rows;
    EXPECT_EQ(lines[0], "index\tname\tmean\tsd");
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::vector<std::string> f = Split(lines[i], '\t');
        EXPECT_EQ(f.size(), 4u) << lines[i];
        if (f.size() != 4) continue;
        EXPECT_EQ(f[0], std::to_string(i));
        rows.push_back({f[1], std::stod(f[2]), std::stod(f[3])});
    }
    return rows;
}

std::string Summary(const std::string& file, const std::string& counts, const std::string& ce = {})
{
    return "file: " + file + "\n" + counts + ce;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        static std::atomic<int> serial{0};
        Dir = fs::temp_directory_path() /
              ("korvalent-cli-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        fs::remove_all(Dir);
        fs::create_directories(Dir);
        Write("t.txt", SmallTable);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(Dir, ec);
    }

    fs::path Write(const std::string& name, const std::string& content)
    {
        std::ofstream f(Dir / name, std::ios::binary);
        f << content;
        return Dir / name;
    }
    bool Exists(const std::string& name) const { return fs::exists(Dir / name); }
    std::string Read(const std::string& name) const { return ReadFile(Dir / name); }

    enum class Err { File, Terminal };

    // Runs the tool in the test's folder, so relative file names land there.
    CliResult Run(const std::vector<std::string>& args, Err err = Err::File,
                  const std::string& stdoutPath = {})
    {
        const fs::path outPath = stdoutPath.empty() ? Dir / ".stdout" : fs::path(stdoutPath);
        const fs::path errPath = Dir / ".stderr";
        int master = -1;
        std::string slaveName;
        if (err == Err::Terminal) {
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
                ADD_FAILURE() << "no pseudo terminal";
                return {};
            }
            slaveName = ::ptsname(master);
        }
        std::vector<std::string> argv0 = {KORVALENT_CLI};
        argv0.insert(argv0.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : argv0)
            argv.push_back(a.data());
        argv.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(Dir.c_str()) != 0) ::_exit(126);
            const int in = ::open("/dev/null", O_RDONLY);
            const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int errFd = err == Err::Terminal
                                  ? ::open(slaveName.c_str(), O_RDWR | O_NOCTTY)
                                  : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || errFd < 0) ::_exit(126);
            ::dup2(in, 0);
            ::dup2(out, 1);
            ::dup2(errFd, 2);
            if (master >= 0) ::close(master);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        CliResult r;
        if (master >= 0) {
            // Read until every holder of the terminal's other side has closed it.
            char buf[4096];
            for (;;) {
                const ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0)
                    r.err.append(buf, std::size_t(n));
                else if (n < 0 && errno == EINTR)
                    continue;
                else
                    break;
            }
            ::close(master);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (stdoutPath.empty()) r.out = ReadFile(outPath);
        if (err == Err::File) r.err = ReadFile(errPath);
        return r;
    }

    fs::path Dir;
};

// ---------------------------------------------------------------- arguments

struct UsageCase {
    std::vector<std::string> args;
    const char* message; // part of the one-line reason on standard error
};

TEST_F(CliTest, BadArgumentsExitTwoWithUsageAndWriteNothing)
{
    const std::vector<UsageCase> cases = {
        {{}, "no table given"},
        {{"-q"}, "no table given"},
        {{"t.txt", "t.txt"}, "only one table"},
        {{"t.txt", "--bogus"}, "unknown option '--bogus'"},
        {{"--power=2", "t.txt"}, "unknown option"},
        {{"t.txt", "-x"}, "unknown option"},
        {{"t.txt", "-p"}, "needs"},
        {{"t.txt", "-p", "0"}, "power"},
        {{"t.txt", "--power", "-3"}, "power"},
        {{"t.txt", "-p", "2.0"}, "invalid power"},
        {{"t.txt", "-p", " 2"}, "invalid power"},
        {{"t.txt", "-p", ""}, "invalid power"},
        {{"t.txt", "-p", "1e1"}, "invalid power"},
        {{"t.txt", "-p", "+-2"}, "invalid power"},
        {{"t.txt", "-p", "99999999999"}, "invalid power"},
        {{"t.txt", "-t"}, "needs"},
        {{"t.txt", "-t", "0"}, "threshold"},
        {{"t.txt", "-t", "-0.5"}, "threshold"},
        {{"t.txt", "-t", "1e-50"}, "threshold"}, // its float is 0
        {{"t.txt", "-t", "1e39"}, "threshold"},  // its float is infinite
        {{"t.txt", "-t", "0,9"}, "invalid threshold"},
        {{"t.txt", "-t", "inf"}, "invalid threshold"},
        {{"t.txt", "-t", "nan"}, "invalid threshold"},
        {{"t.txt", "-t", "0x1p-1"}, "invalid threshold"},
        {{"t.txt", "-t", "0.9x"}, "invalid threshold"},
        {{"t.txt", "-t", "."}, "invalid threshold"},
        {{"t.txt", "--threshold", "1e999"}, "invalid threshold"},
        {{"t.txt", "--renew", "1"}, "needs"},
        {{"t.txt", "--renew", "0", "0.5"}, "--renew power"},
        {{"t.txt", "-p", "1001"}, "The correlation power must be at most 1000"},
        {{"t.txt", "-p", "2147483647"}, "The correlation power must be at most 1000"},
        {{"t.txt", "--renew", "1001", "0.5"}, "--renew: The correlation power must be at most 1000"},
        {{"t.txt", "--renew", "1", "0"}, "--renew threshold"},
        {{"t.txt", "--renew", "1", "a"}, "invalid threshold"},
        {{"t.txt", "--gene-norm", "x"}, "invalid mode"},
        {{"t.txt", "--array-norm", "sc"}, "invalid mode"},
        {{"t.txt", "--array-norm", "CS"}, "invalid mode"},
        {{"t.txt", "--gene-norm"}, "needs"},
        {{"t.txt", "--gene-list", "0", "l.txt"}, "gene number"},
        {{"t.txt", "--gene-list", "-2", "l.txt"}, "gene number"},
        {{"t.txt", "--gene-list", "1"}, "needs"},
        {{"t.txt", "--pattern", "x", "k.txt"}, "invalid pattern number"},
        {{"t.txt", "--threads", "-1"}, "thread count"},
        {{"t.txt", "--threads", "two"}, "thread count"},
        {{"t.txt", "--genes", ""}, "empty"},
        {{"t.txt", "--no-ce", "--matrix", "m.bin"}, "--no-ce cannot be combined with --matrix"},
        {{"t.txt", "--filtered", "f.txt", "--no-ce"}, "--no-ce cannot be combined with --filtered"},
        {{"--no-ce", "t.txt", "--pairs", "p.ce"}, "--no-ce cannot be combined with --pairs"},
        {{"t.txt", "--no-ce", "--gene-list", "1", "l.txt"}, "--no-ce cannot be combined with --gene-list"},
        {{"t.txt", "--no-ce", "--pattern", "1", "k.txt"}, "--no-ce cannot be combined with --pattern"},
        {{"t.txt", "--no-ce", "--renew", "1", "0.9"}, "--no-ce cannot be combined with --renew"},
        // Arguments are checked before the table is read.
        {{"absent.txt", "-p", "0"}, "power"},
        // The last value counts: a bad value that is overridden is fine, a bad last one is not.
        {{"t.txt", "-p", "2", "-p", "0"}, "power"},
    };
    for (const UsageCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += "[" + a + "] ";
        SCOPED_TRACE(shown);
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(std::string("korvalent-cli: ")), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Usage: korvalent-cli TABLE [options]"), std::string::npos);
        for (const char* f : {"m.bin", "f.txt", "p.ce", "l.txt", "k.txt"})
            EXPECT_FALSE(Exists(f)) << f;
    }
}

TEST_F(CliTest, HelpPrintsUsageOnStandardOutput)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"t.txt", "--help"}, {"-p", "0", "--help"}}) {
        const CliResult r = Run(args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("Usage: korvalent-cli TABLE [options]\n", 0), 0u) << r.out;
        for (const char* option : {"--gene-norm", "--array-norm", "--normalize", "--no-ce", "--genes",
                                   "--arrays", "--power", "--threshold", "--renew", "--filtered", "--pairs",
                                   "--gene-list", "--pattern", "--matrix", "--threads", "--quiet"})
            EXPECT_NE(r.out.find(option), std::string::npos) << option;
        EXPECT_EQ(r.err, "");
    }
}

// Pairs of command lines that must give the same summary and files (or, with
// same = false, must differ), for the parsing rules: options on either side
// of TABLE, last value wins, --normalize where it stands, number forms.
TEST_F(CliTest, EquivalentCommandLines)
{
    const std::string T = SampleTable;
    struct Case {
        std::vector<std::string> a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {{"--no-ce", T}, {T, "--no-ce"}, true},
        {{"--normalize", T}, {T, "--gene-norm", "cs", "--array-norm", "cs"}, true},
        {{"--normalize", "--gene-norm", "c", T}, {T, "--array-norm", "cs", "--gene-norm", "c"}, true},
        {{"--gene-norm", "c", "--normalize", T}, {"--normalize", T}, true},
        {{T, "--gene-norm", "s", "--gene-norm", "c"}, {T, "--gene-norm", "c"}, true},
        {{T, "-t", "0.5", "-t", "0.95"}, {T, "--threshold", "0.95"}, true},
        {{T, "-t", ".95"}, {T, "-t", "0.95"}, true},
        {{T, "-t", "9.5e-1"}, {T, "-t", "+0.95"}, true},
        {{T, "-t", "95E-2"}, {T, "-t", "0.950"}, true},
        {{T, "-p", "+2", "-t", "0.8"}, {T, "--power", "2", "-t", "0.8"}, true},
        {{T, "-p", "3", "-p", "1"}, {T}, true},
        {{T, "-q"}, {T, "--quiet"}, true},
        {{"--", T}, {T}, true},
        {{T, "--threads", "1"}, {T, "--threads", "2"}, true},
        {{T, "--threads", "0"}, {T, "--threads", "3"}, true},
        // The re-calculation works from the stored correlations only.
        {{T, "-t", "0.5", "--renew", "1", "0.95"}, {T, "-t", "0.99", "--renew", "1", "0.95"}, true},
        {{T, "--renew", "2", "0.5", "--renew", "1", "0.9"}, {T, "--renew", "1", "0.9"}, true},
        // Sanity: the options do take effect.
        {{T}, {T, "--normalize"}, false},
        {{T, "--gene-norm", "c"}, {T, "--gene-norm", "s"}, false},
        {{T, "--array-norm", "c"}, {T, "--array-norm", "cs"}, false},
        {{T}, {T, "-t", "0.95"}, false},
        {{T}, {T, "-p", "2"}, false},
        {{T, "-t", "0.95"}, {T, "-t", "0.95", "--renew", "1", "0.95"}, false},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& s : c.a)
            shown += "[" + s + "] ";
        shown += " vs ";
        for (const std::string& s : c.b)
            shown += "[" + s + "] ";
        SCOPED_TRACE(shown);
        auto run = [&](std::vector<std::string> args, const std::string& tag) {
            // In front, so that a "--" in the case still ends the options.
            const bool ce = std::find(args.begin(), args.end(), "--no-ce") == args.end();
            args.insert(args.begin(), {"--genes", "g" + tag, "--arrays", "a" + tag});
            if (ce) args.insert(args.begin(), {"--matrix", "m" + tag, "--pairs", "p" + tag});
            const CliResult r = Run(args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            return r.out + Read("g" + tag) + Read("a" + tag) + Read("m" + tag) + Read("p" + tag);
        };
        const std::string a = run(c.a, "1");
        const std::string b = run(c.b, "2");
        EXPECT_EQ(a == b, c.same);
    }
}

// What each normalization mode does, seen through the genes and arrays files.
TEST_F(CliTest, NormalizationModes)
{
    const std::string T = SampleTable;
    ASSERT_EQ(Run({T, "--no-ce", "--genes", "g0", "--arrays", "a0"}).status, 0);
    const std::vector<GeneRow> g0 = ParseGenes(Read("g0"));
    const std::vector<ArrayRow> a0 = ParseArrays(Read("a0"));
    ASSERT_EQ(g0.size(), 300u);
    ASSERT_EQ(a0.size(), 12u);

    auto near = [](double x, double y) { return std::fabs(x - y) <= 1e-4 * std::max(1.0, std::fabs(y)); };
    struct Case {
        std::vector<std::string> args;
        bool geneCentred, geneScaled, arrayCentred, arrayScaled;
    };
    const std::vector<Case> cases = {
        {{"--gene-norm", "c"}, true, false, false, false},
        {{"--gene-norm", "s"}, false, true, false, false},
        {{"--gene-norm", "cs"}, true, true, false, false},
        {{"--array-norm", "c"}, false, false, true, false},
        {{"--array-norm", "s"}, false, false, false, true},
        {{"--array-norm", "cs"}, false, false, true, true},
        // The gene pass runs first whatever the order given, so the arrays end
        // exactly standardized.
        {{"--array-norm", "cs", "--gene-norm", "cs"}, false, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1] + (c.args.size() > 2 ? " " + c.args[2] : ""));
        std::vector<std::string> args = {T, "--no-ce", "--genes", "g1", "--arrays", "a1"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(Run(args).status, 0);
        const std::vector<GeneRow> g1 = ParseGenes(Read("g1"));
        const std::vector<ArrayRow> a1 = ParseArrays(Read("a1"));
        ASSERT_EQ(g1.size(), g0.size());
        ASSERT_EQ(a1.size(), a0.size());
        const bool bothPasses = c.args.size() > 2;
        if (!bothPasses) {
            for (std::size_t g = 0; g < g0.size(); ++g) {
                const double sd0 = g0[g].sd;
                const double mean = c.geneCentred ? 0 : c.geneScaled ? g0[g].mean / sd0 : g0[g].mean;
                const double sd = c.geneScaled ? 1 : sd0;
                if (c.arrayCentred || c.arrayScaled) continue;
                EXPECT_TRUE(near(g1[g].mean, mean)) << g << ": " << g1[g].mean << " vs " << mean;
                EXPECT_TRUE(near(g1[g].sd, sd)) << g << ": " << g1[g].sd << " vs " << sd;
            }
        }
        for (std::size_t a = 0; a < a0.size(); ++a) {
            if (c.geneCentred || c.geneScaled) continue;
            const double sd0 = a0[a].sd;
            const double mean = c.arrayCentred ? 0 : c.arrayScaled ? a0[a].mean / sd0 : a0[a].mean;
            const double sd = c.arrayScaled ? 1 : sd0;
            EXPECT_TRUE(near(a1[a].mean, mean)) << a << ": " << a1[a].mean << " vs " << mean;
            EXPECT_TRUE(near(a1[a].sd, sd)) << a << ": " << a1[a].sd << " vs " << sd;
        }
    }
}

// ------------------------------------------------------------------ summary

TEST_F(CliTest, SummaryLines)
{
    Write("empty-body.txt", "ID\tName\tA\tB\n");
    Write("no-arrays.txt", "ID\tName\ngene_1_at\tfirst gene\ngene_2_at\tsecond gene\n");
    // 1 of 36 values missing is 2.78%: the percentage is truncated, not rounded.
    Write("trunc.txt", "ID\tName\tA\tB\tC\tD\tE\tF\tG\tH\tI\tJ\tK\tL\n"
                       "gene_1_at\tone\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\tNA\n"
                       "gene_2_at\ttwo\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\n"
                       "gene_3_at\tthree\t1\t2\t3\t4\t5\t6\t7\t8\t9\t10\t11\t12\n");
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const std::string sampleCounts = "genes: 300\narrays: 12\nvalues: 3600\nmissing: 74 (2%)\n"
                                     "mean: 8.83850\nsd: 2.34790\n";
    const std::vector<Case> cases = {
        {{SampleTable}, Summary(SampleTable, sampleCounts, "coexpressed genes: 58\npatterns: 11\n")},
        {{SampleTable, "--no-ce"}, Summary(SampleTable, sampleCounts)},
        {{SampleTable, "-t", "0.95"},
         Summary(SampleTable, sampleCounts, "coexpressed genes: 47\npatterns: 6\n")},
        {{"t.txt"},
         Summary("t.txt", "genes: 6\narrays: 5\nvalues: 30\nmissing: 3 (10%)\nmean: 3.77780\nsd: 2.59190\n",
                 "coexpressed genes: 3\npatterns: 1\n")},
        {{"empty-body.txt"},
         Summary("empty-body.txt",
                 "genes: 0\narrays: 2\nvalues: 0\nmissing: 0 (0%)\nmean: 0.00000\nsd: 0.00000\n",
                 "coexpressed genes: 0\npatterns: 0\n")},
        {{"no-arrays.txt"},
         Summary("no-arrays.txt",
                 "genes: 2\narrays: 0\nvalues: 0\nmissing: 0 (0%)\nmean: 0.00000\nsd: 0.00000\n",
                 "coexpressed genes: 0\npatterns: 0\n")},
        {{"trunc.txt", "--no-ce"},
         Summary("trunc.txt", "genes: 3\narrays: 12\nvalues: 36\nmissing: 1 (2%)\n"
                              "mean: 6.34290\nsd: 3.42090\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.expected);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliTest, LoadFailureExitsOneWithNothingOnStandardOutput)
{
    Write("empty.txt", "");
    Write("headless.txt", "just a title\nA\tB\tC\n1\t2\t3\n");
    fs::create_directories(Dir / "folder.txt");
    const struct {
        const char* table;
        const char* reason; // the loader's own sentence
    } cases[] = {
        {"absent.txt", "The file cannot be opened (No such file or directory)."},
        {"empty.txt", "No header line holding \"ID\" and \"Name\" was found."},
        {"headless.txt", "No header line holding \"ID\" and \"Name\" was found."},
        {"folder.txt", "The file cannot be read (Is a directory)."},
    };
    for (const auto& [table, reason] : cases) {
        SCOPED_TRACE(table);
        const CliResult r = Run({table, "--genes", "g.txt", "--arrays", "a.txt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(std::string("'") + table + "'"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(reason), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(Exists("g.txt"));
        EXPECT_FALSE(Exists("a.txt"));
    }
    // Loading comes before the gene number is compared with the table.
    const CliResult r = Run({"absent.txt", "--gene-list", "99", "l.txt"});
    EXPECT_EQ(r.status, 1);
}

TEST_F(CliTest, UnwritableStandardOutputIsAFailure)
{
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const CliResult r = Run({"t.txt", "--no-ce"}, Err::File, "/dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("summary"), std::string::npos) << r.err;
}

// -------------------------------------------------------------------- files

// Every output option, in the order the files are written.
const std::vector<std::pair<std::vector<std::string>, std::string>>& OutputOptions()
{
    static const std::vector<std::pair<std::vector<std::string>, std::string>> options = {
        {{"--filtered"}, "filtered.txt"},    {{"--pairs"}, "pairs.ce"},    {{"--gene-list", "2"}, "list.txt"},
        {{"--pattern", "1"}, "pattern.txt"}, {{"--matrix"}, "matrix.bin"}, {{"--genes"}, "genes.txt"},
        {{"--arrays"}, "arrays.txt"},
    };
    return options;
}

TEST_F(CliTest, FileThatCannotBeWrittenStopsTheRunThere)
{
    const bool haveFull = fs::exists("/dev/full");
    const auto& outputs = OutputOptions();
    for (const std::string bad : {"no-such-folder/out", "/dev/full"}) {
        if (bad == "/dev/full" && !haveFull) continue;
        for (std::size_t k = 0; k < outputs.size(); ++k) {
            SCOPED_TRACE(outputs[k].second + " -> " + bad);
            for (const auto& o : outputs)
                fs::remove(Dir / o.second);
            // Listed in reverse: the order of writing does not follow the command line.
            std::vector<std::string> args;
            for (std::size_t i = outputs.size(); i-- > 0;) {
                args.insert(args.end(), outputs[i].first.begin(), outputs[i].first.end());
                args.push_back(i == k ? bad : outputs[i].second);
            }
            args.push_back("t.txt");
            const CliResult r = Run(args);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
            for (std::size_t i = 0; i < outputs.size(); ++i)
                if (i != k) EXPECT_EQ(Exists(outputs[i].second), i < k) << outputs[i].second;
        }
    }
}

TEST_F(CliTest, AllFilesFromOneRun)
{
    std::vector<std::string> args = {"t.txt"};
    for (const auto& o : OutputOptions()) {
        args.insert(args.end(), o.first.begin(), o.first.end());
        args.push_back(o.second);
    }
    const CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");

    const std::vector<GeneRow> genes = ParseGenes(Read("genes.txt"));
    ASSERT_EQ(genes.size(), 6u);
    const std::vector<std::string> ids = {"g1_at", "g2_at", "g3_at", "g4_at", "g5_at", "g6_at"};
    const std::vector<unsigned> present = {5, 5, 5, 5, 2, 5};
    const std::vector<int> patterns = {1, 1, 1, 0, 0, 0};
    for (std::size_t g = 0; g < genes.size(); ++g) {
        EXPECT_EQ(genes[g].id, ids[g]);
        EXPECT_EQ(genes[g].nPresent, present[g]);
        EXPECT_EQ(genes[g].nCE, patterns[g] ? 2 : 0);
        EXPECT_EQ(genes[g].pattern, patterns[g]);
    }
    // %.9g of the stored floats: g1 has mean 3 and sd sqrt(2.5), g5 mean 3 and sd sqrt(2).
    const std::vector<std::string> g1 = Split(Lines(Read("genes.txt")).at(1), '\t');
    ASSERT_EQ(g1.size(), 8u);
    EXPECT_EQ(g1[3], "3");
    EXPECT_EQ(g1[4], "1.58113885");
    EXPECT_EQ(genes[4].mean, 3.0);
    EXPECT_EQ(float(genes[4].sd), std::sqrt(2.0f));

    const std::vector<std::string> arrays = Lines(Read("arrays.txt"));
    ASSERT_EQ(arrays.size(), 6u);
    EXPECT_EQ(arrays[1], "1\tA1\t3.20000005\t2.68328166");
    EXPECT_EQ(arrays[5].substr(0, 5), "5\tA5\t");

    const std::string matrix = Read("matrix.bin");
    ASSERT_EQ(matrix.size(), 36u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(int(std::int8_t(matrix[i * 6 + i])), 100);
    // g1 with g3: r is -0.9999999999999998 in double, truncated toward zero.
    EXPECT_EQ(int(std::int8_t(matrix[0 * 6 + 2])), -99); // upper cell
    EXPECT_EQ(int(std::int8_t(matrix[2 * 6 + 0])), -99); // lower cell

    const std::vector<std::string> pairs = Lines(Read("pairs.ce"), true);
    ASSERT_EQ(pairs.size(), 7u);
    EXPECT_EQ(pairs[1], "\"Filtering power:\"\t1");
    EXPECT_EQ(pairs[2], "\"Filtering threshold:\"\t0.900000");
    EXPECT_EQ(pairs[4].substr(0, pairs[4].find('\t', 6)), "g1_at\tAlpha [NM_000001]");

    const std::vector<std::string> filtered = Lines(Read("filtered.txt"), true);
    ASSERT_EQ(filtered.size(), 4u);
    EXPECT_EQ(filtered[0], "\"ID\"\t\"Name\"\t\"A1\"\t\"A2\"\t\"A3\"\t\"A4\"\t\"A5\"");

    // --gene-list 2 is the second gene (1-based).
    const std::vector<std::string> list = Lines(Read("list.txt"), true);
    ASSERT_GE(list.size(), 6u);
    EXPECT_EQ(list[1], "\"ID:\"\t\"g2_at\"");
    EXPECT_EQ(list[2], "\"Name:\"\t\"Beta [NM_000002]\"");

    const std::vector<std::string> pattern = Lines(Read("pattern.txt"), true);
    ASSERT_EQ(pattern.size(), 9u);
    EXPECT_EQ(pattern[0], "\"The list of genes from the same pattern (1) as gene:\"");
    EXPECT_EQ(pattern[1], "\"ID:\"\t\"g1_at\"");
}

TEST_F(CliTest, GeneListNumberBeyondTheTable)
{
    // 6 genes: 6 is the last one, 7 is a usage error found after loading and
    // before any file is written.
    CliResult r = Run({"t.txt", "--gene-list", "6", "l.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(Read("l.txt"), true).at(1), "\"ID:\"\t\"g6_at\"");

    fs::remove(Dir / "l.txt");
    r = Run({"t.txt", "--filtered", "f.txt", "--gene-list", "7", "l.txt", "--genes", "g.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("7"), std::string::npos);
    EXPECT_NE(r.err.find("Usage: korvalent-cli"), std::string::npos);
    for (const char* f : {"f.txt", "l.txt", "g.txt"})
        EXPECT_FALSE(Exists(f)) << f;
}

TEST_F(CliTest, PatternThatNoGeneCarries)
{
    for (const char* k : {"2", "-1", "999"}) {
        SCOPED_TRACE(k);
        const CliResult r = Run(
            {"t.txt", "--filtered", "f.txt", "--pairs", "p.ce", "--pattern", k, "k.txt", "--genes", "g.txt"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(std::string("pattern ") + k), std::string::npos) << r.err;
        for (const char* f : {"f.txt", "p.ce", "k.txt", "g.txt"})
            EXPECT_FALSE(Exists(f)) << f;
    }
    // Pattern 0 (genes without a pattern) is carried by g4, g5 and g6.
    const CliResult r = Run({"t.txt", "--pattern", "0", "k.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = Lines(Read("k.txt"), true);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[1], "\"ID:\"\t\"g4_at\"");
}

// An output that is the table or another output is refused before anything is
// computed, however it is spelt: another path, a symbolic or a hard link. Two
// outputs to a device are only written one after the other.
TEST_F(CliTest, OutputThatIsTheTableOrAnotherOutputIsRefused)
{
    fs::create_directory(Dir / "sub");
    fs::create_symlink("t.txt", Dir / "link.txt");
    fs::create_hard_link(Dir / "t.txt", Dir / "hard.txt");
    fs::create_symlink("later.bin", Dir / "dangling.bin");
    Write("old.txt", "earlier result\n");
    fs::create_symlink("old.txt", Dir / "old-link.txt");
    const std::string absolute = (Dir / "t.txt").string();
    struct Case {
        std::vector<std::string> args;
        std::string first, second; // both named in the message
    } cases[] = {
        {{"t.txt", "-q", "--filtered", "t.txt"}, "--filtered 't.txt'", "table 't.txt'"},
        {{"t.txt", "--matrix", "./t.txt"}, "--matrix './t.txt'", "table 't.txt'"},
        {{"t.txt", "--pairs", "sub/../t.txt"}, "--pairs 'sub/../t.txt'", "table 't.txt'"},
        {{"t.txt", "--genes", absolute}, "--genes '" + absolute + "'", "table 't.txt'"},
        {{"t.txt", "--arrays", "link.txt"}, "--arrays 'link.txt'", "table 't.txt'"},
        {{"link.txt", "--gene-list", "1", "t.txt"}, "--gene-list 't.txt'", "table 'link.txt'"},
        {{"./t.txt", "--pattern", "1", "hard.txt"}, "--pattern 'hard.txt'", "table './t.txt'"},
        // Not the first output: the check covers them all before any is written.
        {{"t.txt", "--genes", "g.txt", "--arrays", "t.txt"}, "--arrays 't.txt'", "table 't.txt'"},
        {{"t.txt", "--pairs", "x.txt", "--genes", "x.txt"}, "--pairs 'x.txt'", "--genes 'x.txt'"},
        {{"t.txt", "--genes", "./x.txt", "--matrix", "x.txt"}, "--matrix 'x.txt'", "--genes './x.txt'"},
        {{"t.txt", "--filtered", "sub/../x.txt", "--arrays", "x.txt"},
         "--filtered 'sub/../x.txt'",
         "--arrays 'x.txt'"},
        {{"t.txt", "--matrix", "dangling.bin", "--genes", "later.bin"},
         "--matrix 'dangling.bin'",
         "--genes 'later.bin'"},
        {{"t.txt", "--pairs", "old.txt", "--arrays", "old-link.txt"},
         "--pairs 'old.txt'",
         "--arrays 'old-link.txt'"},
    };
    const std::set<std::string> before = {"t.txt",   "link.txt",     "hard.txt", "dangling.bin",
                                          "old.txt", "old-link.txt", "sub"};
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += "[" + a + "] ";
        SCOPED_TRACE(shown);
        const CliResult r = Run(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.first), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.second), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Usage: korvalent-cli"), std::string::npos);
        EXPECT_EQ(Read("t.txt"), SmallTable);
        EXPECT_EQ(Read("old.txt"), "earlier result\n");
        std::set<std::string> now;
        for (const auto& e : fs::directory_iterator(Dir))
            if (e.path().filename().string()[0] != '.') now.insert(e.path().filename().string());
        EXPECT_EQ(now, before);
    }

    // Not refused: a device written twice, and an earlier result replaced
    // through its link, leaving no temporary file.
    const CliResult r =
        Run({"t.txt", "--genes", "/dev/null", "--arrays", "/dev/null", "--pairs", "old-link.txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(Dir / "old-link.txt"));
    EXPECT_EQ(Lines(Read("old.txt"), true).size(), 7u);
    for (const auto& e : fs::directory_iterator(Dir))
        EXPECT_NE(e.path().filename().string().rfind(".old.txt.", 0), 0u) << e.path();
}

// The files of one run agree with each other and with the summary.
TEST_F(CliTest, SampleFilesAgree)
{
    const CliResult r =
        Run({SampleTable, "--matrix", "m.bin", "--genes", "g.txt", "--pairs", "p.ce", "--filtered", "f.txt",
             "--pattern", "2", "k.txt", "--gene-list", "300", "l.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<GeneRow> genes = ParseGenes(Read("g.txt"));
    const std::string m = Read("m.bin");
    const int n = 300;
    ASSERT_EQ(genes.size(), std::size_t(n));
    ASSERT_EQ(m.size(), std::size_t(n) * n);
    auto cell = [&](int i, int j) { return int(std::int8_t(m[std::size_t(i) * n + j])); };

    int pairs = 0, ceGenes = 0, maxPattern = 0;
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(cell(i, i), 100);
        int partners = 0;
        for (int j = 0; j < n; ++j) {
            if (j == i) continue;
            const int lower = cell(std::max(i, j), std::min(i, j));
            const int upper = cell(std::min(i, j), std::max(i, j));
            if (lower != 0) {
                ++partners;
                EXPECT_EQ(lower, upper) << i << "," << j; // power 1
                EXPECT_EQ(genes[i].pattern, genes[j].pattern);
            }
        }
        EXPECT_EQ(genes[i].nCE, partners) << i;
        pairs += partners;
        ceGenes += partners > 0;
        maxPattern = std::max(maxPattern, genes[i].pattern);
        EXPECT_EQ(genes[i].pattern > 0, partners > 0);
    }
    pairs /= 2;
    EXPECT_NE(r.out.find("coexpressed genes: " + std::to_string(ceGenes) + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("patterns: " + std::to_string(maxPattern) + "\n"), std::string::npos) << r.out;
    EXPECT_EQ(Lines(Read("p.ce"), true).size(), std::size_t(4 + pairs));
    EXPECT_EQ(Lines(Read("f.txt"), true).size(), std::size_t(1 + ceGenes));

    // The pattern file names the first gene of pattern 2 (gene 1 is not in it).
    ASSERT_NE(genes[0].pattern, 2);
    const auto first =
        std::find_if(genes.begin(), genes.end(), [](const GeneRow& g) { return g.pattern == 2; });
    ASSERT_NE(first, genes.end());
    const std::vector<std::string> k = Lines(Read("k.txt"), true);
    ASSERT_GE(k.size(), 2u);
    EXPECT_EQ(k[1], "\"ID:\"\t\"" + first->id + "\"");
    EXPECT_EQ(k.size(), 6 + std::size_t(std::count_if(genes.begin(), genes.end(),
                                                      [](const GeneRow& g) { return g.pattern == 2; })));

    // Gene 300 is the last line of the table.
    const std::vector<std::string> l = Lines(Read("l.txt"), true);
    ASSERT_GE(l.size(), 7u);
    EXPECT_EQ(l[1], "\"ID:\"\t\"" + genes[n - 1].id + "\"");
    EXPECT_EQ(std::count_if(l.begin() + 6, l.end(),
                            [&](const std::string& s) { return s.rfind(genes[n - 1].id + "\t", 0) == 0; }),
              1);
}

// After --renew the matrix holds the re-filtered stored correlations, the
// writers report the renewed power and threshold, and the summary counts
// genes with a co-expressed partner of higher index.
TEST_F(CliTest, RenewRefiltersTheStoredCorrelations)
{
    struct Case {
        int p;
        std::string t;
    };
    for (const Case& c : std::vector<Case>{{2, "0.8"}, {1, "0.95"}, {3, "0.7"}}) {
        SCOPED_TRACE(std::to_string(c.p) + " " + c.t);
        const CliResult r = Run({SampleTable, "-t", "0.6", "--renew", std::to_string(c.p), c.t, "--matrix",
                                 "m.bin", "--genes", "g.txt", "--pairs", "p.ce"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<GeneRow> genes = ParseGenes(Read("g.txt"));
        const std::string m = Read("m.bin");
        const int n = 300;
        ASSERT_EQ(m.size(), std::size_t(n) * n);
        auto cell = [&](int i, int j) { return int(std::int8_t(m[std::size_t(i) * n + j])); };

        const double T = std::exp(std::log(double(std::stof(c.t))) * (1.0 / c.p));
        std::vector<int> nCE(n, 0);
        int running = 0, pairs = 0;
        for (int i = 0; i < n; ++i) {
            bool higher = false;
            for (int j = i + 1; j < n; ++j) {
                const double q = cell(i, j) * 0.01;
                int expected = 0;
                if (std::fabs(q) > T) {
                    double v = 1;
                    for (int k = 0; k < c.p; ++k)
                        v *= q;
                    expected = int(std::trunc(100 * v));
                    ++nCE[i];
                    ++nCE[j];
                    higher = true;
                    ++pairs;
                }
                EXPECT_EQ(cell(j, i), expected) << i << "," << j;
            }
            running += higher;
        }
        for (int g = 0; g < n; ++g)
            EXPECT_EQ(genes[g].nCE, nCE[g]) << g;
        EXPECT_NE(r.out.find("coexpressed genes: " + std::to_string(running) + "\n"), std::string::npos)
            << r.out;
        const std::vector<std::string> p = Lines(Read("p.ce"), true);
        ASSERT_EQ(p.size(), std::size_t(4 + pairs));
        EXPECT_EQ(p[1], "\"Filtering power:\"\t" + std::to_string(c.p));
        char expectedT[64];
        std::snprintf(expectedT, sizeof expectedT, "\"Filtering threshold:\"\t%f", std::stod(c.t));
        EXPECT_EQ(p[2], expectedT);
    }
}

TEST_F(CliTest, WritersReportTheTypedThreshold)
{
    // 16777217.5 has no float of its own: the calculation uses 16777218, the
    // file header the number as typed.
    const CliResult r = Run({"t.txt", "-t", "16777217.5", "--pairs", "p.ce", "--gene-list", "1", "l.txt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("coexpressed genes: 0\npatterns: 0\n"), std::string::npos);
    EXPECT_EQ(Lines(Read("p.ce"), true).at(2), "\"Filtering threshold:\"\t16777217.500000");
    const std::vector<std::string> l = Lines(Read("l.txt"), true);
    EXPECT_EQ(l.at(4), "\"Filtering threshold:\"\t16777217.500000");
    EXPECT_EQ(l.size(), 6u); // headers only
}

// ----------------------------------------------------------------- progress

TEST_F(CliTest, ProgressOnlyOnATerminalAndNotWhenQuiet)
{
    struct Case {
        std::vector<std::string> args;
        Err err;
        std::vector<std::string> shown; // empty: standard error stays empty
    };
    const std::vector<Case> cases = {
        {{SampleTable}, Err::Terminal, {"co-expression", "100%"}},
        {{SampleTable, "--renew", "1", "0.95"}, Err::Terminal, {"co-expression", "re-calculation", "100%"}},
        {{SampleTable, "-q"}, Err::Terminal, {}},
        {{SampleTable, "--renew", "1", "0.95", "--quiet"}, Err::Terminal, {}},
        {{SampleTable}, Err::File, {}},
        {{SampleTable, "--no-ce"}, Err::Terminal, {}},
    };
    const std::string expectedOut = Run({SampleTable, "-q"}).out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + (c.err == Err::Terminal ? " on a terminal" : " to a file"));
        const CliResult r = Run(c.args, c.err);
        EXPECT_EQ(r.status, 0);
        if (c.args.size() == 1 || c.args[1] == "-q") EXPECT_EQ(r.out, expectedOut);
        if (c.shown.empty()) EXPECT_EQ(r.err, "");
        for (const std::string& s : c.shown)
            EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
        // The engine's own console texts never reach either stream.
        EXPECT_EQ(r.out.find("Progress:"), std::string::npos);
        EXPECT_EQ(r.err.find('\b'), std::string::npos);
    }
}

} // namespace

// ------------------------------------------------- line ends, memory, power

TEST_F(CliTest, CarriageReturnLineEndsLoadAsLineFeeds)
{
    std::string text = ReadFile(SampleTable);
    ASSERT_FALSE(text.empty());
    for (char& c : text)
        if (c == '\n') c = '\r';
    Write("cr.txt", text);
    const CliResult lf = Run({SampleTable, "--genes", "lf.tsv"});
    const CliResult cr = Run({"cr.txt", "--genes", "cr.tsv"});
    EXPECT_EQ(cr.status, 0) << cr.err;
    EXPECT_EQ(cr.out, Summary("cr.txt", "genes: 300\narrays: 12\nvalues: 3600\nmissing: 74 (2%)\n"
                                        "mean: 8.83850\nsd: 2.34790\n",
                              "coexpressed genes: 58\npatterns: 11\n"));
    EXPECT_EQ(cr.out.substr(cr.out.find('\n')), lf.out.substr(lf.out.find('\n')));
    EXPECT_EQ(Read("cr.tsv"), Read("lf.tsv"));
}

namespace {

// Sets KORVALENT_MEMORY_AVAILABLE (inherited by the tool) for the life of the object.
struct cFakeMemory {
    explicit cFakeMemory(const std::string& bytes) { ::setenv("KORVALENT_MEMORY_AVAILABLE", bytes.c_str(), 1); }
    ~cFakeMemory() { ::unsetenv("KORVALENT_MEMORY_AVAILABLE"); }
};

} // namespace

TEST_F(CliTest, TableThatDoesNotFitInMemoryIsRefused)
{
    const cFakeMemory fake("1000000");
    const CliResult r = Run({"t.txt", "--genes", "g.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const std::string bytes = std::to_string(6 * (316 + sizeof(float*) + 4 * 5) + 72 * 5);
    EXPECT_EQ(r.err, "korvalent-cli: Cannot load the table 't.txt'. Not enough memory to load the table (" + bytes +
                         " bytes needed).\n");
    EXPECT_FALSE(Exists("g.txt"));
}

TEST_F(CliTest, MatrixThatDoesNotFitInMemoryIsRefusedBeforeTheCalculation)
{
    // 20,000 genes of two arrays: the table takes under 7 MB, the matrix 381 MB.
    std::string text = "ID\tName\tA\tB\n";
    for (int g = 0; g < 20000; ++g)
        text += "gene_" + std::to_string(g) + "_at\tg\t" + std::to_string(g % 7) + "\t" + std::to_string(g % 5) + "\n";
    Write("wide.txt", text);
    const cFakeMemory fake(std::to_string(100 << 20));
    const CliResult r = Run({"wide.txt", "--genes", "g.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "korvalent-cli: Not enough memory for the co-expression matrix of 20000 genes: 381 MB needed, "
                     "100 MB available.\n");
    EXPECT_FALSE(Exists("g.txt"));
    // Without the matrix the table alone fits.
    const CliResult n = Run({"wide.txt", "--no-ce"});
    EXPECT_EQ(n.status, 0) << n.err;
}

TEST_F(CliTest, LargestPowerRunsAndAboveItIsRefused)
{
    const CliResult ok = Run({SampleTable, "-p", "1000", "-t", "0.5", "--renew", "1000", "0.4"});
    EXPECT_EQ(ok.status, 0) << ok.err;
    const CliResult no = Run({SampleTable, "-p", "2147483647"});
    EXPECT_EQ(no.status, 2);
    EXPECT_EQ(no.out, "");
    EXPECT_EQ(no.err.substr(0, no.err.find('\n')),
              "korvalent-cli: The correlation power must be at most 1000: higher powers would take too long to "
              "compute.");
}
