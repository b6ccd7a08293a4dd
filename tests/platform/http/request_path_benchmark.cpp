// Cost of the request path on the I/O side: parsing a typical command
// request and laying it out as the request record.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/http/request_record.h"

namespace {

const std::string kRequest =
    "GET /PVN_SERVICE?PVN_CMD=STORAGE_ON HTTP/1.1\r\nHost: 127.0.0.1:10500\r\n"
    "User-Agent: curl/7.88.1\r\nAccept: */*\r\nPVN_Token: 50731942\r\n\r\n";

void BM_ParseRequest(benchmark::State& state) {
  using namespace pvn::http::detail;
  for (auto _ : state) {
    ParsedRequest request;
    std::size_t consumed = 0;
    benchmark::DoNotOptimize(ParseRequest(kRequest, &request, &consumed));
  }
}
BENCHMARK(BM_ParseRequest);

void BM_WriteRecord(benchmark::State& state) {
  using namespace pvn::http::detail;
  ParsedRequest request;
  std::size_t consumed = 0;
  ParseRequest(kRequest, &request, &consumed);
  std::vector<std::uint64_t> buffer(16384 / 8);
  for (auto _ : state) {
    std::size_t needed = 0;
    benchmark::DoNotOptimize(WriteRecord(request, 1, 1, buffer.data(), 16384, &needed));
  }
}
BENCHMARK(BM_WriteRecord);

}  // namespace

BENCHMARK_MAIN();
