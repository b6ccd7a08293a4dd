// Bytes from a client through the HTTP layer's request path: parsing (with
// pipelined requests one after another), the request record and the layer's
// own answers.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/http/request_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pvn::http::detail;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint64_t> buffer(16384 / 8);
  while (!bytes.empty()) {
    ParsedRequest request;
    std::size_t consumed = 0;
    ParseOutcome outcome = ParseRequest(bytes, &request, &consumed);
    if (outcome != ParseOutcome::kComplete) {
      if (outcome != ParseOutcome::kNeedMore) (void)ErrorResponse(outcome);
      break;
    }
    std::size_t needed = 0;
    WriteRecord(request, 1, 1, buffer.data(), buffer.size() * 8, &needed);
    if (consumed == 0 || consumed > bytes.size()) __builtin_trap();
    bytes.remove_prefix(consumed);
  }
  return 0;
}
