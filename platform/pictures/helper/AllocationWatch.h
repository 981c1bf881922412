#pragma once

namespace pravix
{
namespace helper
{

// Whether an allocation of the helper process has been refused (the memory limit reached). Any
// allocation failing is what tells a decoder that ran out of memory from one refusing a damaged file,
// whatever message its library then gives.
bool allocationRefused();
// Notes a refusal seen outside malloc (a mapping of our own that failed).
void noteAllocationRefused();

}  // namespace helper
}  // namespace pravix
