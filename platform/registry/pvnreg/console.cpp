#include "platform/registry/pvnreg/console.h"

#include <cctype>
#include <iostream>

#include "platform/base/unicode.h"

namespace pvn::reg::tool {

void Out(std::string_view text) {
  std::cout << text << std::flush;
}
void Err(std::string_view text) {
  std::cerr << text << std::flush;
}
std::string Utf8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

int SyntaxError(std::string_view operation) {
  Err("ERROR: Invalid syntax.\nType \"PVNREG " + std::string(operation) + " /?\" for usage.\n");
  return kExitFailure;
}

int InvalidKeyName(std::string_view operation) {
  Err("ERROR: Invalid key name.\nType \"PVNREG " + std::string(operation) + " /?\" for usage.\n");
  return kExitFailure;
}

int RegistryError(win::Error error) {
  switch (error) {
    case win::ERROR_FILE_NOT_FOUND:
    case win::ERROR_PATH_NOT_FOUND:
    case win::ERROR_KEY_DELETED:
      Err(std::string(kNotFound) + "\n");
      break;
    case win::ERROR_ACCESS_DENIED:
      Err(std::string(kAccessDenied) + "\n");
      break;
    default:
      Err("ERROR: Error accessing the registry.\n");
      break;
  }
  return kExitFailure;
}

bool Confirm(std::string_view question) {
  for (;;) {
    Out(question);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    std::string word;
    for (char c : answer)
      if (!std::isspace(static_cast<unsigned char>(c)))
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (word == "y" || word == "yes") return true;
    if (word == "n" || word == "no") return false;
  }
}

}  // namespace pvn::reg::tool
