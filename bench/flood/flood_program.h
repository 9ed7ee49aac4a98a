// SPDX-License-Identifier: GPL-3.0-or-later
// The program the flood benchmarks drive: a client core whose channel display is a
// RichConversationView over a rich-text control shown in a window, fed channel lines as datagrams from
// ten peers into its engine, on the real event loop (offscreen platform unless QT_QPA_PLATFORM says
// otherwise). Included by one benchmark program each.
#pragma once

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/chatcore.h"
#include "net/codec.h"
#include "support/datagrams.h"
#include "support/quiet_host.h"
#include "support/silent_surfaces.h"
#include "view/rich_conversation_view.h"
#include "view/rich_edits.h"
#include "view/rich_text_control.h"

namespace plumo {
namespace flood {

namespace fs = std::filesystem;

constexpr int kPeers = 10;
constexpr int kTickMs = 1;  // the generator's period: a burst of the lines due every millisecond
// At most this many milliseconds' worth of lines go in at one tick; the rest wait for the next ticks
// like datagrams in a socket's buffer, so a late tick does not turn into one huge burst.
constexpr int kMaxBurstMs = 5;
constexpr int kProbeMs = 10;  // the timer whose gaps tell how long the loop was blocked
constexpr int kDrainLimitMs = 60'000;

inline double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}


// Counts the paints of a widget.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

inline const std::vector<SmileyCode>& Codes() {
  static const auto codes = ParseSmileyTable({{":)", "0"}, {"_;)", "1"}, {":(", "2"}, {":D", "3"}});
  return codes;
}
inline const SmileyPictures& Pictures() {
  static const SmileyPictures pictures = SmileyPictures::BuiltIn();
  return pictures;
}

// The text a peer sends: a colour marker, words, a smiley in one line out of ten.
inline std::string ChatText(long n) {
  std::string text = "#^0000FFmessage number " + std::to_string(n) + " about the game tonight";
  if (n % 10 == 0) text += " :)";
  return text;
}

struct Result {
  int target = 0;
  long lines = 0;
  double offered = 0;   // lines per second handed to the engine, from the first to the last delivery
  double achieved = 0;  // lines per second, from the first delivery to the last line in the document
  double lagMs = 0;     // from the last delivery to the last line in the document
  double maxGapMs = 0;  // the largest interval between two ticks of the 10 ms timer
  double cpuUsPerLine = 0;
  double paintsPerSecond = 0;
  bool complete = false;
  bool lastInPlace = false;  // the log ends with the last line sent
};

// One program: its directory, the window with the channel display, the core on a quiet host.
class Program {
 public:
  // settings are further lines of chat.ini's [Main] section.
  explicit Program(const fs::path& languageFile, const std::string& settings = {}) {
    dir_ = fs::temp_directory_path() / ("plumo-flood-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    fs::copy_file(languageFile, dir_ / "english.lng", fs::copy_options::overwrite_existing);
    std::ofstream(dir_ / "chat.ini") << "[Main]\nLanguage=english.lng\nMyName=me\nChanelHotNik=1\n"
                                     << settings;

    auto* layout = new QVBoxLayout(&window_);
    control_ = new RichTextControl(&window_);
    layout->addWidget(control_);
    window_.resize(800, 600);
    views_ = std::make_unique<TVRichEdits>(control_);
    views_->SmileyCodes = &Codes();
    views_->SmileyImages = &Pictures();
    views_->HotNicks = true;
    channels_ = std::make_unique<RichConversationView>(*views_);
    core_ = std::make_unique<TChatCore>(
        FsPath(dir_),
        CoreSurfaces{*channels_, inputs_, editor_, roster_, surface_, sound_, timers_, system_}, host_);
    if (!core_->FormCreate()) {
      std::fprintf(stderr, "start-up failed\n");
      std::exit(1);
    }
    window_.show();
    views_->SetWindowVisible(true);
    core_->SetWindowVisible(true);
    control_->viewport()->installEventFilter(&paints_);
    for (int k = 0; k < kPeers; ++k) {
      addresses_.push_back("198.18.0." + std::to_string(10 + k));
      nicks_.push_back("peer" + std::to_string(k));
      seqs_.push_back(0);
      Deliver(sim::Datagram(pkHello, 2, U32ToBytes(0) + U32ToBytes(0), {nicks_.back(), "1", "", "Main"}),
              addresses_.back());
    }
    QCoreApplication::processEvents();
  }

  ~Program() {
    core_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // The number of the newest line in the displayed channel's document (-1 for none), read without
  // asking the view for anything: the document keeps only a window of the newest lines, so its
  // length says nothing about how many were shown.
  long LastShown() const {
    const QString last = views_->ViewAt(views_->CurrentIndex()).Content->lastBlock().text();
    const qsizetype at = last.indexOf(QStringLiteral(" number "));
    if (at < 0) return -1;
    const qsizetype from = at + 8;
    return last.mid(from, last.indexOf(QLatin1Char(' '), from) - from).toLong();
  }
  // Lines in the displayed channel's document.
  int ShownBlocks() const { return views_->ViewAt(views_->CurrentIndex()).Content->blockCount(); }
  long Sent() const { return sent_; }
  TVRichEdits& Views() { return *views_; }
  TChatCore& Core() { return *core_; }

  // The next channel line of the next peer.
  void DeliverLine() {
    const std::size_t k = static_cast<std::size_t>(sent_ % kPeers);
    ++seqs_[k];
    Deliver(sim::Datagram(pkChannelLine, seqs_[k], "", {nicks_[k], "Main", ChatText(sent_)}), addresses_[k]);
    ++sent_;
  }

  Result Flood(int rate, double seconds, int prefill) {
    for (int i = 0; i < prefill; ++i) DeliverLine();
    // The log takes the prefill at once, then the flood starts from a quiet loop.
    views_->ScrollToEnd();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 500) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    Result r;
    r.target = rate;
    r.lines = static_cast<long>(rate * seconds);
    const long first = sent_;
    const int paintsBefore = paints_.paints;

    QEventLoop loop;
    QElapsedTimer clock;
    QTimer generator;
    generator.setTimerType(Qt::PreciseTimer);
    generator.setInterval(kTickMs);
    qint64 lastDeliveryNs = 0;
    QObject::connect(&generator, &QTimer::timeout, [&] {
      const long due =
          std::min(r.lines, static_cast<long>(static_cast<double>(clock.nsecsElapsed()) * 1e-9 * rate));
      const long burst = std::max(1L, static_cast<long>(rate) * kMaxBurstMs / 1000);
      for (long n = 0; n < burst && sent_ - first < due; ++n) DeliverLine();
      if (sent_ - first >= r.lines) {
        generator.stop();
        lastDeliveryNs = clock.nsecsElapsed();
      }
    });
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(kProbeMs);
    qint64 lastProbeNs = 0;
    qint64 maxGapNs = 0;
    qint64 doneNs = 0;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      maxGapNs = std::max(maxGapNs, now - lastProbeNs);
      lastProbeNs = now;
      if (LastShown() - first + 1 >= r.lines) {
        doneNs = now;
        r.complete = true;
        loop.quit();
      } else if (now > (seconds * 1000 + kDrainLimitMs) * 1'000'000.0) {
        doneNs = now;
        loop.quit();
      }
    });
    const double cpu0 = CpuSeconds();
    clock.start();
    generator.start();
    probe.start();
    loop.exec();
    const double cpu = CpuSeconds() - cpu0;
    const long shown = LastShown() - first + 1;
    // The probe ticks every 10 ms, so completion is known to within one tick; the last line may
    // have been shown up to 10 ms before doneNs.
    r.achieved = static_cast<double>(shown) / (static_cast<double>(doneNs) * 1e-9);
    if (lastDeliveryNs > 0)
      r.offered = static_cast<double>(r.lines) / (static_cast<double>(lastDeliveryNs) * 1e-9);
    r.lagMs = static_cast<double>(doneNs - lastDeliveryNs) * 1e-6;
    r.maxGapMs = static_cast<double>(maxGapNs) * 1e-6;
    r.cpuUsPerLine = cpu * 1e6 / static_cast<double>(std::max(1L, shown));
    r.paintsPerSecond = (paints_.paints - paintsBefore) / (static_cast<double>(doneNs) * 1e-9);
    if (!r.complete) r.lines = shown;
    const QTextDocument& log = *views_->ViewAt(views_->CurrentIndex()).Content;
    r.lastInPlace = log.lastBlock().text().contains(QStringLiteral(" number %1 ").arg(sent_ - 1));
    return r;
  }

 private:
  void Deliver(const std::string& data, const std::string& from) {
    core_->Engine().DataReceived(reinterpret_cast<const std::uint8_t*>(data.data()),
                                 static_cast<long>(data.size()), from, kDefaultPort);
  }

  fs::path dir_;
  QWidget window_;
  RichTextControl* control_ = nullptr;
  PaintCounter paints_;
  std::unique_ptr<TVRichEdits> views_;
  std::unique_ptr<RichConversationView> channels_;
  NoConversations inputs_;
  NoEditor editor_;
  NoRoster roster_;
  NoWindow surface_;
  NoSound sound_;
  NoTimers timers_;
  OneInterface system_;
  sim::QuietHost host_;
  std::unique_ptr<TChatCore> core_;
  std::vector<std::string> addresses_;
  std::vector<std::string> nicks_;
  std::vector<std::uint16_t> seqs_;
  long sent_ = 0;
};

}  // namespace flood
}  // namespace plumo
