// A large old page: 300 KB of text and tables with 100 pictures that come
// from the image request handler. Target: loaded and its first screen laid
// out and drawn in under 150 ms; the engine lays out the rest a piece at a
// time while the reader looks at it (the whole layout is measured too).
// Going back in history must not ask for pictures the cache holds.
//
//   QT_QPA_PLATFORM=offscreen build/bench/pane_bench
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QBuffer>
#include <QImage>
#include <QTextDocument>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchSupport.h"
#include "hypertext/HtmlPaneWidget.h"

namespace {

const std::string& folder() {
  return pagemoor::bench::BenchFolder();
}

std::string pictureBytes(int i) {
  QImage image(48, 32, QImage::Format_RGB32);
  image.fill(QColor::fromHsv((i * 37) % 360, 160, 220));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");  // Qt reads GIF but cannot write it
  return bytes.toStdString();
}

// About 300 KB: paragraphs, a layout table per section, a picture in each.
std::string bigPage(const std::string& name) {
  std::string html = "<html><body bgcolor=white text=black link=blue>\n";
  const std::string words =
      "Old disk magazines filled their pages with articles, reviews and letters from readers, "
      "set in tables with coloured cells and pictures floating beside the text. ";
  int picture = 0;
  while (html.size() < 300 * 1024) {
    html += "<table width=100% cellpadding=3><tr><td bgcolor=#eeeeff width=25%><a href=\"cc:load_main x" +
            std::to_string(picture) + ".htm\">Section " + std::to_string(picture) +
            "</a></td><td><font face=Arial size=2>";
    if (picture < 100) html += "<img src=\"pic" + std::to_string(picture) + ".png\" align=left>";
    ++picture;
    for (int i = 0; i < 8; ++i) html += words;
    html += "</font></td></tr></table>\n<p>" + words + words + "</p>\n";
  }
  html += "</body></html>\n";
  std::ofstream(folder() + name, std::ios::binary) << html;
  return folder() + name;
}

// A pane the size of the magazine's main pane whose pictures ("picN.png") come
// from memory; requests counts the pictures asked for.
struct PicturePane {
  explicit PicturePane(long& requests) {
    for (int i = 0; i < 100; ++i) pictures.push_back(pictureBytes(i));
    pane.resize(780, 560);
    pane.setImageCacheSize(200);
    pane.OnImageRequest = [this, &requests](pagemoor::HtmlPaneWidget::Sender, const std::string& src,
                                            std::string& stream) {
      ++requests;
      stream = pictures[static_cast<std::size_t>(std::atoi(src.c_str() + 3)) % pictures.size()];
    };
  }
  std::vector<std::string> pictures;
  pagemoor::HtmlPaneWidget pane;
};

// What the reader waits for: the page read, its first screen laid out and
// drawn.
void BM_LoadAndShowBigPage(benchmark::State& state) {
  const std::string page = bigPage("big.htm");
  long requests = 0;
  PicturePane p(requests);
  pagemoor::HtmlPaneWidget& pane = p.pane;
  for (auto _ : state) {
    pane.LoadDocument(page);
    benchmark::DoNotOptimize(pane.viewport()->grab());
  }
  state.counters["image_requests_per_load"] =
      static_cast<double>(requests) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadAndShowBigPage)->Unit(benchmark::kMillisecond);

// The same page laid out to its end at once, as jumping to its last line
// needs.
void BM_LoadAndLayOutWholeBigPage(benchmark::State& state) {
  const std::string page = bigPage("big.htm");
  long requests = 0;
  PicturePane p(requests);
  pagemoor::HtmlPaneWidget& pane = p.pane;
  for (auto _ : state) {
    pane.LoadDocument(page);
    benchmark::DoNotOptimize(pane.document()->size());
  }
  state.counters["image_requests_per_load"] =
      static_cast<double>(requests) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_LoadAndLayOutWholeBigPage)->Unit(benchmark::kMillisecond);

// Back and forth between two big pages: the pictures come from the cache.
void BM_BackInHistory(benchmark::State& state) {
  const std::string first = bigPage("first.htm"), second = bigPage("second.htm");
  long requests = 0;
  PicturePane p(requests);
  pagemoor::HtmlPaneWidget& pane = p.pane;
  pane.LoadDocument(first);
  pane.LoadDocument(second);
  requests = 0;
  for (auto _ : state) {
    pane.setHistoryIndex(pane.HistoryIndex() == 0 ? 1 : 0);
    benchmark::DoNotOptimize(pane.viewport()->grab());
  }
  state.counters["image_requests"] = static_cast<double>(requests);
}
BENCHMARK(BM_BackInHistory)->Unit(benchmark::kMillisecond);

}  // namespace
