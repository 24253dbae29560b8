#pragma once
// Whether what is on screen changed since it was last drawn. Every change that a
// renderer would draw differently (a frame, a colour, a text, the tree itself)
// calls setNeedsDisplay(); running animations keep the screen changing until they
// end. A renderer calls didDisplay() after drawing. Main thread only.

#include <cstdint>

namespace tolba::platform {

// Counts changes; never goes back.
std::uint64_t displayGeneration();
void setNeedsDisplay();
// The generation that was last drawn.
std::uint64_t displayedGeneration();
void didDisplay();
// True when a change was made since the last didDisplay().
inline bool needsDisplay() { return displayGeneration() != displayedGeneration(); }

}  // namespace tolba::platform
