#pragma once
// The four pages of the main window, in tab order. Their controls come with
// the pages' own work; here they carry their templates' titles and sizes, so
// the sheet is laid out and captioned as it will be.
#include "console/ps_usb_portvane.h"
#include "console/ui/property_sheet.h"

namespace pvn::console {

class CPgUsbKeybMous : public ui::PropertyPage {
 public:
  CPgUsbKeybMous();
};

class CPgUsbStor : public ui::PropertyPage {
 public:
  CPgUsbStor();
};

class CPgOption : public ui::PropertyPage {
 public:
  CPgOption();
};

class CPgCfgTool : public ui::PropertyPage {
 public:
  CPgCfgTool();
};

// Adds the pages to the sheet, each followed by its header item: caption,
// sub-caption, 48 x 48 icon, the window colour and left alignment.
void AddConsolePages(CPsUsbPortvane& sheet);

}  // namespace pvn::console
