// Bounded random-input driver for a fuzz target, used where libFuzzer is not
// built (for example under GCC with AddressSanitizer). It feeds the target its
// built-in seeds and then seeded random mutations of them until the iteration
// or time budget is spent. Files named on the command line are run once each,
// to replay an input found elsewhere.
//
//   fuzz_xxx [--iterations N] [--seconds S] [--seed K] [--max-size B] [FILE...]
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using Bytes = std::string;

using namespace std::literals;

// Literals with the sv suffix keep their NUL bytes.
const std::string_view Seeds[] = {
    "ID\tName\tA1\tA2\tA3\ng1_at\tgene one\t1.5\t2\t3\ng2_at\tgene two\t-1\tNA\t4e2\n"sv,
    "# exported\r\n\r\n\"ID\"\t\"Name\"\t\"Array 1\"\t\"Array 2\"\r\n\"x_at\"\t\"a, b\"\t1,25\t\r\ny_at\tn\tNaN\t.5\r\n"sv,
    "preamble\nName\tthe ID\tB\n0123456789A\nlonger line\twith\ttabs\t1e39\t-1e-400\t+7.\n"sv,
    "ID\tName\ng\t\t\t\nno tabs on this long line\none tab\there\n"sv,
    "ID Name\tX\tY\tZ\n\0gene\tna\0me\t1\0N\t\"2\"\t0x1A\tinf\n"sv,
    "title\rID\tName\tA1\tA2\rg1_at\tAlpha\t1\t2\r\rg2_at\tBeta\t3\tNA"sv,
};

// Characters that steer the loader into its different paths.
const char Alphabet[] = "\t\n\r\"N,.eE+-0123456789 IDNamexa\0";

class cMutator {
  public:
    cMutator(std::uint64_t seed, std::size_t maxSize) : Rng(seed), MaxSize(maxSize) {}

    Bytes Next(const std::vector<Bytes>& pool)
    {
        Bytes b = pool[Pick(pool.size())];
        const int steps = 1 + int(Pick(8));
        for (int i = 0; i < steps; ++i)
            Mutate(b, pool);
        if (b.size() > MaxSize) b.resize(MaxSize);
        return b;
    }

  private:
    std::size_t Pick(std::size_t n) { return n ? std::size_t(Rng() % n) : 0; }
    char Char()
    {
        return Pick(4) == 0 ? char(Pick(256))
                            : Alphabet[Pick(sizeof Alphabet)]; // the terminator is a NUL too
    }

    void Mutate(Bytes& b, const std::vector<Bytes>& pool)
    {
        const std::size_t at = Pick(b.size() + 1);
        switch (Pick(9)) {
        case 0: // overwrite a byte
            if (!b.empty()) b[Pick(b.size())] = Char();
            break;
        case 1: // insert a few bytes
            for (std::size_t n = 1 + Pick(4); n > 0; --n)
                b.insert(b.begin() + std::ptrdiff_t(at), Char());
            break;
        case 2: // erase a range
            if (!b.empty()) b.erase(at == b.size() ? at - 1 : at, 1 + Pick(16));
            break;
        case 3: { // duplicate a range
            const std::size_t from = Pick(b.size() + 1);
            b.insert(at, b.substr(from, 1 + Pick(64)));
            break;
        }
        case 4: // a long run: long fields and lines
            b.insert(at, Bytes(1 + Pick(400), Char()));
            break;
        case 5: { // splice in part of another input
            const Bytes& o = pool[Pick(pool.size())];
            b.insert(at, o.substr(Pick(o.size() + 1), 1 + Pick(128)));
            break;
        }
        case 6: { // a number-like token
            static const char* const Tokens[] = {"1e38",  "-3.4028236e38",
                                                 "1e-45", "99999999999999999999e9999",
                                                 ".",     "5.",
                                                 "-.5e-", "1,2,3",
                                                 "NA",    "nan",
                                                 "\"",    "ID\tName"};
            b.insert(at, Tokens[Pick(std::size(Tokens))]);
            break;
        }
        case 7: // many columns
            b.insert(at, Bytes(1 + Pick(200), '\t'));
            break;
        default: // many lines
            for (std::size_t n = 1 + Pick(20); n > 0; --n)
                b.insert(at, "gene_line\t1\n");
            break;
        }
    }

    std::mt19937_64 Rng;
    std::size_t MaxSize;
};

void Run(const Bytes& b)
{
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(b.data()), b.size());
}

bool ReadNumber(const char* text, unsigned long long& out)
{
    char* end = nullptr;
    out = std::strtoull(text, &end, 10);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv)
{
    unsigned long long iterations = 10000, seconds = 10, seed = 1, maxSize = 1 << 16;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        unsigned long long* target = a == "--iterations" ? &iterations
                                     : a == "--seconds"  ? &seconds
                                     : a == "--seed"     ? &seed
                                     : a == "--max-size" ? &maxSize
                                                         : nullptr;
        if (target) {
            if (i + 1 >= argc || !ReadNumber(argv[++i], *target)) {
                std::fprintf(stderr, "%s needs a number\n", a.c_str());
                return 2;
            }
        } else if (a.rfind("--", 0) == 0) {
            std::fprintf(stderr,
                         "usage: %s [--iterations N] [--seconds S] [--seed K] [--max-size B] [FILE...]\n",
                         argv[0]);
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }

    if (!files.empty()) {
        for (const char* f : files) {
            std::ifstream in(f, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", f);
                return 2;
            }
            Run(Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
        }
        std::printf("ran %zu file(s)\n", files.size());
        return 0;
    }

    std::vector<Bytes> pool;
    for (std::string_view s : Seeds)
        pool.emplace_back(s);
    pool.emplace_back();
    for (const Bytes& b : pool)
        Run(b);

    cMutator m(seed, std::size_t(maxSize));
    const auto start = std::chrono::steady_clock::now();
    unsigned long long done = 0;
    for (; done < iterations; ++done) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(seconds)) break;
        Bytes b = m.Next(pool);
        Run(b);
        // Keep some mutants as parents so that changes accumulate.
        if (done % 16 == 0 && pool.size() < 256) pool.push_back(std::move(b));
    }
    std::printf("%llu random inputs (seed %llu) ran without a fault\n", done, seed);
    return 0;
}
