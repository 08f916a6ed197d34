// frame-timing: reads every frame of a directory (PGM, PNG, JPEG, BMP) with the whole-frame
// reader and with the exact decoder, and prints per frame size the median, p95, p99 and
// maximum time of each, and the peak heap of one whole-frame read in bytes per pixel.
//
//   frame-timing [--repeat N] [--per-frame FILE.tsv] [--synthetic] DIR|FILE...
//
// Times are the CPU time of the reading thread; each frame is read N times (default 5) and its
// fastest time kept: on a shared machine the other processes only ever add time. --synthetic adds the frames
// made to look like finders (checkerboards, noise, halftone, text, bars) at 640x480 and 1920x1080.
#include <aztec/exact_decoder.h>
#include <aztec/reader.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "frame_input.h"
#include "synthetic_frames.h"

// Heap in use and its peak, counted by the global allocation functions: the peak of one read
// is the peak reached during it less what was in use before.
namespace {
std::atomic<std::size_t> gInUse{0};
std::atomic<std::size_t> gPeak{0};

void* counted(std::size_t size, std::size_t align) {
  void* p = align > alignof(std::max_align_t) ? std::aligned_alloc(align, (size + align - 1) / align * align)
                                              : std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  const std::size_t now = gInUse += malloc_usable_size(p);
  std::size_t peak = gPeak.load();
  while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
  }
  return p;
}

void release(void* p) {
  if (!p) return;
  gInUse -= malloc_usable_size(p);
  std::free(p);
}
}  // namespace

void* operator new(std::size_t size) {
  return counted(size, 0);
}
void* operator new[](std::size_t size) {
  return counted(size, 0);
}
void* operator new(std::size_t size, std::align_val_t a) {
  return counted(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
  return counted(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept {
  release(p);
}
void operator delete[](void* p) noexcept {
  release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  release(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  release(p);
}

namespace {

// CPU time of this thread: on a shared machine, time spent waiting for the core is not the
// reader's.
double threadMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec * 1e-6;
}

struct Timed {
  std::string name;
  int width = 0;
  int height = 0;
  double readerMs = 0.0;
  double exactMs = 0.0;
  std::size_t peakBytes = 0;  // heap peak of one whole-frame read
  std::size_t symbols = 0;
  bool exactRead = false;
};

template <class F>
double fastestMs(int repeat, F&& f) {
  double best = 1e300;
  for (int i = 0; i < repeat; ++i) {
    const double t0 = threadMs();
    f();
    best = std::min(best, threadMs() - t0);
  }
  return best;
}

Timed timeFrame(const std::string& name, const Aztec::LumaView& view, int repeat) {
  Timed t;
  t.name = name;
  t.width = view.width;
  t.height = view.height;
  const Aztec::WholeFrameReader reader;
  const std::size_t before = gInUse.load();
  gPeak = before;
  t.symbols = reader.read(view).size();
  t.peakBytes = gPeak.load() - before;
  t.readerMs = fastestMs(repeat, [&] { (void)reader.read(view); });
  Aztec::ExactDecodeResult exact;
  t.exactMs = fastestMs(repeat, [&] {
    try {
      exact = Aztec::decodeExact(view);
    } catch (const std::exception&) {
      exact = {};
    }
  });
  t.exactRead = exact.status == Aztec::DataRead;
  return t;
}

// Nearest-rank percentile of sorted values.
double percentile(const std::vector<double>& sorted, double p) {
  const std::size_t n = sorted.size();
  const std::size_t rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(n)));
  return sorted[std::min(n, std::max<std::size_t>(rank, 1)) - 1];
}

void printTable(const std::vector<Timed>& frames) {
  std::map<std::pair<int, int>, std::vector<const Timed*>> classes;
  for (const Timed& t : frames) classes[{t.width * t.height, t.width}].push_back(&t);
  std::printf("%-11s %6s | %-35s | %-35s | %s\n", "", "", "whole-frame reader (ms)", "exact decoder (ms)",
              "read");
  std::printf("%-11s %6s | %8s %8s %8s %8s | %8s %8s %8s %8s | %6s %6s | %s\n", "size", "frames", "median",
              "p95", "p99", "max", "median", "p95", "p99", "max", "reader", "exact", "peak heap B/px");
  for (const auto& [key, list] : classes) {
    std::vector<double> r, e;
    std::size_t readerReads = 0, exactReads = 0;
    double peak = 0.0;
    for (const Timed* t : list) {
      r.push_back(t->readerMs);
      e.push_back(t->exactMs);
      readerReads += t->symbols > 0;
      exactReads += t->exactRead;
      peak = std::max(peak, static_cast<double>(t->peakBytes) / (static_cast<double>(t->width) * t->height));
    }
    std::sort(r.begin(), r.end());
    std::sort(e.begin(), e.end());
    const std::string size = std::to_string(list[0]->width) + "x" + std::to_string(list[0]->height);
    std::printf("%-11s %6zu | %8.3f %8.3f %8.3f %8.3f | %8.3f %8.3f %8.3f %8.3f | %6zu %6zu | %.2f\n",
                size.c_str(), list.size(), percentile(r, 0.5), percentile(r, 0.95), percentile(r, 0.99),
                r.back(), percentile(e, 0.5), percentile(e, 0.95), percentile(e, 0.99), e.back(), readerReads,
                exactReads, peak);
  }
}

int usage() {
  std::fprintf(stderr, "usage: frame-timing [--repeat N] [--per-frame FILE.tsv] [--synthetic] DIR|FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  std::string perFrame;
  bool synthetic = false;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--per-frame" && i + 1 < argc) {
      perFrame = argv[++i];
    } else if (a == "--synthetic") {
      synthetic = true;
    } else if (!a.empty() && a[0] == '-') {
      return usage();
    } else if (std::filesystem::is_directory(a)) {
      std::vector<std::string> inDir;
      for (const auto& entry : std::filesystem::directory_iterator(a)) {
        const std::string ext = entry.path().extension().string();
        if (ext == ".pgm" || ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".bmp")
          inDir.push_back(entry.path().string());
      }
      std::sort(inDir.begin(), inDir.end());
      files.insert(files.end(), inDir.begin(), inDir.end());
    } else {
      files.push_back(a);
    }
  }
  if (files.empty() && !synthetic) return usage();

  std::vector<Timed> timed;
  for (const std::string& file : files) {
    Velmora::Image::GrayBuf frame;
    try {
      std::ifstream in(file, std::ios::binary);
      const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                            std::istreambuf_iterator<char>());
      frame = AztecTools::decodeImage(bytes);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "frame-timing: %s: %s\n", file.c_str(), e.what());
      continue;
    }
    const Aztec::LumaView view{frame.row(0), frame.width(), frame.height(), frame.stride()};
    timed.push_back(timeFrame(file, view, repeat));
  }
  if (synthetic) {
    for (const auto& recipe : AztecBench::finderLikeRecipes()) {
      const AztecBench::NamedFrame f = recipe();
      const Aztec::LumaView view{f.pixels.data(), f.width, f.height, f.width};
      timed.push_back(timeFrame(f.name, view, repeat));
    }
  }
  if (!perFrame.empty()) {
    std::ofstream out(perFrame);
    out << "frame\twidth\theight\treader_ms\texact_ms\tpeak_heap_bytes\tsymbols\texact_read\n";
    for (const Timed& t : timed)
      out << t.name << '\t' << t.width << '\t' << t.height << '\t' << t.readerMs << '\t' << t.exactMs << '\t'
          << t.peakBytes << '\t' << t.symbols << '\t' << t.exactRead << '\n';
  }
  if (timed.empty()) return 1;
  printTable(timed);
  return 0;
}
