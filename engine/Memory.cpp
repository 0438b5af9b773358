#include "Memory.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#if defined(__linux__)
#include <sys/resource.h>
#endif

namespace {

constexpr std::int64_t Unknown = -1;
// Limits at or above this (cgroup v1 writes "no limit" as a number near 2^63)
// are no limits.
constexpr std::int64_t NoLimit = std::int64_t(1) << 62;

bool ParseInt(std::string_view s, std::int64_t& v)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    if (s.empty()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// The whole first line of a small file, or empty.
std::string FirstLine(const std::string& path)
{
    std::ifstream f(path);
    std::string line;
    if (f) std::getline(f, line);
    return line;
}

// The value of "key value [kB]" in a /proc or memory.stat style file, scaled by
// `unit`; Unknown when absent.
std::int64_t KeyValue(const std::string& path, std::string_view key, std::int64_t unit)
{
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        if (line.size() <= key.size() || line.compare(0, key.size(), key) != 0) continue;
        const char c = line[key.size()];
        if (c != ' ' && c != '\t' && c != ':') continue;
        std::istringstream rest(line.substr(key.size() + 1));
        std::int64_t v = 0;
        if (rest >> v && v >= 0) return v * unit;
        return Unknown;
    }
    return Unknown;
}

std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    std::istringstream s(line);
    std::string w;
    while (s >> w)
        out.push_back(w);
    return out;
}

struct cMount {
    std::string root;  // the hierarchy's path shown at the mount point
    std::string point; // where it is mounted
};

// The mount of the cgroup v2 hierarchy (v2) or of the v1 hierarchy holding the
// memory controller (!v2); empty point when there is none.
cMount FindMount(bool v2)
{
    std::ifstream f("/proc/self/mountinfo");
    std::string line;
    while (std::getline(f, line)) {
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        const std::vector<std::string> a = Fields(line.substr(0, dash));
        const std::vector<std::string> b = Fields(line.substr(dash + 3));
        if (a.size() < 5 || b.size() < 1) continue;
        if (v2 ? b[0] != "cgroup2" : b[0] != "cgroup") continue;
        if (!v2) {
            // The memory controller among the super options.
            const std::string opts = b.size() >= 3 ? "," + b[2] + "," : "";
            if (opts.find(",memory,") == std::string::npos) continue;
        }
        return {a[3], a[4]};
    }
    return {};
}

// The process's own cgroup path in the hierarchy (v2: the "0::" line; v1: the
// line whose controllers include memory); empty when absent.
std::string OwnCgroup(bool v2)
{
    std::ifstream f("/proc/self/cgroup");
    std::string line;
    while (std::getline(f, line)) {
        const std::size_t c1 = line.find(':');
        const std::size_t c2 = c1 == std::string::npos ? c1 : line.find(':', c1 + 1);
        if (c2 == std::string::npos) continue;
        const std::string controllers = line.substr(c1 + 1, c2 - c1 - 1);
        const bool match = v2 ? line.compare(0, c1, "0") == 0 && controllers.empty()
                              : ("," + controllers + ",").find(",memory,") != std::string::npos;
        if (match) return line.substr(c2 + 1);
    }
    return {};
}

// What the cgroup folder `dir` still allows; Unknown without a limit there.
std::int64_t CgroupRoom(const std::string& dir, bool v2)
{
    std::int64_t limit = 0, usage = 0;
    if (v2) {
        const std::string max = FirstLine(dir + "/memory.max");
        if (!ParseInt(max, limit)) return Unknown; // "max" or no file
        if (!ParseInt(FirstLine(dir + "/memory.current"), usage)) return Unknown;
    } else {
        if (!ParseInt(FirstLine(dir + "/memory.limit_in_bytes"), limit)) return Unknown;
        if (!ParseInt(FirstLine(dir + "/memory.usage_in_bytes"), usage)) return Unknown;
    }
    if (limit >= NoLimit) return Unknown;
    // The usage counts the page cache; its inactive part is given back under
    // pressure before anything is refused, so it counts as room.
    const std::int64_t inactive = KeyValue(dir + "/memory.stat", v2 ? "inactive_file" : "total_inactive_file", 1);
    if (inactive > 0) usage = std::max<std::int64_t>(0, usage - inactive);
    return std::max<std::int64_t>(0, limit - usage);
}

// The least room of the process's cgroup and every cgroup above it up to the
// mounted root, for one hierarchy.
std::int64_t CgroupAvailable(bool v2)
{
    const cMount m = FindMount(v2);
    if (m.point.empty()) return Unknown;
    std::string path = OwnCgroup(v2);
    if (path.empty()) return Unknown;
    // Inside a cgroup namespace or a bind mount, the mount shows a subtree.
    if (m.root != "/" && path.compare(0, m.root.size(), m.root) == 0) path.erase(0, m.root.size());
    std::ifstream probe(m.point + path + "/cgroup.procs");
    if (!probe) path.clear(); // not visible here: only the mounted root can be read
    std::int64_t best = Unknown;
    for (;;) {
        const std::int64_t room = CgroupRoom(m.point + path, v2);
        if (room >= 0 && (best < 0 || room < best)) best = room;
        const std::size_t slash = path.find_last_of('/');
        if (path.empty() || slash == std::string::npos) break;
        path.erase(slash);
    }
    return best;
}

std::int64_t AddressSpaceAvailable()
{
#if defined(__linux__)
    rlimit rl{};
    if (getrlimit(RLIMIT_AS, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return Unknown;
    const std::int64_t used = KeyValue("/proc/self/status", "VmSize", 1024);
    if (used < 0) return Unknown;
    const std::int64_t limit = static_cast<std::int64_t>(std::min<rlim_t>(rl.rlim_cur, rlim_t(NoLimit)));
    return std::max<std::int64_t>(0, limit - used);
#else
    return Unknown;
#endif
}

std::int64_t LeastKnown(std::int64_t a, std::int64_t b)
{
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

std::string Megabytes(std::uint64_t bytes)
{
    // Rounded to the nearest MB (2^20 bytes).
    return std::to_string((bytes + (std::uint64_t(1) << 19)) >> 20);
}

} // namespace

std::int64_t AvailableMemory()
{
    if (const char* fake = std::getenv("KORVALENT_MEMORY_AVAILABLE"); fake && *fake) {
        std::int64_t v = 0;
        if (ParseInt(fake, v)) return v < 0 ? Unknown : v;
    }
    std::int64_t best = KeyValue("/proc/meminfo", "MemAvailable", 1024);
    best = LeastKnown(best, CgroupAvailable(true));
    best = LeastKnown(best, CgroupAvailable(false));
    best = LeastKnown(best, AddressSpaceAvailable());
    return best;
}

// The margin: 10% of the request plus 64 MB. The available figure is an
// estimate (MemAvailable guesses how much cache can be reclaimed), an
// allocation costs more than its bytes (page tables, heap rounding, the rows'
// pointers), and the process needs memory besides the request (the window,
// the correlation buffers and hit lists of the calculation, thread stacks),
// as does the rest of the system before it starts killing processes. 10%
// covers the costs that grow with the request, 64 MB those that do not.
std::uint64_t MemoryMargin(std::uint64_t bytes)
{
    return bytes / 10 + (std::uint64_t(64) << 20);
}

std::string MemoryShortfall(std::uint64_t bytes, const char* what)
{
    const std::int64_t available = AvailableMemory();
    if (available < 0) return {};
    const std::uint64_t room = static_cast<std::uint64_t>(available);
    const std::uint64_t margin = MemoryMargin(bytes);
    if (bytes <= room && margin <= room - bytes) return {};
    std::string text = std::string("Not enough memory for ") + (what && *what ? what : "this step") + ": " +
                       Megabytes(bytes) + " MB needed, " + Megabytes(room) + " MB available.";
    if (bytes <= room) text += " A margin of " + Megabytes(margin) + " MB is kept free.";
    return text;
}
