#pragma once
// The help texts of pvnreg: the overview and one page per operation.
#include <string_view>

namespace pvn::reg::tool {

std::string_view OverviewUsage();
// The page for an upper-case operation name; empty when there is none.
std::string_view OperationUsage(std::string_view operation);

}  // namespace pvn::reg::tool
