#pragma once
// A pvnhost daemon for one test: boots the machine of the current prefix in
// its own process and shuts it down again at the end of the test.
//
//   pvn::testing::TempPrefix prefix;
//   pvn::machine::testing::MachineProcess machine(BinDir());
//   ASSERT_TRUE(machine.running()) << machine.error();
//   auto result = machine.Run("plug " + CatalogFile("usb-stick-sandisk.json").string());
#include <filesystem>
#include <string>

namespace pvn::machine::testing {

class MachineProcess {
 public:
  // `binDir` holds pvnhost (build/bin).
  explicit MachineProcess(const std::filesystem::path& binDir);
  ~MachineProcess();  // pvnhost shutdown
  MachineProcess(const MachineProcess&) = delete;
  MachineProcess& operator=(const MachineProcess&) = delete;

  bool running() const { return running_; }
  const std::string& error() const { return error_; }

  struct Output {
    int status = -1;  // exit status
    std::string out;  // standard output
    std::string err;  // standard error
  };
  // Runs "pvnhost <arguments>" (a shell command line).
  Output Run(const std::string& arguments) const;

 private:
  std::filesystem::path pvnhost_;
  bool running_ = false;
  std::string error_;
};

}  // namespace pvn::machine::testing
