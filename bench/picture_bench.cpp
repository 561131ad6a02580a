// Picture decoding: a photo-sized JPEG, a 100-frame GIF opened and played
// through, and how much memory a long GIF costs while it plays.
#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <malloc.h>

#include <cstddef>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "pictures/GifAnimation.h"
#include "pictures/JpegDecoder.h"
#include "support/TinyPictures.h"

namespace {

using pagemoor::GifAnimation;

// A photo-like picture: smooth gradients, a few soft shapes and sensor-like
// noise, so that the coder has real detail to work through.
std::string makeJpeg(int width, int height, int quality) {
  std::mt19937 rng(1);
  std::normal_distribution<double> noise(0.0, 6.0);
  pagemoor::test::JpegSpec spec(width, height);
  spec.quality = quality;
  return pagemoor::test::WriteJpeg(spec, [&](int y, JSAMPLE* row) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - width * 0.6, dy = y - height * 0.4;
      const double blob = 90.0 / (1.0 + (dx * dx + dy * dy) / 9000.0);
      const double base[3] = {60.0 + 120.0 * x / width + blob, 40.0 + 150.0 * y / height + blob * 0.5,
                              170.0 - 100.0 * (x + y) / (width + height) + 30.0 * ((x / 97 + y / 61) % 2)};
      for (int c = 0; c < 3; ++c) {
        const double v = base[c] + noise(rng);
        row[x * 3 + c] = static_cast<JSAMPLE>(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  });
}

int appendTo(GifFileType* gif, const GifByteType* bytes, int n) {
  static_cast<std::string*>(gif->UserData)
      ->append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(n));
  return n;
}

// An animation of full-screen frames, a 256-colour pattern sliding across
// the screen with one pixel in noiseOneIn of noise, as a converted video clip
// would be; every
// frame has a transparent colour and every tenth restores the previous
// canvas, so that compositing does all its work.
std::string makeGif(int width, int height, int frames, int noiseOneIn) {
  std::string out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, appendTo, &error);
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 256; ++i)
    colours[static_cast<std::size_t>(i)] = {static_cast<GifByteType>(i),
                                            static_cast<GifByteType>((i * 7) & 255),
                                            static_cast<GifByteType>(255 - i)};
  ColorMapObject* map = GifMakeMapObject(256, colours.data());
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
  EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
  const unsigned char forever[] = {1, 0, 0};
  EGifPutExtensionBlock(gif, 3, forever);
  EGifPutExtensionTrailer(gif);
  std::mt19937 rng(2);
  std::vector<GifPixelType> line(static_cast<std::size_t>(width));
  for (int f = 0; f < frames; ++f) {
    GraphicsControlBlock control{f % 10 == 9 ? DISPOSE_PREVIOUS : DISPOSE_DO_NOT, false, 4, 0};
    GifByteType extension[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&control, extension)),
                     extension);
    EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        int v = ((x + f * 3) / 6 + y / 5) & 255;
        if (rng() % static_cast<unsigned>(noiseOneIn) == 0) v = static_cast<int>(rng() & 255);
        line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(v);
      }
      EGifPutLine(gif, line.data(), width);
    }
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

void BM_DecodeJpeg1024x768(benchmark::State& state) {
  const std::string bytes = makeJpeg(1024, 768, 85);
  for (auto _ : state) {
    auto image = pagemoor::DecodeJpeg(bytes);
    if (!image) {
      state.SkipWithError("the JPEG did not decode");
      break;
    }
    benchmark::DoNotOptimize(image->pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * 1024 * 768);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
  state.counters["file_kB"] = static_cast<double>(bytes.size()) / 1024.0;
}
BENCHMARK(BM_DecodeJpeg1024x768)->Unit(benchmark::kMillisecond);

void BM_GifOpenAndComposite100Frames320x240(benchmark::State& state) {
  const std::string bytes = makeGif(320, 240, 100, 16);
  for (auto _ : state) {
    auto gif = GifAnimation::Open(bytes);
    if (!gif || gif->frameCount() != 100) {
      state.SkipWithError("the GIF did not open");
      break;
    }
    for (int i = 0; i < gif->frameCount(); ++i) benchmark::DoNotOptimize(gif->frame(i).pixels.data());
  }
  state.SetItemsProcessed(state.iterations() * 100);  // frames
  state.counters["file_kB"] = static_cast<double>(bytes.size()) / 1024.0;
}
BENCHMARK(BM_GifOpenAndComposite100Frames320x240)->Unit(benchmark::kMillisecond);

// kB from a "Name:   123 kB" line of /proc/self/status; -1 when missing.
long statusKb(const char* name) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(name) + ":";
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0)
      return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
  return -1;
}

// Makes the peak resident size start again from the current one. Memory
// freed by earlier runs goes back to the system first, or it would hide what
// this run touches.
bool resetPeakResident() {
  malloc_trim(0);
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
  out.flush();
  return static_cast<bool>(out);
}

void BM_GifLongAnimationPeakMemory(benchmark::State& state) {
  constexpr int kWidth = 640, kHeight = 421, kFrames = 783;
  std::string bytes = makeGif(kWidth, kHeight, kFrames, 256);
  const double fileKb = static_cast<double>(bytes.size()) / 1024.0;
  for (auto _ : state) {
    const bool reset = resetPeakResident();
    const long before = statusKb("VmHWM");
    auto gif = GifAnimation::Open(std::move(bytes));
    if (!gif || gif->frameCount() != kFrames) {
      state.SkipWithError("the GIF did not open");
      break;
    }
    for (int i = 0; i < kFrames; ++i) benchmark::DoNotOptimize(gif->frame(i).pixels.data());
    const long after = statusKb("VmHWM");
    state.counters["peak_growth_kB"] = static_cast<double>(after - before);
    state.counters["peak_reset"] = reset ? 1 : 0;
    state.counters["VmHWM_kB"] = static_cast<double>(after);
  }
  state.counters["file_kB"] = fileKb;
  state.counters["canvas_kB"] = kWidth * kHeight * 4 / 1024.0;
  // What holding every frame's raster would take.
  state.counters["all_rasters_kB"] = static_cast<double>(kWidth) * kHeight * kFrames / 1024.0;
}
BENCHMARK(BM_GifLongAnimationPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
