// Fuzz target: any byte sequence given to the loader must load or be refused
// cleanly, leave a consistent object, and survive normalization. The same
// bytes are also loaded from a real file (a memfd, read in chunks whose size
// the input picks, so lines and CR LF pairs span reads and the last read is
// short) and from a pipe (read whole, the read returning fewer bytes than
// asked); both must give exactly what the in-memory loader gives.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "ExprData.h"

namespace {

class cQuietData : public cExprData {
  public:
    void Print(const char* text) override
    {
        if (std::strcmp(text, "Memory leak detected!") == 0) std::abort();
    }
};

void Require(bool ok)
{
    if (!ok) std::abort();
}

// FNV-1a over everything a load leaves that a caller can see.
struct cHash {
    std::uint64_t h = 1469598103934665603ull;
    void Add(const void* p, std::size_t n)
    {
        const unsigned char* b = static_cast<const unsigned char*>(p);
        for (std::size_t i = 0; i < n; ++i)
            h = (h ^ b[i]) * 1099511628211ull;
    }
    template <typename T> void Add(const T& v) { Add(&v, sizeof v); }
};

std::uint64_t Fingerprint(const cExprData& d, int rc)
{
    cHash h;
    h.Add(rc);
    h.Add(d.LoadError);
    h.Add(d.LoadMessage.data(), d.LoadMessage.size());
    h.Add(d.nGenes);
    h.Add(d.nArrays);
    h.Add(d.MemUsed);
    for (int a = 0; a < d.nArrays; ++a) {
        h.Add(d.ArrayName[a], std::strlen(d.ArrayName[a]) + 1);
        h.Add(d.ArrayMean[a]);
        h.Add(d.ArraySD[a]);
    }
    for (int g = 0; g < d.nGenes; ++g) {
        h.Add(d.GeneID[g], std::strlen(d.GeneID[g]) + 1);
        h.Add(d.GeneName[g], std::strlen(d.GeneName[g]) + 1);
        h.Add(d.nPresent[g]);
        h.Add(d.Data[g], sizeof(float) * std::size_t(d.nArrays));
    }
    h.Add(d.TotalMean);
    h.Add(d.TotalSD);
    return h.h;
}

// Checks the object after a load; returns its fingerprint.
std::uint64_t Check(cQuietData& d, int r)
{
    if (r < 0) {
        Require(d.nGenes == 0 && d.nArrays == 0 && d.MemUsed == 0 && d.Data == nullptr);
        Require(d.LoadError != cLoadError::None && !d.LoadMessage.empty());
        return Fingerprint(d, r);
    }
    Require(d.LoadError == cLoadError::None && d.LoadMessage.empty());
    const std::int64_t genes = d.nGenes, arrays = d.nArrays;
    Require(std::int64_t(r) == genes * arrays);
    Require(d.MemUsed == genes * (316 + 4 * arrays) + 72 * arrays);
    for (int a = 0; a < d.nArrays; ++a)
        Require(std::strlen(d.ArrayName[a]) < cExprData::ArrayLen);
    for (int g = 0; g < d.nGenes; ++g) {
        Require(std::strlen(d.GeneID[g]) < cExprData::IDLen);
        Require(std::strlen(d.GeneName[g]) < cExprData::NameLen);
        Require(d.nPresent[g] <= unsigned(d.nArrays));
        unsigned finite = 0;
        for (int a = 0; a < d.nArrays; ++a)
            finite += IsPresent(d.Data[g][a]);
        Require(finite <= d.nPresent[g]); // overflowing numbers count, yet are not present
    }
    return Fingerprint(d, r);
}

void Normalize(cQuietData& d)
{
    d.NormGenes(true, true);
    d.NormArrays(true, true);
    d.Free();
    Require(d.MemUsed == 0);
}

// A file holding the bytes: a memfd, or an unlinked temporary file.
int FileWith(const std::uint8_t* data, std::size_t size)
{
    int fd = -1;
#if defined(__linux__)
    fd = memfd_create("korvalent-fuzz", MFD_CLOEXEC);
#endif
    if (fd < 0) {
        char name[] = "/tmp/korvalent-fuzz-XXXXXX";
        fd = mkstemp(name);
        Require(fd >= 0);
        unlink(name);
    }
    for (std::size_t at = 0; at < size;) {
        const ssize_t w = write(fd, data + at, size - at);
        Require(w > 0 || errno == EINTR);
        if (w > 0) at += std::size_t(w);
    }
    return fd;
}

std::string FdPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Tables above 1 GiB are refused as not fitting: the refusal is exercised
    // and the run's memory stays bounded whatever the machine has.
    setenv("KORVALENT_MEMORY_AVAILABLE", "1073741824", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool initialized = LLVMFuzzerInitialize(nullptr, nullptr) == 0;
    (void)initialized;

    std::uint64_t want;
    {
        cQuietData d;
        const int r = d.LoadBuffer(reinterpret_cast<const char*>(data), size);
        want = Check(d, r);
        if (r >= 0) Normalize(d);
    }

    // From a file, in chunks of 1 to 64 bytes (the last input byte picks) or
    // the default size.
    {
        const int fd = FileWith(data, size);
        cQuietData d;
        if (size > 0 && (data[size - 1] & 0x80) == 0) d.LoadChunkBytes = 1 + (data[size - 1] & 63);
        const int r = d.Load(FdPath(fd).c_str());
        close(fd);
        Require(Check(d, r) == want);
    }

    // From a pipe holding the whole input: the first read returns fewer bytes
    // than asked (the loader asks for more than the pipe holds), the next 0.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) == 0) {
        bool whole = fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0;
        for (std::size_t at = 0; whole && at < size;) {
            const ssize_t w = write(fds[1], data + at, size - at);
            if (w > 0)
                at += std::size_t(w);
            else if (errno != EINTR)
                whole = false; // larger than the pipe: skipped
        }
        close(fds[1]);
        if (whole) {
            cQuietData d;
            d.LoadChunkBytes = size + 1 + (size > 0 ? data[0] : 0);
            const int r = d.Load(FdPath(fds[0]).c_str());
            Require(Check(d, r) == want);
        }
        close(fds[0]);
    }
    return 0;
}
