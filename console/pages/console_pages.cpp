#include "console/pages/console_pages.h"

#include "console/resources.h"
#include "console/ui/system_colors.h"

namespace pvn::console {

namespace {
ui::DialogTemplate PageTemplate(const char* title) {
  return ui::DialogTemplate{title, 309, 187, {}};
}
}  // namespace

CPgUsbKeybMous::CPgUsbKeybMous() : ui::PropertyPage(PageTemplate("Keyboard/Mouse")) {}
CPgUsbStor::CPgUsbStor() : ui::PropertyPage(PageTemplate("Storage")) {}
CPgOption::CPgOption() : ui::PropertyPage(PageTemplate("Option")) {}
CPgCfgTool::CPgCfgTool() : ui::PropertyPage(PageTemplate("Import/Export")) {}

void AddConsolePages(CPsUsbPortvane& sheet) {
  const QColor window = ui::GetSysColor(ui::COLOR_WINDOW);
  sheet.AddPage(std::make_unique<CPgUsbKeybMous>());
  sheet.AddHeaderItem({LoadIconImage(IDI_KEYBMOUS, 48), "USB Keyboard/Mouse",
                       "Setting USB Keyboard/Mouse Permission", window, 0});
  sheet.AddPage(std::make_unique<CPgUsbStor>());
  sheet.AddHeaderItem(
      {LoadIconImage(IDI_STORAGE, 48), "USB Storage", "Setting USB Storage Permission", window, 0});
  sheet.AddPage(std::make_unique<CPgOption>());
  sheet.AddHeaderItem(
      {LoadIconImage(IDI_OPTION, 48), "Option", "USB Portvane Other Configurations", window, 0});
  sheet.AddPage(std::make_unique<CPgCfgTool>());
  sheet.AddHeaderItem({LoadIconImage(IDI_CFGTOOL, 48), "Import/Export",
                       "Import/Export USB Portvane Configurations", window, 0});
}

}  // namespace pvn::console
