#pragma once
// The process command line as Windows keeps it: one string, from which the
// program splits its arguments itself. A Linux process receives its arguments
// already split, so the string is rebuilt from them with the quoting that
// Windows programs use when they start one another; splitting it again with
// CommandLineToArgvW gives back the same arguments.
#include <string>
#include <string_view>
#include <vector>

namespace pvn::desktop {

// Records the process's arguments (UTF-8, as main receives them). Until it is
// called the command line is empty.
void SetProcessArguments(int argc, const char* const* argv);

// GetCommandLineW.
std::u16string GetCommandLineW();

// Quotes one argument so that CommandLineToArgvW reads it back unchanged.
// The program name (first element) is quoted only when it holds a blank or a
// tab, since it is read without backslash escapes.
std::u16string QuoteArgument(std::u16string_view argument, bool programName = false);

// CommandLineToArgvW: the program name ends at the first blank or tab, or at
// the closing quotation mark when it starts with one. In the other arguments
// 2n backslashes before a quotation mark give n backslashes and toggle
// quoting, 2n + 1 give n backslashes and a literal quotation mark, and "" in a
// quoted part is a literal quotation mark.
std::vector<std::u16string> CommandLineToArgvW(std::u16string_view commandLine);

}  // namespace pvn::desktop
