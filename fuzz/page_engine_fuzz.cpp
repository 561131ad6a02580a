// Arbitrary bytes as a page, through the page model into the real pane and
// its layout engine on Qt's offscreen platform: laid out and painted. Run with
// a time limit per input, it finds the pages that keep the engine busy (deep
// nesting, tables in tables, long lists), which the page model must bound
// before the engine sees them.

#include <QApplication>
#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hypertext/HtmlPaneWidget.h"
#include "hypertext/PageModel.h"

namespace {

pagemoor::HtmlPaneWidget& Pane() {
  static int argc = 1;
  static char name[] = "page_engine_fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static pagemoor::HtmlPaneWidget* pane = [] {
    auto* p = new pagemoor::HtmlPaneWidget;
    p->resize(800, 600);
    // Pictures are missing; included text holds markup of its own.
    p->OnImageRequest = [](pagemoor::HtmlPaneWidget::Sender, const std::string&, std::string& stream) {
      stream.clear();
    };
    p->OnInclude = [](pagemoor::HtmlPaneWidget::Sender, const std::string& command,
                      const std::vector<std::string>&) { return "<table><tr><td><b>" + command + "</b>"; };
    p->show();
    return p;
  }();
  return *pane;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pagemoor::HtmlPaneWidget& pane = Pane();
  const std::string text = pagemoor::DecodePage(std::string_view(reinterpret_cast<const char*>(data), size));
  pane.LoadDocumentLines({text});
  QApplication::processEvents();
  pane.grab();
  return 0;
}
