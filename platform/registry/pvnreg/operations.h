#pragma once
// The operations of pvnreg. Each takes the arguments after the operation
// name and returns the exit code: 0 for success, 1 for failure.
#include <string>
#include <vector>

namespace pvn::reg::tool {

using Args = std::vector<std::string>;

int Query(const Args& args);
int Add(const Args& args);
int Delete(const Args& args);
int Export(const Args& args);
int Import(const Args& args);
int ReadOnly(const Args& args);

}  // namespace pvn::reg::tool
