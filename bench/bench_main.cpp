// The speed and memory benchmarks: our import and export against libtiff doing the same work
// in the same run, then the ratios and the peak heap of an import against its goal.
//
//   varneltiff_bench [--quick | --tiny] [--corpus DIR [--make-files]] [--wine-timing FILE]
//                    [Google Benchmark options]
// --quick and --tiny use smaller images (--tiny only shows that everything works); --corpus
// keeps the images in DIR, and --make-files only writes them there; --wine-timing adds the
// Windows DLL's figures, timed under Wine by varneltiff_dll_timing, to the table. The last four
// lines are for scripts:
//   lzw-ratio X.XX / stored-ratio X.XX / export-ratio X.XX / memory ok|over
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// Keeps the median real and CPU time per iteration of each benchmark, for the ratios.
class TRecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
          !run.error_occurred) {
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

// Our pixels must be libtiff's before anything is timed.
bool SamePixelsAsPeer(const TBenchFile& file) {
  TTiffDecoder decoder;
  uint8_t* peer = PeerImport(file);
  const bool same = decoder.Decode(file.path.c_str()) && peer != nullptr &&
                    int64_t{decoder.outRowBytes} * decoder.outHeight == HostLayoutBytes(file) &&
                    std::memcmp(decoder.pixels, peer, HostLayoutBytes(file)) == 0;
  std::free(peer);
  return same;
}

// The peak heap of one import of `file` beyond its output; false when over 1 MiB.
bool ReportMemory(const TBenchFile& file, bool preview) {
  TTiffDecoder decoder;
  decoder.preview = preview;
  decoder.boxWidth = decoder.boxHeight = 256;
  StartHeapCount();
  const bool ok = decoder.Decode(file.path.c_str());
  const int64_t peak = PeakHeapBytes();
  StopHeapCount();
  const int64_t output = int64_t{decoder.outHeight} * decoder.outRowBytes;
  const int64_t overhead = peak - output;
  const bool within = ok && overhead <= kMebibyte;
  std::printf("  %-18s %-8s %12lld %12lld %12lld  %s\n", file.label.c_str(),
              preview ? "preview" : "full", static_cast<long long>(output),
              static_cast<long long>(peak), static_cast<long long>(overhead),
              !ok      ? "DECODE FAILED"
              : within ? "ok"
                       : "OVER 1 MiB");
  return within;
}

long FileSize(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return 0;
  const long size = std::fseek(file, 0, SEEK_END) == 0 ? std::ftell(file) : 0;
  std::fclose(file);
  return size;
}

// The decoded strip bytes of a file (its image data as stored, uncompressed).
int64_t StripBytes(const TBenchFile& file) {
  switch (file.kind) {
    case TBenchKind::RedGreenBlue:
      return int64_t{3} * file.width * file.height;
    case TBenchKind::ColourWord:
      return int64_t{2} * file.width * file.height;
    case TBenchKind::Palette:
      return int64_t{file.width} * file.height;
    case TBenchKind::OneBit:
      return (int64_t{file.width} + 7) / 8 * file.height;
  }
  return 0;
}

// "label MB/s" lines written by varneltiff_dll_timing.
std::map<std::string, double> ReadWineTiming(const std::string& path) {
  std::map<std::string, double> speeds;
  std::ifstream in(path);
  std::string label;
  double speed = 0;
  while (in >> label >> speed) speeds[label] = speed;
  return speeds;
}

double GeometricMean(const std::vector<double>& values) {
  if (values.empty()) return 0;
  double logSum = 0;
  for (const double value : values) logSum += std::log(value);
  return std::exp(logSum / static_cast<double>(values.size()));
}

}  // namespace

int main(int argc, char** argv) {
  int32_t scale = 1;
  std::string folder, wineTiming;
  bool makeFilesOnly = false;
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--quick") == 0) {
      scale = 2;
    } else if (std::strcmp(argv[i], "--tiny") == 0) {
      scale = 16;
    } else if (std::strcmp(argv[i], "--corpus") == 0 && i + 1 < argc) {
      folder = argv[++i];
    } else if (std::strcmp(argv[i], "--make-files") == 0) {
      makeFilesOnly = true;
    } else if (std::strcmp(argv[i], "--wine-timing") == 0 && i + 1 < argc) {
      wineTiming = argv[++i];
    } else {
      arguments.push_back(argv[i]);
    }
  }
  const bool keepFiles = !folder.empty();
  // Large blocks stay on the heap once freed: fresh pages for every image cost both sides alike,
  // and on a virtual machine they can outweigh the decoding that is being compared.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // The repetitions of all benchmarks run in a random order, so that both sides of a comparison
  // meet the same slow and fast spells of a shared machine rather than each getting its own.
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + (arguments.empty() ? 0 : 1), interleave);
  int count = static_cast<int>(arguments.size());
  benchmark::Initialize(&count, arguments.data());

  const std::vector<TBenchFile> files = MakeBenchFiles(scale, folder);
  if (files.empty()) {
    std::fprintf(stderr, "could not write the benchmark files\n");
    return 1;
  }
  const auto cleanUp = [&] {
    if (!keepFiles) RemoveBenchFiles(files, folder);
  };
  if (makeFilesOnly) {
    for (const TBenchFile& file : files)
      std::printf("%s=%s\n", file.label.c_str(), file.path.c_str());
    cleanUp();
    return 0;
  }
  std::printf("Files (made by libtiff, one strip; LZW ratio against the stored twin):\n");
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
    if (!SamePixelsAsPeer(file)) {
      std::fprintf(stderr, "%s: our pixels differ from libtiff's; nothing timed\n",
                   file.label.c_str());
      cleanUp();
      return 1;
    }
  }
  std::printf("Pixels of every file equal libtiff's.\n\n");

  const int repetitions = scale == 1 ? 9 : 3;
  const auto add = [&](benchmark::internal::Benchmark* bench) {
    bench->Repetitions(repetitions)->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);
  };
  for (const TBenchFile& file : files) {
    add(benchmark::RegisterBenchmark(("import/ours/" + file.label).c_str(), OurImport, &file));
    add(benchmark::RegisterBenchmark(("import/libtiff/" + file.label).c_str(), PeerImportBench,
                                     &file));
  }
  // Export: a full-colour picture in the host's layout, written by both sides.
  const int32_t side = 4096 / scale;
  std::vector<uint8_t> exportPixels(size_t{4} * side * side);
  for (size_t i = 0; i < exportPixels.size(); ++i)
    exportPixels[i] = static_cast<uint8_t>(i * 7 / 5);
  const HostImage exportImage{
      kFullColourImage, exportPixels.data(), 4 * side, side, side, nullptr, 0};
  // Written to memory where the system offers it, so that disk writeback, which comes and goes
  // with whatever was written before, does not blur the comparison.
  const std::string exportFolder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : folder;
  const std::string exportPath =
      exportFolder + "/varneltiff-bench-export-" + std::to_string(getpid()) + ".tif";
  if (!TTiffEncoder().Encode(exportPath.c_str(), &exportImage) ||
      !PeerReadsBack(exportPath.c_str(), exportImage)) {
    std::fprintf(stderr, "the exported file does not read back as the image\n");
    std::remove(exportPath.c_str());
    cleanUp();
    return 1;
  }
  add(benchmark::RegisterBenchmark("export/ours/rgb24", OurExport, &exportImage, exportPath));
  add(benchmark::RegisterBenchmark("export/libtiff/rgb24", PeerExportBench, &exportImage,
                                   exportPath));

  TRecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::remove(exportPath.c_str());

  // Real time (medians) is the goal; CPU time shows the same when other work shares the machine.
  const std::map<std::string, double> wine =
      wineTiming.empty() ? std::map<std::string, double>{} : ReadWineTiming(wineTiming);
  std::printf(
      "\nImport and export against libtiff in this run (medians of %d; MB/s of image data "
      "as stored; ratio above 1 is faster than libtiff):\n",
      repetitions);
  std::printf("  %-24s %9s %9s %7s %7s %12s\n", "", "ours", "libtiff", "ratio", "(CPU)",
              "DLL (Wine)");
  std::vector<double> lzwRatios, storedRatios;
  const auto row = [&](const std::string& label, const std::string& kind, int64_t bytes,
                       const std::string& wineLabel) {
    const std::string ours = kind + "/ours/" + label, peer = kind + "/libtiff/" + label;
    if (!reporter.realTime.count(ours) || !reporter.realTime.count(peer)) return 0.0;
    const double ratio = reporter.realTime[peer] / reporter.realTime[ours];
    const double cpuRatio = reporter.cpuTime[peer] / reporter.cpuTime[ours];
    // Times are in milliseconds.
    const double oursSpeed = double(bytes) / reporter.realTime[ours] / 1e3;
    const double peerSpeed = double(bytes) / reporter.realTime[peer] / 1e3;
    char wineText[32] = "-";
    if (wine.count(wineLabel)) std::snprintf(wineText, sizeof wineText, "%.1f", wine.at(wineLabel));
    std::printf("  %-24s %9.1f %9.1f %6.2fx %6.2fx %12s\n", (kind + " " + label).c_str(), oursSpeed,
                peerSpeed, ratio, cpuRatio, wineText);
    return ratio;
  };
  for (const TBenchFile& file : files) {
    const double ratio = row(file.label, "import", StripBytes(file), file.label);
    if (ratio > 0) (file.lzw ? lzwRatios : storedRatios).push_back(ratio);
  }
  const double exportRatio = row("rgb24", "export", int64_t{3} * side * side, "");
  const double lzwRatio = GeometricMean(lzwRatios);
  const double storedRatio =
      storedRatios.empty() ? 0 : *std::min_element(storedRatios.begin(), storedRatios.end());
  std::printf("  LZW import, geometric mean of the four kinds: %.2fx (goal 2.0x)\n", lzwRatio);
  std::printf("  stored import, the slowest kind: %.2fx (goal 1.0x)\n", storedRatio);
  std::printf("  export of full colour: %.2fx (goal 1.0x), written to %s\n", exportRatio,
              exportFolder.c_str());
  if (wineTiming.empty()) {
    std::printf("  The Windows DLL was not timed: Wine cannot run it on this machine.\n");
  } else {
    std::printf(
        "  DLL (Wine): the Windows build imported through its entry points under Wine, "
        "MB/s of host-layout bytes.\n");
  }

  std::printf(
      "\nPeak heap of an import (goal: its output plus 1 MiB at most; preview box "
      "256x256):\n");
  std::printf("  %-18s %-8s %12s %12s %12s\n", "", "", "output", "peak heap", "beyond");
  bool memoryOk = true;
  for (const TBenchFile& file : files) {
    memoryOk = ReportMemory(file, false) && memoryOk;
    memoryOk = ReportMemory(file, true) && memoryOk;
  }
  cleanUp();
  benchmark::Shutdown();

  std::printf("\nlzw-ratio %.2f\nstored-ratio %.2f\nexport-ratio %.2f\nmemory %s\n", lzwRatio,
              storedRatio, exportRatio, memoryOk ? "ok" : "over");
  return 0;
}
