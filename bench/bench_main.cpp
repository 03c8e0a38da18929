// The speed and memory benchmarks: our import and export against libtiff doing the same work
// in the same run, then the ratios and the peak heap of an import against its goal.
//
//   varneltiff_bench [--quick] [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_files.h"
#include "bench/heap_counter.h"
#include "bench/peer_codec.h"
#include "reader/tiff_decoder.h"
#include "writer/tiff_encoder.h"

namespace {

constexpr int64_t kMebibyte = 1 << 20;

// Records each benchmark's real and CPU time per iteration, so the ratios can be printed at the
// end.
class TRecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        realTime[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpuTime[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> realTime;
  std::map<std::string, double> cpuTime;
};

void OurImport(benchmark::State& state, const TBenchFile* file) {
  for (auto _ : state) {
    TTiffDecoder decoder;
    if (!decoder.Decode(file->path.c_str())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(decoder.pixels);
  }
  state.SetBytesProcessed(state.iterations() * HostLayoutBytes(*file));
}

void PeerImportBench(benchmark::State& state, const TBenchFile* file) {
  for (auto _ : state) {
    uint8_t* pixels = PeerImport(*file);
    if (pixels == nullptr) state.SkipWithError("libtiff read failed");
    benchmark::DoNotOptimize(pixels);
    std::free(pixels);
  }
  state.SetBytesProcessed(state.iterations() * HostLayoutBytes(*file));
}

void OurExport(benchmark::State& state, const HostImage* image, std::string path) {
  for (auto _ : state) {
    TTiffEncoder encoder;
    if (!encoder.Encode(path.c_str(), image)) state.SkipWithError("encode failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{image->rowBytes} * image->height);
}

void PeerExportBench(benchmark::State& state, const HostImage* image, std::string path) {
  for (auto _ : state) {
    if (!PeerExport(path.c_str(), *image)) state.SkipWithError("libtiff write failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{image->rowBytes} * image->height);
}

// The peak heap of one import of `file` against its output plus 1 MiB.
void ReportMemory(const TBenchFile& file, bool preview) {
  TTiffDecoder decoder;
  decoder.preview = preview;
  decoder.boxWidth = decoder.boxHeight = 256;
  StartHeapCount();
  const bool ok = decoder.Decode(file.path.c_str());
  const int64_t peak = PeakHeapBytes();
  StopHeapCount();
  const int64_t output = int64_t{decoder.outHeight} * decoder.outRowBytes;
  const int64_t overhead = peak - output;
  std::printf("  %-18s %-8s output %10lld  peak heap %10lld  over output %9lld  %s\n",
              file.label.c_str(), preview ? "preview" : "full", static_cast<long long>(output),
              static_cast<long long>(peak), static_cast<long long>(overhead),
              !ok                     ? "DECODE FAILED"
              : overhead <= kMebibyte ? "ok (<= 1 MiB)"
                                      : "OVER GOAL");
}

long FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : 0;
  std::fclose(file);
  return size;
}

double Ratio(const std::map<std::string, double>& seconds, const std::string& ours,
             const std::string& peer) {
  const auto a = seconds.find(ours), b = seconds.find(peer);
  if (a == seconds.end() || b == seconds.end() || a->second <= 0) return 0;
  return b->second / a->second;
}

}  // namespace

int main(int argc, char** argv) {
  bool quick = false;
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      quick = true;
    } else {
      arguments.push_back(argv[i]);
    }
  }
  // Large blocks stay on the heap once freed: fresh pages for every image cost both sides alike,
  // and on a virtual machine they can outweigh the decoding that is being compared.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());

  std::string folder;
  const std::vector<TBenchFile> files = MakeBenchFiles(quick, folder);
  if (files.empty()) {
    std::fprintf(stderr, "could not write the benchmark files\n");
    return 1;
  }
  std::printf("LZW files (size, and the stored twin's size over it):\n");
  for (const TBenchFile& file : files) {
    if (!file.lzw) continue;
    const auto twin = std::find_if(files.begin(), files.end(), [&](const TBenchFile& other) {
      return !other.lzw && other.kind == file.kind;
    });
    const long size = FileSize(file.path);
    std::printf("  %-18s %5dx%-5d %10ld bytes  ratio %.2f\n", file.label.c_str(), file.width,
                file.height, size, size > 0 ? double(FileSize(twin->path)) / size : 0.0);
  }
  for (const TBenchFile& file : files) {
    benchmark::RegisterBenchmark(("import/ours/" + file.label).c_str(), OurImport, &file);
    benchmark::RegisterBenchmark(("import/libtiff/" + file.label).c_str(), PeerImportBench, &file);
  }

  // Export: a full-colour picture in the host's layout, written by both sides.
  const int32_t side = quick ? 2048 : 4096;
  std::vector<uint8_t> exportPixels(size_t{4} * side * side);
  for (size_t i = 0; i < exportPixels.size(); ++i)
    exportPixels[i] = static_cast<uint8_t>(i * 7 / 5);
  const HostImage exportImage{
      kFullColourImage, exportPixels.data(), 4 * side, side, side, nullptr, 0};
  const std::string exportPath = folder + "/export.tif";
  // The timed export must be the right file: checked once through the peer.
  if (!TTiffEncoder().Encode(exportPath.c_str(), &exportImage) ||
      !PeerReadsBack(exportPath.c_str(), exportImage)) {
    std::fprintf(stderr, "the exported file does not read back as the image\n");
    std::remove(exportPath.c_str());
    RemoveBenchFiles(files, folder);
    return 1;
  }
  benchmark::RegisterBenchmark("export/ours/rgb24", OurExport, &exportImage, exportPath);
  benchmark::RegisterBenchmark("export/libtiff/rgb24", PeerExportBench, &exportImage, exportPath);

  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  // Real time is the goal; CPU time shows the same comparison when other work shares the machine.
  std::printf("\nSpeed against libtiff in this run (above 1 is faster than libtiff):\n");
  std::printf("  %-27s %6s %6s\n", "", "real", "CPU");
  double logSum[2] = {0, 0};
  int lzwCount = 0;
  const auto line = [&](const std::string& name, const std::string& ours, const std::string& peer,
                        const char* goal) {
    const double real = Ratio(reporter.realTime, ours, peer);
    const double cpu = Ratio(reporter.cpuTime, ours, peer);
    if (real > 0 && cpu > 0) {
      std::printf("  %-27s %5.2fx %5.2fx  (goal %s)\n", name.c_str(), real, cpu, goal);
    }
    return std::pair{real, cpu};
  };
  for (const TBenchFile& file : files) {
    const auto [real, cpu] =
        line("import " + file.label, "import/ours/" + file.label, "import/libtiff/" + file.label,
             file.lzw ? "geometric mean 2.0x" : "1.0x");
    if (file.lzw && real > 0 && cpu > 0) {
      logSum[0] += std::log(real), logSum[1] += std::log(cpu), ++lzwCount;
    }
  }
  if (lzwCount > 0) {
    std::printf("  %-27s %5.2fx %5.2fx  (goal 2.0x)\n", "import LZW geometric mean",
                std::exp(logSum[0] / lzwCount), std::exp(logSum[1] / lzwCount));
  }
  line("export rgb24", "export/ours/rgb24", "export/libtiff/rgb24", "1.0x");

  std::printf("\nPeak heap of an import (goal: output + 1 MiB at most; preview box 256x256):\n");
  for (const TBenchFile& file : files) {
    ReportMemory(file, false);
    ReportMemory(file, true);
  }
  std::printf("\nThe Win32 DLL is not timed here: this machine cannot run 32-bit programs.\n");

  std::remove(exportPath.c_str());
  RemoveBenchFiles(files, folder);
  benchmark::Shutdown();
  return 0;
}
