// How much memory the process can still take, and the check made before a
// large allocation (the table in Load, the co-expression matrix before CalcCE)
// so that a request that cannot fit is refused with a message instead of the
// process being killed part-way by the system.
#pragma once

#include <cstdint>
#include <string>

// Bytes this process can still take, or -1 when unknown. The least of:
//  - MemAvailable of /proc/meminfo;
//  - for the process's own memory cgroup and each one above it, the limit less
//    the usage that cannot be reclaimed (cgroup v2: memory.max less
//    memory.current plus inactive_file of memory.stat; cgroup v1:
//    memory.limit_in_bytes less memory.usage_in_bytes plus total_inactive_file);
//  - a finite address-space limit (RLIMIT_AS) less the address space in use.
// Testing aid: the environment variable KORVALENT_MEMORY_AVAILABLE, a whole
// number of bytes, replaces all of these (a negative value means unknown).
std::int64_t AvailableMemory();

// Empty when `bytes` fit in what is available with the margin; else a message
// worded for the user, e.g. "Not enough memory for the co-expression matrix of
// 60000 genes: 3433 MB needed, 1800 MB available." `what` names the thing to be
// allocated ("the co-expression matrix of 60000 genes"). When the available
// amount is unknown nothing is refused.
std::string MemoryShortfall(std::uint64_t bytes, const char* what);

// The part of the available memory that MemoryShortfall keeps free: 10% of the
// request plus 64 MB (see Memory.cpp).
std::uint64_t MemoryMargin(std::uint64_t bytes);
