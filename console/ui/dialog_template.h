#pragma once
// Dialog and page layouts in dialog units, as a resource script would give
// them: a title, a size and the controls with their identifiers.
#include <cstdint>
#include <vector>

namespace pvn::ui {

enum class ControlKind {
  kLabel,          // static text
  kGroupBox,       // frame with a caption
  kEdit,           // single-line edit box
  kPushButton,     // push button
  kDefPushButton,  // the default push button
  kCheckBox,       // automatic check box
  kListView,       // report-style list
  kIcon,           // static icon, the text names no file: the icon is set by code
};

// Style bits of a control.
enum ControlStyle : std::uint32_t {
  kStyleNone = 0,
  kStylePassword = 1u << 0,    // edit shows bullets
  kStyleUpperCase = 1u << 1,   // edit turns typed letters to upper case
  kStyleNumber = 1u << 2,      // edit takes digits only
  kStyleDisabled = 1u << 3,    // created disabled
  kStyleHidden = 1u << 4,      // created hidden
  kStyleNoTabStop = 1u << 5,   // not reached by Tab
  kStyleAutoHScroll = 1u << 6  // edit scrolls horizontally (always so here)
};

// Identifier of controls that code never addresses.
inline constexpr int IDC_STATIC = -1;

struct ControlTemplate {
  int id = IDC_STATIC;
  ControlKind kind = ControlKind::kLabel;
  const char* text = "";  // UTF-8
  int x = 0, y = 0, cx = 0, cy = 0;
  std::uint32_t style = kStyleNone;
};

struct DialogTemplate {
  const char* title = "";  // UTF-8; a page's title is its tab label
  int cx = 0, cy = 0;
  std::vector<ControlTemplate> controls;
};

}  // namespace pvn::ui
