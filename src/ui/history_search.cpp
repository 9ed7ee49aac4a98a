// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/history_search.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/chat_history.h"
#include "core/texts.h"
#include "ui/qt_text.h"

namespace plumo::ui {

namespace {

// At most this many matches are highlighted (a one-letter search in a long log would otherwise
// cost more than it shows).
constexpr int kMaxHighlights = 5000;
constexpr int kPage = 100;

QColor HighlightColour() {
  return QColor(255, 235, 120);
}

// A search result's plain text as rich text, the matches in bold on a highlight.
QString MarkedHtml(const std::string& marked) {
  QString html;
  std::string run;
  bool inside = false;
  auto flush = [&] {
    const QString text = FromCp1251(run).toHtmlEscaped();
    html +=
        inside ? QStringLiteral("<b style=\"background:#ffeb78\">") + text + QStringLiteral("</b>") : text;
    run.clear();
  };
  for (const char c : marked) {
    if (c == kMatchOpen || c == kMatchClose) {
      flush();
      inside = c == kMatchOpen;
    } else if (c == '\r' || c == '\n') {
      run += ' ';
    } else {
      run += c;
    }
  }
  flush();
  return html;
}

}  // namespace

TFindBar::TFindBar(QTextEdit& view, QWidget* parent) : QFrame(parent), view_(view) {
  setObjectName(QStringLiteral("FindBar"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("FindEdit"));
  edit_->setClearButtonEnabled(true);
  edit_->installEventFilter(this);
  count_ = new QLabel(this);
  count_->setObjectName(QStringLiteral("FindCount"));
  auto button = [this](const char* name, const QString& text) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString::fromLatin1(name));
    b->setText(text);
    b->setAutoRaise(true);
    return b;
  };
  QToolButton* previous = button("FindPrevious", QStringLiteral("\u2191"));
  QToolButton* next = button("FindNext", QStringLiteral("\u2193"));
  QToolButton* close = button("FindClose", QStringLiteral("\u00d7"));
  layout->addWidget(edit_, 1);
  layout->addWidget(count_);
  layout->addWidget(previous);
  layout->addWidget(next);
  layout->addWidget(close);
  connect(edit_, &QLineEdit::textChanged, this, [this] { Refresh(); });
  connect(previous, &QToolButton::clicked, this, [this] { FindNext(true); });
  connect(next, &QToolButton::clicked, this, [this] { FindNext(false); });
  connect(close, &QToolButton::clicked, this, [this] { Close(); });
  hide();
}

void TFindBar::Open() {
  show();
  edit_->setFocus();
  edit_->selectAll();
  Refresh();
}

void TFindBar::Close() {
  hide();
  matches_.clear();
  current_ = -1;
  view_.setExtraSelections({});
  view_.setFocus();
}

void TFindBar::Refresh() {
  matches_.clear();
  current_ = -1;
  const QString text = edit_->text();
  if (!text.isEmpty() && isVisible()) {
    QTextDocument* doc = view_.document();
    QTextCursor found = doc->find(text, 0);
    while (!found.isNull() && static_cast<int>(matches_.size()) < kMaxHighlights) {
      matches_.emplace_back(found.selectionStart(), found.selectionEnd() - found.selectionStart());
      found = doc->find(text, found);
    }
  }
  // The newest match first: the log's end is where the user reads.
  if (!matches_.empty()) current_ = static_cast<int>(matches_.size()) - 1;
  Highlight();
}

bool TFindBar::FindNext(bool backwards) {
  if (matches_.empty()) Refresh();
  if (matches_.empty()) return false;
  const int n = static_cast<int>(matches_.size());
  current_ = ((current_ < 0 ? 0 : current_) + (backwards ? n - 1 : 1)) % n;
  Highlight();
  return true;
}

void TFindBar::Highlight() {
  QList<QTextEdit::ExtraSelection> selections;
  QTextCharFormat all;
  all.setBackground(HighlightColour());
  QTextCharFormat current;
  current.setBackground(QColor(255, 150, 50));
  for (int i = 0; i < static_cast<int>(matches_.size()); ++i) {
    QTextEdit::ExtraSelection s;
    s.cursor = QTextCursor(view_.document());
    s.cursor.setPosition(matches_[static_cast<std::size_t>(i)].first);
    s.cursor.setPosition(
        matches_[static_cast<std::size_t>(i)].first + matches_[static_cast<std::size_t>(i)].second,
        QTextCursor::KeepAnchor);
    s.format = i == current_ ? current : all;
    selections.append(s);
  }
  view_.setExtraSelections(selections);
  if (current_ >= 0) {
    QTextCursor cursor(view_.document());
    cursor.setPosition(matches_[static_cast<std::size_t>(current_)].first);
    view_.setTextCursor(cursor);
    view_.ensureCursorVisible();
  }
  ShowCount();
}

void TFindBar::ShowCount() {
  if (edit_->text().isEmpty()) {
    count_->clear();
  } else if (matches_.empty()) {
    count_->setText(QStringLiteral("0/0"));
  } else {
    count_->setText(QStringLiteral("%1/%2").arg(current_ + 1).arg(matches_.size()));
  }
}

bool TFindBar::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      Close();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      FindNext(key->modifiers().testFlag(Qt::ShiftModifier));
      return true;
    }
  }
  return QFrame::eventFilter(watched, event);
}

THistorySearch::THistorySearch(TChatHistory& history, const std::function<std::string(const char*)>& text,
                               QWidget* parent)
    : QDialog(parent), history_(history) {
  setObjectName(QStringLiteral("HistorySearch"));
  setWindowTitle(FromCp1251(text("SearchTitle")));
  resize(720, 420);
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("SearchEdit"));
  edit_->setClearButtonEnabled(true);
  auto* go = new QPushButton(FromCp1251(text("SearchButton")), this);
  go->setObjectName(QStringLiteral("SearchButton"));
  go->setAutoDefault(false);
  top->addWidget(edit_, 1);
  top->addWidget(go);
  layout->addLayout(top);
  results_ = new QTreeWidget(this);
  results_->setObjectName(QStringLiteral("SearchResults"));
  results_->setColumnCount(4);
  results_->setRootIsDecorated(false);
  results_->setUniformRowHeights(true);
  results_->setHeaderLabels(FromCp1251(text("SearchColumns")).split(QLatin1Char(',')));
  results_->header()->setStretchLastSection(true);
  layout->addWidget(results_, 1);
  auto* bottom = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("SearchStatus"));
  more_ = new QPushButton(FromCp1251(text("SearchMore")), this);
  more_->setObjectName(QStringLiteral("SearchMore"));
  more_->setAutoDefault(false);
  more_->setEnabled(false);
  everybody_ = text("Everybody");
  countFormat_ = text("SearchCount");
  bottom->addWidget(status_, 1);
  bottom->addWidget(more_);
  layout->addLayout(bottom);
  OnChoose = [this](const THistoryLine& line) { return history_.OpenAt(line); };
  connect(edit_, &QLineEdit::returnPressed, this, [this] { Search(); });
  connect(go, &QPushButton::clicked, this, [this] { Search(); });
  connect(more_, &QPushButton::clicked, this, [this] { More(); });
  connect(results_, &QTreeWidget::itemActivated, this,
          [this](QTreeWidgetItem* item, int) { Choose(results_->indexOfTopLevelItem(item)); });
}

void THistorySearch::ShowSearch() {
  show();
  raise();
  activateWindow();
  edit_->setFocus();
  edit_->selectAll();
}

void THistorySearch::Search() {
  query_ = edit_->text();
  hits_.clear();
  results_->clear();
  AddRows(history_.Search(ToCp1251(query_), kPage));
}

bool THistorySearch::More() {
  if (hits_.empty()) return false;
  const std::size_t before = hits_.size();
  AddRows(history_.Search(ToCp1251(query_), kPage, hits_.back().Line.Id));
  return hits_.size() > before;
}

void THistorySearch::AddRows(const std::vector<THistoryHit>& hits) {
  for (const auto& hit : hits) {
    auto* item = new QTreeWidgetItem(results_);
    item->setText(0, FromCp1251(DateTimeText(hit.Line.TimeMs)));
    item->setText(1, FromCp1251(TChatHistory::Caption(hit.Line.Conversation, hit.Line.PeerNick, everybody_)));
    item->setText(2, FromCp1251(hit.Line.SenderNick));
    auto* text = new QLabel(MarkedHtml(hit.Marked));
    text->setTextFormat(Qt::RichText);
    results_->setItemWidget(item, 3, text);
    hits_.push_back(hit);
  }
  more_->setEnabled(static_cast<int>(hits.size()) == kPage);
  status_->setText(FromCp1251(FormatText(countFormat_, {std::to_string(hits_.size())})));
  for (int column = 0; column < 3; ++column) results_->resizeColumnToContents(column);
}

bool THistorySearch::Choose(int row) {
  if (row < 0 || row >= static_cast<int>(hits_.size()) || !OnChoose) return false;
  return OnChoose(hits_[static_cast<std::size_t>(row)].Line);
}

}  // namespace plumo::ui
