#pragma once
// The hardware of a new machine: a USB host controller with its root hub
// (the catalog's usb-host-controller.json, built in).
#include <string_view>

namespace pvn::machine {
extern const std::string_view kBaseHardware;
}
