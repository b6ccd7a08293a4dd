#include "drivers/portgate/id_strings.h"

namespace pvn::gate {

void UpperCaseAscii(WCHAR* text) {
  if (!text) return;
  for (; *text; ++text) {
    if (*text >= u'a' && *text <= u'z') *text = static_cast<WCHAR>(*text - 0x20);
  }
}

bool IdEquals(const WCHAR* left, const WCHAR* right) {
  if (!left || !right) return false;
  while (*left && *left == *right) {
    ++left;
    ++right;
  }
  return *left == *right;
}

bool IdContains(const WCHAR* haystack, const WCHAR* needle) {
  if (!haystack || !needle) return false;
  for (;; ++haystack) {
    const WCHAR* h = haystack;
    const WCHAR* n = needle;
    while (*n && *h == *n) {
      ++h;
      ++n;
    }
    if (!*n) return true;
    if (!*haystack) return false;
  }
}

}  // namespace pvn::gate
