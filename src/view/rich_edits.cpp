// SPDX-License-Identifier: GPL-3.0-or-later
#include "view/rich_edits.h"

#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFormat>
#include <QUrl>

#include <QStringList>
#include <QTextImageFormat>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "lang/codepage.h"
#include "view/markup.h"
#include "view/rich_text_control.h"

namespace plumo {
namespace {

constexpr char kLineEnd[] = "#^000000";
constexpr char kHasLines[] = "plumoHasLines";

QString ToQt(const std::string& cp1251) {
  return QString::fromStdString(Cp1251ToUtf8(cp1251));
}
std::string FromQt(const QString& text) {
  return Utf8ToCp1251(text.toStdString());
}

std::unique_ptr<QTextDocument> NewDocument() {
  auto doc = std::make_unique<QTextDocument>();
  // Program rewrites (formatting, appended lines) are not steps a user could undo, and an undo
  // history would make a long log cost memory out of proportion to its text.
  doc->setUndoRedoEnabled(false);
  return doc;
}

// The format lines are appended in: black until their markup says otherwise.
QTextCharFormat LineFormat() {
  QTextCharFormat f;
  f.setForeground(QColor(Qt::black));
  return f;
}

// The colour of text that has none of its own.
void SetTextColour(QWidget& control, const QColor& colour) {
  QPalette palette = control.palette();
  palette.setColor(QPalette::Text, colour);
  control.setPalette(palette);
}

// Where the reply area of a conversation ends and its protected quote begins (the end of the text
// when nothing is protected).
int QuoteStart(const TVRichedit& view) {
  return std::max(0, view.Content->characterCount() - 1 - view.ProtectedLength);
}

// Empties doc together with what it keeps beside its text: whether it held a line, and its pictures
// (clearing drops them, so they must be added again).
void ClearDocument(QTextDocument& doc) {
  doc.clear();
  doc.setProperty(kHasLines, QVariant());
  ForgetSmileyResources(doc);
}

}  // namespace

TVRichedit::TVRichedit() : Content(NewDocument()) {}
TVRichedit::~TVRichedit() = default;

int TVRichedit::SmileyCount() const {
  int count = 0;
  for (QTextBlock block = Content->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      if (IsSmiley(it.fragment().charFormat())) count += it.fragment().length();
    }
  }
  return count;
}

TVRichEdits::TVRichEdits(RichTextControl* control) : control_(control), blank_(NewDocument()) {
  flushTimer_.setSingleShot(true);
  connect(&flushTimer_, &QTimer::timeout, this, [this] { FlushLines(kMaxFlushLines); });
  if (control_ == nullptr) return;
  control_->setDocument(blank_.get());
  control_->SetProtectFilter(
      [this](int start, int end, bool deleteKey) { return ProtectChange(start, end, deleteKey); });
  // The selection lies in what the document holds already; a flush here would move the caret away.
  control_->SetCopyFilter(
      [this](int start, int end) { return RangeToMarkup(Doc(), start, end, false, DefaultColor()); });
  connect(control_, &RichTextControl::Pasted, this, [this] { FormatView(); });
  connect(control_, &QObject::destroyed, this, [this] { control_ = nullptr; });
}

TVRichEdits::~TVRichEdits() {
  if (control_ != nullptr) {
    control_->SetProtectFilter(nullptr);
    control_->SetCopyFilter(nullptr);
    // The control must not keep pointing at documents that die with the conversations.
    control_->setDocument(new QTextDocument(control_));
  }
}

QTextDocument& TVRichEdits::Doc() const {
  return displayed_ != nullptr ? *displayed_->Content : *blank_;
}

QTextDocument& TVRichEdits::Document() {
  Flush();
  return Doc();
}

int TVRichEdits::TextLength() const {
  return Doc().characterCount() - 1;
}

QColor TVRichEdits::DefaultColor() const {
  return currentMode_ == ModeLog ? QColor(Qt::black) : ToQColor(ownColor_);
}

void TVRichEdits::Attach(TVRichedit* record) {
  displayed_ = record;
  if (record == nullptr) ClearDocument(*blank_);
  if (control_ != nullptr) control_->setDocument(&Doc());
}

int TVRichEdits::CurrentIndex() const {
  for (std::size_t i = 0; i < views_.size(); ++i) {
    if (views_[i].get() == current_) return static_cast<int>(i);
  }
  return -1;
}

TVRichedit& TVRichEdits::ViewAt(int index) {
  if (index < 0 || index >= Count()) throw std::out_of_range("no conversation at this index");
  return *views_[static_cast<std::size_t>(index)];
}

TVRichedit& TVRichEdits::CurrentView() {
  if (current_ == nullptr) throw std::out_of_range("no current conversation");
  return *current_;
}

bool TVRichEdits::InsertView(int index) {
  if (index < 0 || index > Count()) return false;
  views_.insert(views_.begin() + index, std::make_unique<TVRichedit>());
  return true;
}

bool TVRichEdits::RemoveView(int index) {
  if (index < 0 || index >= Count()) return false;
  const auto it = views_.begin() + index;
  // Taking a conversation off the control is not a user edit, so it needs no pass through the
  // protection; a pass granted here would let the user's next edit change the protected quote of the
  // conversation shown next.
  if (it->get() == current_) {
    current_ = nullptr;
    Attach(nullptr);
  }
  views_.erase(it);
  return true;
}

int TVRichEdits::AppendLine(QTextDocument& doc, const std::string& line, bool newParagraph,
                            bool oneParagraph) {
  QString text = ToQt(line);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  // A line separator breaks the line as the text shows it but keeps one paragraph (and copies as
  // a line break).
  if (oneParagraph) text.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
  const QTextCharFormat base = LineFormat();
  QTextCursor cursor(&doc);
  cursor.movePosition(QTextCursor::End);
  if (newParagraph) cursor.insertBlock(QTextBlockFormat(), base);
  cursor.block().setUserState(kRowStart);
  const int from = cursor.position();
  cursor.insertText(text, base);
  return from;
}

void TVRichEdits::AppendFormatted(QTextDocument& doc, const std::vector<std::string>& lines,
                                  bool oneParagraph, std::vector<int>* starts) const {
  if (SmileyImages != nullptr) AddSmileyResources(doc, *SmileyImages);
  // One edit block: the document reports one change for all the lines, so a view lays them out once.
  QTextCursor edit(&doc);
  edit.beginEditBlock();
  // A line whose markup leaves no text is still a line: the next one goes below it.
  bool newParagraph = doc.characterCount() > 1 || doc.property(kHasLines).toBool();
  doc.setProperty(kHasLines, true);
  for (const std::string& line : lines) {
    // Each line is formatted alone, so no markup reaches from one line into the next.
    const int from = AppendLine(doc, line, newParagraph, oneParagraph);
    if (starts != nullptr) starts->push_back(from);
    FormatDocRange(doc, from, doc.characterCount() - 1);
    MarkHeader(doc, from);
    newParagraph = true;
  }
  edit.endEditBlock();
}

void TVRichEdits::MarkHeader(QTextDocument& doc, int from) const {
  if (HeaderMark.isEmpty() || HeaderPicture.isNull()) return;
  // The line starts after the paragraph break it was appended with; its header ends at its first
  // line break (U+2028) or paragraph break (U+2029).
  QString text = RangeText(doc, from, doc.characterCount() - 1);
  if (text.startsWith(QChar(0x2029))) {
    text.remove(0, 1);
    ++from;
  }
  qsizetype headerEnd = 0;
  while (headerEnd < text.size() && text[headerEnd] != QChar(0x2028) && text[headerEnd] != QChar(0x2029))
    ++headerEnd;
  const QString header = text.left(headerEnd);
  if (!header.endsWith(QLatin1Char(' ') + HeaderMark)) return;
  const int end = from + static_cast<int>(header.size());
  QTextCursor mark(&doc);
  mark.setPosition(end - static_cast<int>(HeaderMark.size()));
  mark.setPosition(end, QTextCursor::KeepAnchor);
  static const QString kName = QStringLiteral("plumo-header-mark");
  doc.addResource(QTextDocument::ImageResource, QUrl(kName), HeaderPicture);
  QTextImageFormat picture;
  picture.setName(kName);
  picture.setWidth(HeaderPicture.width() / HeaderPicture.devicePixelRatio());
  picture.setHeight(HeaderPicture.height() / HeaderPicture.devicePixelRatio());
  picture.setVerticalAlignment(QTextCharFormat::AlignMiddle);
  picture.setProperty(kSmileyCodeProperty, HeaderMark);
  const QTextCharFormat was = mark.charFormat();
  if (was.hasProperty(QTextFormat::ForegroundBrush)) picture.setForeground(was.foreground());
  mark.insertImage(picture);
}

int TVRichEdits::FormatDocRange(QTextDocument& doc, int from, int to, bool typing) const {
  FormatOptions options;
  options.Typing = typing;
  options.HotNicks = HotNicks;
  options.Codes = SmileyCodes;
  options.Pictures = SmileyImages;
  return FormatRange(doc, from, to, options);
}

bool TVRichEdits::ShowView(int index, TViewMode mode) {
  if (index < 0 || index >= Count()) return false;
  // The displayed conversation takes its lines in the mode they were added in: queued lines of a
  // conversation being shown make the quote of a reply draft, and lines of a log must not.
  Flush();
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  current_ = &view;
  if (!windowVisible_) {
    Attach(nullptr);
    ApplyMode(mode);
    return true;
  }
  SetUpdating(true);
  // Each queued line is formatted alone, as it would have been when displayed on arrival.
  QTextDocument& doc = *view.Content;
  // Editors are small; formatting the reply area whole catches text typed and left unformatted. It
  // runs before the queued lines arrive: they are formatted already, and formatting formatted text a
  // second time could turn what an invalid marker left behind into a marker.
  if (mode != ModeLog) FormatDocRange(doc, 0, QuoteStart(view));
  const bool hadPending = !view.PendingLines.empty();
  if (hadPending) {
    std::vector<int> starts;
    AppendFormatted(doc, view.PendingLines, false, &starts);
    TakeQueued(view, view.PendingLines.size(), &starts);
  }
  view.PendingLines.clear();
  view.PendingLines.shrink_to_fit();
  Attach(&view);
  ApplyMode(mode);
  if (currentMode_ == ModeReply && hadPending) {
    // The received conversation becomes the protected quote; the reply is typed in front of it.
    view.ProtectedLength = TextLength();
    view.AllowProtectedEdit = false;
  }
  if (control_ != nullptr) {
    QTextCursor cursor(&doc);
    control_->setTextCursor(cursor);
    if (currentMode_ != ModeLog) ResetTyping();
    if (currentMode_ == ModeReply || currentMode_ == ModeLog) control_->ensureCursorVisible();
  }
  SetUpdating(false);
  return true;
}

void TVRichEdits::SetWindowVisible(bool visible) {
  if (visible == windowVisible_) return;
  Flush();
  windowVisible_ = visible;
  // The content stays in the conversation's document while it is off the control, so hiding and
  // showing again never copy it.
  if (!visible) {
    Attach(nullptr);
  } else if (current_ != nullptr) {
    ShowView(CurrentIndex(), currentMode_);
  }
}

bool TVRichEdits::AddLine(int index, const std::string& line) {
  if (index < 0 || index >= Count()) return false;
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  std::string full = line + kLineEnd;
  if (&view != displayed_ || Batching()) {
    view.PendingLines.push_back(std::move(full));
    if (&view == displayed_) ScheduleFlush();
    return true;
  }
  SetUpdating(true);
  AppendToDisplayed({full}, false);
  SetUpdating(false);
  return true;
}

bool TVRichEdits::PrependLines(int index, const std::vector<std::string>& lines) {
  if (index < 0 || index >= Count()) return false;
  if (lines.empty()) return true;
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  const bool shown = &view == displayed_ && control_ != nullptr;
  if (shown) Flush();
  // The lines are laid out in a document of their own, then moved to the top as one fragment.
  const std::unique_ptr<QTextDocument> part = NewDocument();
  std::vector<std::string> ended;
  ended.reserve(lines.size());
  for (const auto& line : lines) ended.push_back(line + kLineEnd);
  AppendFormatted(*part, ended, true);
  QTextDocument& doc = *view.Content;
  QScrollBar* bar = shown ? control_->verticalScrollBar() : nullptr;
  const int fromBottom = bar ? bar->maximum() - bar->value() : 0;
  const bool hadText = doc.characterCount() > 1 || doc.property(kHasLines).toBool();
  if (SmileyImages != nullptr) AddSmileyResources(doc, *SmileyImages);
  QTextCursor cursor(&doc);
  cursor.beginEditBlock();
  cursor.movePosition(QTextCursor::Start);
  cursor.insertFragment(QTextDocumentFragment(part.get()));
  if (hadText) cursor.insertBlock();
  cursor.endEditBlock();
  // A fragment brings no block states: each prepended line is one paragraph, and the paragraph below
  // them began a line already.
  QTextBlock block = doc.begin();
  for (std::size_t i = 0; i <= lines.size() && block.isValid(); ++i, block = block.next()) {
    if (i < lines.size() || hadText) block.setUserState(kRowStart);
  }
  doc.setProperty(kHasLines, true);
  view.HistoryRows += static_cast<int>(lines.size());
  if (bar) bar->setValue(bar->maximum() - fromBottom);
  return true;
}

bool TVRichEdits::DropOldest(int index, int rows) {
  if (index < 0 || index >= Count()) return false;
  if (rows <= 0) return true;
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  QTextDocument& doc = *view.Content;
  // The document holds the older lines: the paragraph where line `rows` starts ends the cut.
  int inDocument = 0;
  QTextBlock end = doc.begin();
  for (; end.isValid(); end = end.next()) {
    if (end.userState() == kRowStart && inDocument++ == rows) break;
  }
  if (end.isValid()) --inDocument;
  const bool shown = &view == displayed_ && control_ != nullptr;
  QScrollBar* bar = shown ? control_->verticalScrollBar() : nullptr;
  const int fromBottom = bar ? bar->maximum() - bar->value() : 0;
  // Updates the owner suspended stay suspended.
  const bool resume = shown && !updating_;
  if (resume) SetUpdating(true);
  if (!end.isValid()) {
    ClearDocument(doc);
    std::erase_if(view.Marks, [](const auto& spot) { return spot.second.Length >= 0; });
  } else if (end.position() > 0) {
    // Marks of the rows cut away are forgotten.
    const int cutEnd = end.position();
    std::erase_if(view.Marks, [cutEnd](const auto& spot) {
      return spot.second.Length >= 0 && spot.second.At.position() < cutEnd;
    });
    QTextCursor cut(&doc);
    cut.setPosition(cutEnd, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    doc.begin().setUserState(kRowStart);
  }
  view.HistoryRows = std::max(0, view.HistoryRows - inDocument);
  // The rest come from the lines still waiting for the document.
  const auto queued =
      std::min<std::size_t>(static_cast<std::size_t>(rows - inDocument), view.PendingLines.size());
  view.PendingLines.erase(view.PendingLines.begin(),
                          view.PendingLines.begin() + static_cast<std::ptrdiff_t>(queued));
  TakeQueued(view, queued, nullptr);
  if (bar) bar->setValue(bar->maximum() - fromBottom);
  if (resume) SetUpdating(false);
  return true;
}

std::optional<TMarkClick> ParseMarkLink(const QString& link) {
  if (!link.startsWith(QLatin1String(kMarkLinkScheme))) return std::nullopt;
  const QStringList parts =
      link.mid(static_cast<qsizetype>(std::strlen(kMarkLinkScheme))).split(QLatin1Char(':'));
  if (parts.size() != 2) return std::nullopt;
  bool idOk = false;
  bool actionOk = false;
  const qulonglong id = parts[0].toULongLong(&idOk);
  const uint action = parts[1].toUInt(&actionOk);
  if (!idOk || !actionOk || id == 0 || action == 0 ||
      action > static_cast<uint>(TDeliveryMark::Action::CancelWaiting))
    return std::nullopt;
  return TMarkClick{id, static_cast<TDeliveryMark::Action>(action)};
}

int TVRichEdits::DrawMark(QTextDocument& doc, int at, const TDeliveryMark& mark) const {
  return DrawDeliveryMark(doc, at, mark, MarkPicture);
}

int DrawDeliveryMark(QTextDocument& doc, int at, const TDeliveryMark& mark,
                     const std::function<QImage(int icon)>& picture) {
  // Grey beside the line, blue and underlined where a click does something; the tip everywhere.
  const bool clickable = mark.Click != TDeliveryMark::Action::None;
  QTextCharFormat format;
  format.setForeground(clickable ? QColor(0x1A, 0x5F, 0xB4) : QColor(0x70, 0x70, 0x70));
  format.setFontWeight(QFont::Normal);
  format.setFontItalic(false);
  format.setToolTip(ToQt(mark.Tooltip));
  format.setProperty(kMarkProperty, static_cast<qulonglong>(mark.Id));
  if (clickable) {
    format.setAnchor(true);
    format.setAnchorHref(QStringLiteral("%1%2:%3")
                             .arg(QLatin1String(kMarkLinkScheme))
                             .arg(static_cast<qulonglong>(mark.Id))
                             .arg(static_cast<uint>(mark.Click)));
  }
  QTextCursor cursor(&doc);
  cursor.setPosition(at);
  cursor.insertText(QStringLiteral("  "), format);
  const QImage image = picture && mark.Icon >= 0 ? picture(mark.Icon) : QImage();
  if (!image.isNull()) {
    const QString name = QStringLiteral("plumo-mark-%1").arg(mark.Icon);
    doc.addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat shown;
    shown.merge(format);
    shown.setName(name);
    shown.setWidth(image.width() / image.devicePixelRatio());
    shown.setHeight(image.height() / image.devicePixelRatio());
    shown.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    cursor.insertImage(shown);
    cursor.insertText(QString(QChar(0xA0)), format);
  }
  if (clickable) format.setFontUnderline(true);
  // The mark wraps as a whole ("received by 27 of 30" never split over two lines).
  cursor.insertText(ToQt(mark.Text).replace(QLatin1Char(' '), QChar(0xA0)), format);
  return cursor.position() - at;
}

bool TVRichEdits::RedrawMark(TVRichedit& view, TMarkSpot& spot, const TDeliveryMark& mark) {
  QTextDocument& doc = *view.Content;
  const int at = spot.At.position();
  // The first character still carries the mark's id unless its row left (a cursor in removed text
  // falls to where the removal began).
  const QTextBlock block = doc.findBlock(at);
  if (!block.isValid() || at + spot.Length > doc.characterCount() - 1) return false;
  QTextCursor check(&doc);
  check.setPosition(at + 1);
  if (check.charFormat().property(kMarkProperty).toULongLong() != mark.Id) return false;
  // One edit block: the control repaints the row once, after the event (not the whole view, as
  // SetUpdating would).
  // A mark inside a reply's protected quote changes the quote's length with it.
  const bool inQuote = view.ProtectedLength > 0 && at >= QuoteStart(view);
  QTextCursor old(&doc);
  old.beginEditBlock();
  old.setPosition(at);
  old.setPosition(at + spot.Length, QTextCursor::KeepAnchor);
  old.removeSelectedText();
  const int length = DrawMark(doc, at, mark);
  old.endEditBlock();
  if (inQuote) view.ProtectedLength += length - spot.Length;
  spot.At.setPosition(at);
  spot.Length = length;
  spot.Mark = mark;
  return true;
}

bool TVRichEdits::AddMark(int index, const TDeliveryMark& mark) {
  if (index < 0 || index >= Count()) return false;
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  // A mark has one row: one drawn before for this id goes.
  if (auto it = view.Marks.find(mark.Id); it != view.Marks.end()) {
    const TMarkSpot& old = it->second;
    QTextCursor check(view.Content.get());
    if (old.Length > 0 && old.At.position() + old.Length <= view.Content->characterCount() - 1) {
      check.setPosition(old.At.position() + 1);
      if (check.charFormat().property(kMarkProperty).toULongLong() == mark.Id) {
        check.setPosition(old.At.position());
        check.setPosition(old.At.position() + old.Length, QTextCursor::KeepAnchor);
        check.removeSelectedText();
      }
    }
    view.Marks.erase(it);
    std::erase_if(view.QueuedMarks, [&mark](const auto& queued) { return queued.second == mark.Id; });
  }
  if (!view.PendingLines.empty()) {
    view.QueuedMarks.emplace_back(view.PendingTaken + view.PendingLines.size() - 1, mark.Id);
    view.Marks.emplace(mark.Id, TMarkSpot{mark, QTextCursor(), -1});
    return true;
  }
  QTextDocument& doc = *view.Content;
  if (doc.characterCount() <= 1 && !doc.property(kHasLines).toBool()) return false;
  const int at = doc.characterCount() - 1;
  const bool inQuote = view.ProtectedLength > 0;
  const int length = DrawMark(doc, at, mark);
  if (inQuote) view.ProtectedLength += length;
  QTextCursor spot(&doc);
  spot.setPosition(at);
  view.Marks.insert_or_assign(mark.Id, TMarkSpot{mark, spot, length});
  return true;
}

int TVRichEdits::ChangeMark(const TDeliveryMark& mark) {
  int changed = 0;
  for (const auto& view : views_) {
    const auto it = view->Marks.find(mark.Id);
    if (it == view->Marks.end()) continue;
    if (it->second.Length < 0) {
      it->second.Mark = mark;  // drawn with its row
    } else if (!RedrawMark(*view, it->second, mark)) {
      view->Marks.erase(it);
      continue;
    }
    ++changed;
  }
  return changed;
}

void TVRichEdits::TakeQueued(TVRichedit& view, std::size_t count, const std::vector<int>* starts) {
  const std::uint64_t first = view.PendingTaken;
  view.PendingTaken += count;
  if (view.QueuedMarks.empty() || view.QueuedMarks.front().first >= view.PendingTaken) return;
  std::vector<std::pair<std::size_t, MessageId>> taken;
  while (!view.QueuedMarks.empty() && view.QueuedMarks.front().first < view.PendingTaken) {
    taken.emplace_back(static_cast<std::size_t>(view.QueuedMarks.front().first - first),
                       view.QueuedMarks.front().second);
    view.QueuedMarks.pop_front();
  }
  QTextDocument& doc = *view.Content;
  // From the last line up, so that a drawn mark moves none of the line ends still to come.
  for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
    const auto spot = view.Marks.find(it->second);
    if (spot == view.Marks.end()) continue;
    if (starts == nullptr || it->first >= starts->size()) {
      view.Marks.erase(spot);
      continue;
    }
    const int at = it->first + 1 < starts->size() ? (*starts)[it->first + 1] - 1 : doc.characterCount() - 1;
    spot->second.Length = DrawMark(doc, at, spot->second.Mark);
    spot->second.At = QTextCursor(&doc);
    spot->second.At.setPosition(at);
  }
}

bool TVRichEdits::ShowRow(int index, int row) {
  if (index < 0 || index >= Count() || control_ == nullptr) return false;
  TVRichedit& view = *views_[static_cast<std::size_t>(index)];
  if (&view != displayed_) return false;
  Flush();
  // Rows are lines, and a line's breaks start paragraphs of their own: the row's first paragraph is
  // the row-th that starts a line.
  QTextBlock block = view.Content->begin();
  for (int starts = 0; block.isValid(); block = block.next()) {
    if (block.userState() == kRowStart && starts++ == row) break;
  }
  if (!block.isValid() || row < 0) return false;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  control_->setTextCursor(cursor);
  control_->ensureCursorVisible();
  return true;
}

void TVRichEdits::ScheduleFlush() {
  if (flushTimer_.isActive()) return;
  const qint64 since = lastFlush_.isValid() ? lastFlush_.elapsed() : kFlushIntervalMs;
  flushTimer_.start(static_cast<int>(std::clamp<qint64>(kFlushIntervalMs - since, 0, kFlushIntervalMs)));
}

void TVRichEdits::Flush() {
  FlushLines(static_cast<std::size_t>(-1));
}

void TVRichEdits::FlushLines(std::size_t maxLines) {
  flushTimer_.stop();
  if (displayed_ == nullptr || displayed_->PendingLines.empty()) return;
  // The interval runs from the start of a flush, so that a long flush is followed by the next one
  // without a pause of its own when lines are waiting.
  lastFlush_.start();
  std::vector<std::string>& pending = displayed_->PendingLines;
  // Updates the owner suspended stay suspended.
  const bool resume = !updating_;
  if (resume) SetUpdating(true);
  if (pending.size() <= maxLines) {
    AppendToDisplayed(pending, true);
    pending.clear();
  } else {
    const auto end = pending.begin() + static_cast<std::ptrdiff_t>(maxLines);
    const std::vector<std::string> first(std::make_move_iterator(pending.begin()),
                                         std::make_move_iterator(end));
    pending.erase(pending.begin(), end);
    AppendToDisplayed(first, true);
  }
  if (resume) SetUpdating(false);
  if (!pending.empty()) ScheduleFlush();
}

void TVRichEdits::AppendToDisplayed(const std::vector<std::string>& lines, bool queued) {
  TVRichedit& view = *displayed_;
  const int before = TextLength();
  std::vector<int> starts;
  AppendFormatted(*view.Content, lines, false, queued ? &starts : nullptr);
  if (queued) TakeQueued(view, lines.size(), &starts);
  // Text that arrives in a reply draft is received text: it joins the protected quote.
  if (currentMode_ == ModeReply) view.ProtectedLength += TextLength() - before;
  if (currentMode_ == ModeLog) ScrollCaretToEnd();
}

void TVRichEdits::ApplyMode(TViewMode mode) {
  // Queued lines of the log are appended as log lines before the mode changes.
  Flush();
  currentMode_ = mode;
  if (control_ == nullptr) return;
  int height = -1;
  switch (mode) {
    case ModeSingleLine:
      control_->setReadOnly(false);
      control_->SetAcceptLineBreaks(false);
      // A long line wraps, so that the owner can let the editor grow to show it whole.
      control_->setLineWrapMode(QTextEdit::WidgetWidth);
      height = SingleLineHeight;
      break;
    case ModeMultiLine:
    case ModeReply:
      control_->setReadOnly(false);
      control_->SetAcceptLineBreaks(true);
      control_->setLineWrapMode(QTextEdit::WidgetWidth);
      height = mode == ModeMultiLine ? MultiLineHeight : ReplyHeight;
      break;
    case ModeLog:
      control_->setReadOnly(true);
      control_->SetAcceptLineBreaks(true);
      control_->setLineWrapMode(QTextEdit::WidgetWidth);
      break;
    default:
      return;
  }
  SetTextColour(*control_, DefaultColor());
  if (height >= 0) {
    if (OnHeight) {
      OnHeight(height);
    } else {
      control_->setFixedHeight(height);
    }
    ResetTyping();
  } else if (!OnHeight) {
    control_->setMinimumHeight(0);
    control_->setMaximumHeight(QWIDGETSIZE_MAX);
  }
}

void TVRichEdits::ResetTyping() {
  if (control_ == nullptr || currentMode_ == ModeLog) return;
  // With a selection the control would give the selected text this format, recolouring it and
  // turning its pictures into bare place holders. The typing format follows the caret anyway, so it
  // is set only while nothing is selected.
  if (control_->textCursor().hasSelection()) return;
  QTextCharFormat typing;
  typing.setForeground(ToQColor(ownColor_));
  control_->setCurrentCharFormat(typing);
}

void TVRichEdits::FormatView() {
  Flush();
  const int end = displayed_ != nullptr ? QuoteStart(*displayed_) : TextLength();
  SetUpdating(true);
  FormatDocRange(Doc(), 0, end, currentMode_ != ModeLog);
  SetUpdating(false);
}

std::string TVRichEdits::ContentToMarkup() {
  return FromQt(ContentToText());
}

QString TVRichEdits::ContentToText() {
  Flush();
  return TrimControls(RangeToMarkup(Doc(), 0, TextLength(), true, DefaultColor()));
}

std::string TVRichEdits::SelectionToMarkup(bool /*removeSmileys*/) const {
  if (control_ == nullptr) return {};
  const QTextCursor cursor = control_->textCursor();
  if (!cursor.hasSelection()) return {};
  return FromQt(RangeToMarkup(Doc(), cursor.selectionStart(), cursor.selectionEnd(), false, DefaultColor()));
}

void TVRichEdits::ClearView() {
  ClearDocument(Doc());
  if (displayed_ != nullptr) {
    displayed_->PendingTaken += displayed_->PendingLines.size();
    displayed_->Marks.clear();
    displayed_->QueuedMarks.clear();
    displayed_->PendingLines.clear();
    displayed_->ProtectedLength = 0;
  }
  ResetTyping();
}

bool TVRichEdits::ClearInput() {
  ClearView();
  return displayed_ != nullptr;
}

void TVRichEdits::ScrollToEnd() {
  Flush();
  ScrollCaretToEnd();
}

void TVRichEdits::ScrollCaretToEnd() {
  if (control_ == nullptr || currentMode_ != ModeLog) return;
  QTextCursor cursor(&Doc());
  cursor.movePosition(QTextCursor::End);
  control_->setTextCursor(cursor);
  control_->ensureCursorVisible();
}

void TVRichEdits::SetOwnColor(TColor color) {
  ownColor_ = color;
  if (control_ == nullptr || currentMode_ == ModeLog) return;
  SetTextColour(*control_, DefaultColor());
  ResetTyping();
}

void TVRichEdits::SetUpdating(bool on) {
  updating_ = on;
  if (control_ == nullptr) return;
  control_->viewport()->setUpdatesEnabled(!on);
  if (!on) control_->viewport()->update();
}

bool TVRichEdits::ProtectChange(int start, int end, bool deleteKey) {
  if (displayed_ == nullptr || displayed_->ProtectedLength <= 0) return true;
  // The boundary is counted from the end of the text, queued lines included.
  Flush();
  TVRichedit& view = *displayed_;
  const int boundary = QuoteStart(view);
  if (end <= boundary && start <= boundary) return true;  // the change stays in the reply area
  // Without a granted pass a reply's quote refuses every change, and any other mode refuses only
  // Delete at the boundary.
  const bool allowed = view.AllowProtectedEdit ||
                       (currentMode_ != ModeReply && !(deleteKey && (start == boundary || end == boundary)));
  view.AllowProtectedEdit = false;
  return allowed;
}

}  // namespace plumo
