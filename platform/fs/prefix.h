#pragma once
// The machine prefix: the one folder that holds the emulated PC.
//
//   registry.db                  HKEY_LOCAL_MACHINE
//   drive_c/Windows/System32/    system directory (Drivers/ below it)
//   drive_c/Program Files/       installation folders
//   drive_c/users/<user>/        per-user folders
//   run/                         sockets of the running machine
#include <filesystem>

namespace pvn::fs {

// $PVN_PREFIX, or ~/.portvane when it is not set. The folder and its layout are
// created on first use. The variable is read at every call, so a test can
// point the process at a fresh prefix by setting it.
std::filesystem::path Prefix();

std::filesystem::path DriveC();      // <prefix>/drive_c
std::filesystem::path RunDir();      // <prefix>/run
std::filesystem::path RegistryDb();  // <prefix>/registry.db

}  // namespace pvn::fs
