#pragma once
// The string routines the admission decisions use. Identity strings are
// zero-terminated UTF-16; the drivers upper-case them once, when they are
// obtained, and compare them exactly afterwards.
#include "drivers/portgate/gate_kernel.h"

namespace pvn::gate {

// Lowers "a" to "z" by 0x20, leaving every other code unit (non-ASCII letters
// included) as it is, up to the first zero. A null text is left alone.
void UpperCaseAscii(WCHAR* text);

// True when both texts are present, equally long and equal unit for unit.
bool IdEquals(const WCHAR* left, const WCHAR* right);

// True when `needle` occurs as a contiguous run inside `haystack`. An empty
// needle is inside every haystack; a null text is inside nothing.
bool IdContains(const WCHAR* haystack, const WCHAR* needle);

}  // namespace pvn::gate
