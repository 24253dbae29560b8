#include "toolkit/display.h"

namespace tolba::platform {

namespace {
std::uint64_t generation = 1;
std::uint64_t displayed = 0;
}  // namespace

std::uint64_t displayGeneration() { return generation; }
void setNeedsDisplay() { ++generation; }
std::uint64_t displayedGeneration() { return displayed; }
void didDisplay() { displayed = generation; }

}  // namespace tolba::platform
