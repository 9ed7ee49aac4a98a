// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the message views: appending chat lines to a long log, showing a stashed conversation
// with queued lines, and turning a coloured draft with pictures into markup.
#include <QApplication>
#include <QTextCursor>

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "view/markup.h"
#include "view/rich_edits.h"
#include "view/rich_text_control.h"

namespace plumo {
namespace {

const std::vector<SmileyCode>& Codes() {
  static const auto codes = ParseSmileyTable({{":)", "0"}, {"_;)", "1"}, {":(", "2"}, {":D", "3"}});
  return codes;
}

const SmileyPictures& Pictures() {
  static const SmileyPictures pictures = SmileyPictures::BuiltIn();
  return pictures;
}

// A chat line as the client builds it: time in grey, a hot nick, coloured text, a smiley in one
// line out of ten.
std::string ChatLine(int n) {
  std::string line = "#^666666[10:15:" + std::to_string(10 + n % 50) + "] #^000000:#guest" +
                     std::to_string(n % 7) + "^#K: #^0000FFmessage number " + std::to_string(n) +
                     " about the game tonight";
  if (n % 10 == 0) line += " :)";
  return line;
}

struct Window {
  Window() {
    control.resize(640, 480);
    control.show();
    views.SmileyCodes = &Codes();
    views.SmileyImages = &Pictures();
    views.HotNicks = true;
    views.SetWindowVisible(true);
  }
  RichTextControl control;
  TVRichEdits views{&control};
};

// A displayed log of `lines` lines, scrolled to its end and painted.
void FillLog(Window& w, int lines) {
  w.views.InsertView(0);
  w.views.ShowView(0, ModeLog);
  // Filling through the queue formats the lines once, as showing a conversation does.
  w.views.SetWindowVisible(false);
  for (int i = 0; i < lines; ++i) w.views.AddLine(0, ChatLine(i));
  w.views.SetWindowVisible(true);
  w.views.ScrollToEnd();
  QCoreApplication::processEvents();
}

// Appending single lines to the displayed log of state.range(0) lines, each one appended, scrolled to
// and painted before the next (lines that arrive one by one, slower than the flush interval); the
// cost per line should not depend on the length of the log.
void BM_AppendLine(benchmark::State& state) {
  Window w;
  const int existing = static_cast<int>(state.range(0));
  FillLog(w, existing);
  int n = existing;
  for (auto _ : state) {
    w.views.AddLine(0, ChatLine(n++));
    w.views.Flush();
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AppendLine)->Arg(1000)->Arg(100000)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// One delivery mark changed in place in the displayed log of 1,000 rows that each carry a mark (a
// roll-call's "received by N of 1000" going up), painted before the next; the marks change in turn
// from the newest row up, where the user looks.
void BM_MarkChanged(benchmark::State& state) {
  Window w;
  w.views.InsertView(0);
  w.views.ShowView(0, ModeLog);
  w.views.SetWindowVisible(false);
  constexpr int kRows = 1000;
  for (int i = 0; i < kRows; ++i) {
    w.views.AddLine(0, ChatLine(i));
    w.views.AddMark(0, TDeliveryMark{static_cast<MessageId>(i + 1), -1, "received by 0 of 1000",
                                     "who has it", TDeliveryMark::Action::RollCall});
  }
  w.views.SetWindowVisible(true);
  w.views.ScrollToEnd();
  QCoreApplication::processEvents();
  int n = 0;
  for (auto _ : state) {
    const MessageId id = kRows - static_cast<MessageId>(n % 20);
    const std::string text = "received by " + std::to_string(++n % 1000) + " of 1000";
    if (w.views.ChangeMark(TDeliveryMark{id, -1, text, "who has it", TDeliveryMark::Action::RollCall}) != 1)
      state.SkipWithError("the mark was not found");
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MarkChanged)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// A burst of state.range(0) lines added to the displayed log of 1,000 lines, appended by one flush,
// scrolled to and painted: the cost per line in a flood.
void BM_AppendBurst(benchmark::State& state) {
  Window w;
  FillLog(w, 1000);
  int n = 1000;
  for (auto _ : state) {
    for (int i = 0; i < state.range(0); ++i) w.views.AddLine(0, ChatLine(n++));
    w.views.Flush();
    QCoreApplication::processEvents();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendBurst)->Arg(TVRichEdits::kMaxFlushLines)->Iterations(50)->Unit(benchmark::kMillisecond);

// Showing a stashed conversation of 10,000 lines with 200 lines queued while it was stashed.
void BM_ShowStashed(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>();
    w->views.InsertView(0);
    w->views.InsertView(1);
    for (int i = 0; i < 10000; ++i) w->views.AddLine(1, ChatLine(i));
    w->views.ShowView(1, ModeLog);
    w->views.ScrollToEnd();
    QCoreApplication::processEvents();
    w->views.ShowView(0, ModeLog);
    for (int i = 0; i < 200; ++i) w->views.AddLine(1, ChatLine(10000 + i));
    QCoreApplication::processEvents();
    state.ResumeTiming();
    w->views.ShowView(1, ModeLog);
    w->views.ScrollToEnd();
    QCoreApplication::processEvents();
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ShowStashed)->Iterations(5)->Unit(benchmark::kMillisecond);

// Heap bytes a stashed conversation of state.range(0) lines keeps, per character of its text.
void BM_ConversationMemory(benchmark::State& state) {
  for (auto _ : state) {
    Window w;
    w.views.InsertView(0);
    w.views.ShowView(0, ModeLog);
    const auto before = mallinfo2().uordblks;
    w.views.InsertView(1);
    for (int i = 0; i < state.range(0); ++i) w.views.AddLine(1, ChatLine(i));
    w.views.ShowView(1, ModeLog);
    w.views.ScrollToEnd();
    QCoreApplication::processEvents();
    w.views.ShowView(0, ModeLog);
    const auto after = mallinfo2().uordblks;
    const double chars = w.views.ViewAt(1).Content->characterCount();
    state.counters["bytes_per_char"] = static_cast<double>(after - before) / chars;
    state.counters["chars"] = chars;
  }
}
BENCHMARK(BM_ConversationMemory)->Arg(10000)->Arg(20000)->Iterations(1)->Unit(benchmark::kMillisecond);

// ContentToMarkup of a 2,000-character draft with 50 colour changes and 20 pictures.
void BM_ContentToMarkup(benchmark::State& state) {
  Window w;
  w.views.InsertView(0);
  w.views.ShowView(0, ModeMultiLine);
  QTextCursor cursor(&w.views.Document());
  const QString word = QStringLiteral("lorem ipsum dolor sit amet ");
  int pictures = 0;
  for (int run = 0; run < 50; ++run) {
    QTextCharFormat f;
    f.setForeground(ToQColor(static_cast<TColor>(run * 0x050301)));
    cursor.insertText(word + word.left(13), f);
    if (run % 5 < 2 && pictures < 20) {
      InsertSmiley(cursor, QStringLiteral(":)"), 0, Pictures());
      ++pictures;
    }
  }
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string markup = w.views.ContentToMarkup();
    size = markup.size();
    benchmark::DoNotOptimize(markup);
  }
  state.counters["draft_chars"] = w.views.Document().characterCount() - 1;
  state.counters["markup_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_ContentToMarkup)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plumo

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
