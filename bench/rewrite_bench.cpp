// The Windows 95/98 rewrite of a large WININIT.INI beside a plain copy of the same file through
// the same file calls, on the same machine; prints the rewrite's share of the copy's throughput
// and the peak memory, which must not grow with the file.
//   cmake --preset bench && cmake --build build/bench && build/bench/bench/rewrite_bench
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "machine.h"
#include "sysutil.h"

namespace {

const char kZul[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.ZUL";
const char kDll[] = "C:\\WINDOWS\\SYSTEM\\WSOCK32.DLL";
const char kIni[] = "C:\\WINDOWS\\WININIT.INI";
const char kCopy[] = "C:\\WINDOWS\\WININIT.CPY";

std::string Host(const std::string& windowsPath) {
  std::string host = standin::HostPath(windowsPath);
  if (host.empty()) abort();
  return host;
}

// A file of `size` bytes in CR LF lines of `lineLength`, with no "[rename]" header, so the
// whole of it is searched and the header goes at its end.
void LayFile(size_t size, size_t lineLength) {
  static bool ready = false;
  if (!ready) {
    standin::MachineConfig config;
    std::string error;
    if (!standin::CreateMachine(ZUL_BENCH_MACHINE, config, &error) || !standin::LoadMachine(ZUL_BENCH_MACHINE)) abort();
    ready = true;
  }
  std::string line = "C:\\WINDOWS\\SYSTEM\\OLDFILE.DLL=C:\\WINDOWS\\TEMP\\NEWFILE.TMP";
  while (line.size() < lineLength - 2) line += "\\PART";
  line.resize(lineLength - 2);
  line += "\r\n";
  FILE* f = fopen(Host(kIni).c_str(), "wb");
  for (size_t written = 0; written < size; written += line.size()) fwrite(line.data(), 1, line.size(), f);
  fclose(f);
}

long MaxRssKiB() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void PlainCopy() {
  static char buffer[64 * 1024];
  HANDLE in = CreateFileA(kIni, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE out = CreateFileA(kCopy, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD got, done;
  while (ReadFile(in, buffer, sizeof buffer, &got, NULL) && got > 0) WriteFile(out, buffer, got, &done, NULL);
  CloseHandle(in);
  CloseHandle(out);
}

void Run(benchmark::State& state, bool rewrite) {
  size_t size = (size_t)state.range(0), lineLength = (size_t)state.range(1);
  LayFile(size, lineLength);
  for (auto _ : state) {
    if (rewrite) {
      // Each pass adds one entry behind the header of the pass before: the work stays the same.
      if (!ReplaceFileOnRestart(kZul, kDll)) state.SkipWithError("rewrite failed");
    } else {
      PlainCopy();
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)size);
  state.counters["max_rss_KiB"] = (double)MaxRssKiB();
}

void BM_PlainCopy(benchmark::State& state) { Run(state, false); }
void BM_Rewrite(benchmark::State& state) { Run(state, true); }

void Sizes(benchmark::internal::Benchmark* b) {
  for (int64_t size : {int64_t(1) << 20, int64_t(64) << 20})
    for (int64_t line : {40, 4000}) b->Args({size, line});
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_PlainCopy)->Apply(Sizes);
BENCHMARK(BM_Rewrite)->Apply(Sizes);

// Prints the rewrite's throughput as a share of the plain copy's, per file size and line length.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      std::string name = run.benchmark_name();
      size_t slash = name.find('/');
      auto rate = run.counters.find("bytes_per_second");
      if (slash == std::string::npos || rate == run.counters.end()) continue;
      (name.compare(0, slash, "BM_Rewrite") == 0 ? rewrite_ : copy_)[name.substr(slash)] = rate->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    printf("\nrewrite throughput / plain copy throughput (target: at least 0.50)\n");
    for (auto& [args, copy] : copy_)
      if (rewrite_.count(args) && copy > 0)
        printf("  size/line %-16s %.2f  (%.0f MB/s vs %.0f MB/s)\n", args.c_str(), rewrite_[args] / copy,
               rewrite_[args] / 1e6, copy / 1e6);
    printf("peak memory: %ld KiB\n", MaxRssKiB());
  }

 private:
  std::map<std::string, double> copy_, rewrite_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
