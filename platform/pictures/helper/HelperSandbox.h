#pragma once

#include <cstdint>
#include <string>

namespace pravix
{
namespace helper
{

// The bounds a picture decoder helper process puts on itself before it reads a byte of the picture, all
// enforced by the kernel: at most `memoryBytes` of private memory and shared rows together, at most
// `cpuSeconds` of processor time, no core dump, no capabilities, and a system call filter that lets it
// read and write the descriptors it was given, map memory and run threads, and nothing else: no file
// opened, no socket, no process started. It ends with the program that started it.
struct SandboxLimits
{
    uint64_t memoryBytes = 0;
    uint32_t cpuSeconds = 0;
    int parent = 0;
};

// False, with why, when a bound cannot be set (the helper must then not go on).
bool enterSandbox(const SandboxLimits& limits, std::string& why);

// The decoded rows are about to take `bytes` of shared memory: the private memory left to the decoder
// shrinks by as much, and the shared file may grow to that and no further. False when that leaves the
// decoder too little.
bool reserveForRows(uint64_t bytes);

// Whether the system call filter is part of the sandbox on this machine.
bool filtersSystemCalls();

}  // namespace helper
}  // namespace pravix
