// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/tform2.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cctype>

#include "core/chatcore.h"
#include "settings/autostart.h"
#include "ui/dialog_answers.h"
#include "ui/qt_text.h"
#include "ui_tform2.h"

namespace plumo {

namespace fs = std::filesystem;
using ui::DialogAnswers;
using ui::FromCp1251;
using ui::ToCp1251;

namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool StartsWithName(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

bool IsStateKey(std::string_view key) {
  return SameName(key, "state4") || SameName(key, "state5");
}

// A table's entries, key and value per row.
TNameValueList TableContents(const QTableWidget* table) {
  TNameValueList list;
  for (int row = 0; row < table->rowCount(); ++row) {
    const QTableWidgetItem* key = table->item(row, 0);
    const QTableWidgetItem* value = table->item(row, 1);
    list.Add(key ? ToCp1251(key->text()) : std::string(), value ? ToCp1251(value->text()) : std::string());
  }
  return list;
}

void AppendRow(QTableWidget* table, const std::string& key, const std::string& value) {
  const int row = table->rowCount();
  table->insertRow(row);
  auto* keyItem = new QTableWidgetItem(FromCp1251(key));
  keyItem->setFlags(keyItem->flags() & ~Qt::ItemIsEditable);  // keys are fixed, only values are edited
  table->setItem(row, 0, keyItem);
  table->setItem(row, 1, new QTableWidgetItem(FromCp1251(value)));
}

void FillTable(QTableWidget* table, const TNameValueList& list) {
  table->setRowCount(0);
  for (const auto& [key, value] : list.Entries()) AppendRow(table, key, value);
  // The names are read whole (on_join_network, not on_join_netw...); the values take the rest.
  table->resizeColumnToContents(0);
}

std::string KeyAt(const QTableWidget* table, int row) {
  const QTableWidgetItem* key = row >= 0 ? table->item(row, 0) : nullptr;
  return key ? ToCp1251(key->text()) : std::string();
}

// A value cell whose key has a value list is edited in a combo box of those values.
class PickListDelegate : public QStyledItemDelegate {
 public:
  PickListDelegate(QObject* parent, std::function<std::vector<std::string>(int row)> picks)
      : QStyledItemDelegate(parent), picks_(std::move(picks)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    const std::vector<std::string> picks = picks_(index.row());
    if (picks.empty()) return QStyledItemDelegate::createEditor(parent, option, index);
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    for (const std::string& pick : picks) box->addItem(FromCp1251(pick));
    return box;
  }

 private:
  std::function<std::vector<std::string>(int row)> picks_;
};

// The information text as the engine holds it (CR LF) and as the memo shows it (LF).
std::string MemoToEngine(const QString& memo) {
  std::string text = ToCp1251(memo);
  std::string out;
  for (const char c : text) {
    if (c == '\n') out += '\r';
    if (c != '\r') out += c;
  }
  return out;
}

QString EngineToMemo(const std::string& text) {
  QString memo = FromCp1251(text);
  memo.remove(QLatin1Char('\r'));
  return memo;
}

// chat.ini keeps colours blue first, red in the low byte.
QColor ToQColor(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

std::uint32_t FromQColor(const QColor& colour) {
  return static_cast<std::uint32_t>(colour.red()) | (static_cast<std::uint32_t>(colour.green()) << 8) |
         (static_cast<std::uint32_t>(colour.blue()) << 16);
}

// A value list's column titles as one caption, separated by commas.
QString ColumnTitles(const QTableWidget* table) {
  QStringList titles;
  for (int column = 0; column < table->columnCount(); ++column) {
    const QTableWidgetItem* header = table->horizontalHeaderItem(column);
    titles << (header ? header->text() : QString());
  }
  return titles.join(QLatin1Char(','));
}

// The caption key of a control's hint: its name and this suffix.
const QString kHintSuffix = QStringLiteral(".Hint");

bool IsBellNumber(const std::string& text) {
  return !text.empty() && text.size() <= 5 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

TForm2::TForm2(TChatCore& core, TForm2Window window, std::string programPath, fs::path configHome,
               QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TForm2>()),
      core_(core),
      window_(std::move(window)),
      programPath_(std::move(programPath)),
      configHome_(std::move(configHome)) {
  ui_->setupUi(this);
  setObjectName(QStringLiteral("Form2"));
  auto* modes = new QButtonGroup(this);
  modes->setObjectName(QStringLiteral("RadioGroup1Buttons"));
  modes->addButton(ui_->RadioButton1, 0);
  modes->addButton(ui_->RadioButton2, 1);
  modes->addButton(ui_->RadioButton3, 2);
  // The design captions, the column titles and the file dialog's title among them, until the
  // language file's replace them.
  for (const TDesignCaption& design : kDesignCaptions)
    if (std::string_view(design.Form) == "Form2") SetCaption(design.Key, Utf8ToCp1251(design.Text));
  for (QTableWidget* table : {ui_->ValueListEditor1, ui_->ValueListEditor2, ui_->ValueListEditor3}) {
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setItemDelegateForColumn(1, new PickListDelegate(table, [this, table](int row) {
                                      return PickList(table, KeyAt(table, row));
                                    }));
  }
  // Every tab of the strip shows its whole caption: the dialog is as wide as the strip needs.
  ui_->PageControl1->setUsesScrollButtons(false);
  ui_->PageControl1->setElideMode(Qt::ElideNone);
  ConnectWidgets();
  // Creation: the memo shows the engine's text. The autostart entry is written or removed only when
  // the user ticks its box, never because the dialog opened.
  if (core_.HasEngine()) ui_->Memo1->setPlainText(EngineToMemo(core_.InfoText()));
}

TForm2::~TForm2() {
  *alive_ = false;
}

char TForm2::ModeToStateChar(int index) {
  switch (index) {
    case 0:
      return '1';
    case 1:
      return '4';
    case 2:
      return '5';
    default:
      return 0;
  }
}

int TForm2::StateToMode(char state) {
  for (int i = 0; i < 3; ++i)
    if (ModeToStateChar(i) == state) return i;
  return -1;
}

void TForm2::ConnectWidgets() {
  auto* modes = findChild<QButtonGroup*>(QStringLiteral("RadioGroup1Buttons"));
  connect(modes, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked && id != shownMode_) RadioGroup1Click(id);
  });
  connect(ui_->CheckBox1, &QCheckBox::clicked, this, [this](bool checked) {
    core_.Settings().AutoStart = checked;
    ApplyAutoStart();
  });
  connect(ui_->CheckBox2, &QCheckBox::clicked, this, [this](bool on) { CheckBoxClick(2, on); });
  connect(ui_->CheckBox3, &QCheckBox::clicked, this, [this](bool on) { CheckBoxClick(3, on); });
  connect(ui_->CheckBox4, &QCheckBox::clicked, this, [this](bool on) { CheckBoxClick(4, on); });
  connect(ui_->CheckBox5, &QCheckBox::clicked, this, [this](bool on) { CheckBoxClick(5, on); });
  connect(ui_->KeepForAbsent, &QCheckBox::clicked, this,
          [this](bool on) { core_.Settings().KeepForAbsent = on; });
  connect(ui_->SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(ui_->SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
  connect(ui_->SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
  connect(ui_->SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
  connect(ui_->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(ui_->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(ui_->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(ui_->Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
  connect(ui_->KeepHistory, &QCheckBox::clicked, this, [this](bool checked) { KeepHistoryClick(checked); });
  // The numbers take effect when they are entered (the boxes do not track typing), so that typing
  // "30" never passes through a setting of 3 days.
  connect(ui_->HistoryDays, &QSpinBox::valueChanged, this,
          [this](int days) { core_.Settings().HistoryDays = days; });
  connect(ui_->HistoryLines, &QSpinBox::valueChanged, this,
          [this](int lines) { core_.Settings().HistoryLines = lines; });
  connect(ui_->DeleteHistory, &QPushButton::clicked, this, [this] { DeleteHistoryClick(); });
  connect(ui_->AwayIdleMinutes, &QSpinBox::valueChanged, this, [this](int minutes) {
    core_.Settings().AwayIdleMinutes = minutes;
    core_.Own().IdleSettingChanged();
  });
  connect(ui_->ValueListEditor1, &QTableWidget::itemChanged, this,
          [this] { ValueListEditor1StringsChange(); });
  connect(ui_->ValueListEditor2, &QTableWidget::itemChanged, this,
          [this] { ValueListEditor2StringsChange(); });
  connect(ui_->ValueListEditor3, &QTableWidget::itemChanged, this,
          [this] { ValueListEditor3StringsChange(); });
  ui_->Memo1->installEventFilter(this);
  connect(ui_->PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    if (ui_->PageControl1->widget(index) != ui_->TabSheet2) Memo1Exit();
  });
}

// --- Showing, activation.

void TForm2::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

void TForm2::hideEvent(QHideEvent* event) {
  QDialog::hideEvent(event);
  // Closing is a loss of activation too, also where the platform reports none.
  if (!event->spontaneous()) FormDeactivate();
}

void TForm2::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // The dialog's own question takes the activation while it asks; that is not the user leaving.
  if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow() && !asking_)
    FormDeactivate();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->Memo1 && event->type() == QEvent::FocusOut) Memo1Exit();
  return QDialog::eventFilter(watched, event);
}

void TForm2::FormShow() {
  const TSettings& s = core_.Settings();
  ui_->CheckBox1->setChecked(s.AutoStart);
  ui_->CheckBox2->setChecked(s.ChanelHotNik);
  ui_->CheckBox3->setChecked(s.MessagesHotNik);
  ui_->CheckBox4->setChecked(s.ShowBallonIfNotFocused);
  ui_->CheckBox5->setChecked(s.DesableMultiMessage);
  ui_->KeepForAbsent->setChecked(s.KeepForAbsent);
  ui_->KeepHistory->setChecked(s.KeepHistory);
  {
    // Showing a value is no edit: a number outside a box's range shows clamped and stays in the
    // settings as it is until the user changes it.
    const QSignalBlocker blockDays(ui_->HistoryDays);
    const QSignalBlocker blockLines(ui_->HistoryLines);
    const QSignalBlocker blockAway(ui_->AwayIdleMinutes);
    ui_->HistoryDays->setValue(s.HistoryDays);
    ui_->HistoryLines->setValue(s.HistoryLines);
    ui_->AwayIdleMinutes->setValue(s.AwayIdleMinutes);
  }
  UpdateHistoryControls();
  QPalette palette = ui_->Label1->palette();
  palette.setColor(QPalette::WindowText, ToQColor(s.MyColor));
  ui_->Label1->setPalette(palette);

  // The radio follows the engine's state (a change runs RadioGroup1Click); other states leave it,
  // and before the first showing they leave it at the chosen state's mode.
  int mode = StateToMode(core_.HasEngine() ? core_.Identity().State : '1');
  if (mode < 0 && shownMode_ < 0) mode = std::max(0, StateToMode(core_.Own().SavedState()));
  if (mode >= 0 && mode != shownMode_) {
    if (auto* button = findChild<QButtonGroup*>(QStringLiteral("RadioGroup1Buttons"))->button(mode))
      button->setChecked(true);  // runs RadioGroup1Click
  }
  filling_ = true;
  // The sounds in force belong to the set last loaded (the chosen state's, or a listed program's);
  // a radio left on another mode shows that mode's own set, so that an edit never copies one mode's
  // sounds into another.
  if (shownMode_ >= 0 && ModeToStateChar(shownMode_) != core_.Sounds().SetInForce()) {
    FillTable(ui_->ValueListEditor1, core_.Settings().SoundSets[static_cast<std::size_t>(shownMode_)]);
  } else {
    FillTable(ui_->ValueListEditor1, core_.Settings().SoundTable);
  }
  FillTable(ui_->ValueListEditor2, core_.Settings().StateTable);
  FillTable(ui_->ValueListEditor3, core_.Settings().BellTable);
  filling_ = false;
  if (core_.HasEngine()) ui_->Memo1->setPlainText(EngineToMemo(core_.InfoText()));
}

void TForm2::FormDeactivate() {
  Memo1Exit();
  // A number typed but not yet entered counts as entered when the dialog is left.
  ui_->HistoryDays->interpretText();
  ui_->HistoryLines->interpretText();
  ui_->AwayIdleMinutes->interpretText();
  core_.SaveAllSettings();
  // The history follows what the user left (the switch itself took effect when it was clicked).
  core_.ChatHistory().SettingsChanged();
}

// --- The chat switches.

void TForm2::ApplyAutoStart() {
  // An entry that cannot be written leaves autostart as it is, silently. It starts the program over
  // this program directory, so the copy started at log-in has this nick, settings and history.
  plumo::ApplyAutoStart(core_.Settings().AutoStart, configHome_, programPath_, core_.AppDir().Utf8(),
                        Cp1251ToUtf8(Message("AutostartComment")));
}

void TForm2::CheckBoxClick(int box, bool checked) {
  TSettings& s = core_.Settings();
  switch (box) {
    case 2:
      s.ChanelHotNik = checked;
      break;
    case 3:
      s.MessagesHotNik = checked;
      break;
    case 4:
      s.ShowBallonIfNotFocused = checked;
      return;
    case 5:
      s.DesableMultiMessage = checked;
      return;
    default:
      return;
  }
  if (window_.ViewSettingsChanged) window_.ViewSettingsChanged();
}

void TForm2::KeepHistoryClick(bool checked) {
  core_.Settings().KeepHistory = checked;
  core_.ChatHistory().SettingsChanged();
  UpdateHistoryControls();
}

void TForm2::UpdateHistoryControls() {
  const bool keep = core_.Settings().KeepHistory;
  ui_->HistoryDays->setEnabled(keep);
  ui_->HistoryLines->setEnabled(keep);
  ui_->Label2->setEnabled(keep);
  ui_->Label3->setEnabled(keep);
  ui_->DeleteHistory->setEnabled(core_.ChatHistory().Enabled());
}

void TForm2::DeleteHistoryClick() {
  if (asking_) return;
  std::string question;
  {
    TMessageScope scope(core_.Messages());
    question = core_.Messages().GetMessage("ConfirmDeleteHistory");
  }
  QString title = ui_->DeleteHistory->text();
  while (title.endsWith(QChar(0x2026)) || title.endsWith(QLatin1Char('.'))) title.chop(1);
  const QPointer<TForm2> self(this);
  AskYesNo(question, title, /*defaultYes=*/false, [self](bool yes) {
    if (!self || !yes) return;
    self->core_.ChatHistory().DeleteAll();
    self->UpdateHistoryControls();
  });
}

void TForm2::AskYesNo(const std::string& question, const QString& title, bool defaultYes,
                      std::function<void(bool yes)> answered) {
  ui::YesNoQuestion box;
  box.Title = title;
  box.Text = FromCp1251(question);
  box.Recorded = question;
  box.DefaultYes = defaultYes;
  plumo::ui::AskYesNo(this, box, std::move(answered), &asking_);
}

void TForm2::SpeedButton1Click() {
  const std::uint32_t start = core_.Settings().MyColor;
  const QPointer<TForm2> self(this);
  auto chosen = [self](std::uint32_t colour) {
    if (!self) return;
    self->core_.Settings().MyColor = colour;
    QPalette palette = self->ui_->Label1->palette();
    palette.setColor(QPalette::WindowText, ToQColor(colour));
    self->ui_->Label1->setPalette(palette);
    if (self->window_.ViewSettingsChanged) self->window_.ViewSettingsChanged();
  };
  DialogAnswers::RecordAsked("Color");
  std::optional<std::string> queued;
  if (DialogAnswers::TakeInputAnswer(queued) || !DialogAnswers::CanAsk()) {
    std::uint32_t colour = 0;
    std::string error;
    if (queued && IniToColour(*queued, colour, error)) chosen(colour);
    return;
  }
  auto* box = new QColorDialog(ToQColor(start), this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  asking_ = true;
  connect(box, &QColorDialog::finished, this, [this, box, chosen](int result) {
    asking_ = false;
    if (result == QDialog::Accepted) chosen(FromQColor(box->selectedColor()));
  });
  box->open();
}

void TForm2::SpeedButton2Click() {
  if (window_.LanguageMenu) window_.LanguageMenu->popup(QCursor::pos());
}

// --- The information text.

void TForm2::Memo1Exit() {
  if (asking_ || !core_.HasEngine()) return;
  const std::string memo = MemoToEngine(ui_->Memo1->toPlainText());
  if (memo == core_.InfoText()) return;
  const QString question = FromCp1251(Message("SaveChanges"));
  const QPointer<TForm2> self(this);
  auto answered = [self, memo](bool yes) {
    if (!self) return;
    TChatCore& core = self->core_;
    if (!core.HasEngine()) return;
    if (yes) {
      core.SetInfoText(memo);
    } else {
      self->ui_->Memo1->setPlainText(EngineToMemo(core.InfoText()));
    }
  };
  AskYesNo(ToCp1251(question), question, /*defaultYes=*/true, answered);
}

// --- Sounds per mode.

std::vector<std::string> TForm2::PickList(const QTableWidget* table, const std::string& key) const {
  if (table == ui_->ValueListEditor1) {
    if (SameName(key, "mute") || StartsWithName(key, "on_")) return {"1", "0"};
  } else if (table == ui_->ValueListEditor2) {
    if (!key.empty() && !IsStateKey(key) && !StartsWithName(key, "Descr_")) return {"1", "4", "5"};
  }
  return {};
}

void TForm2::ValueListEditor1StringsChange() {
  if (filling_ || shownMode_ < 0) return;
  TSettings& s = core_.Settings();
  const TNameValueList contents = TableContents(ui_->ValueListEditor1);
  // The mode's set follows the editor at once, so that the full save writes the edit even when the
  // mode shown is never switched.
  s.SoundSets[static_cast<std::size_t>(shownMode_)] = contents;
  if (ModeToStateChar(shownMode_) == core_.Sounds().SetInForce() && !contents.Empty())
    s.SoundTable = contents;
  core_.Sounds().UpdateMuteImage();
}

void TForm2::RadioGroup1Click(int index) {
  if (index < 0 || index > 2) return;
  TSettings& s = core_.Settings();
  const int previous = shownMode_;
  const TNameValueList contents = TableContents(ui_->ValueListEditor1);
  if (previous >= 0) {
    if (ModeToStateChar(previous) == core_.Sounds().SetInForce() && !contents.Empty())
      s.SoundTable = contents;
    if (index != previous) s.SoundSets[static_cast<std::size_t>(previous)] = contents;
  }
  // A mode without sounds of its own starts from the previous mode's.
  const TNameValueList* set = &s.SoundSets[static_cast<std::size_t>(index)];
  if (set->Empty() && previous >= 0) set = &s.SoundSets[static_cast<std::size_t>(previous)];
  filling_ = true;
  FillTable(ui_->ValueListEditor1, *set);
  filling_ = false;
  shownMode_ = index;
  if (auto* button = findChild<QButtonGroup*>(QStringLiteral("RadioGroup1Buttons"))->button(index);
      button && !button->isChecked()) {
    const QSignalBlocker block(button->group());
    button->setChecked(true);
  }
}

// --- Automatic modes.

void TForm2::ValueListEditor2StringsChange() {
  if (!filling_) core_.Settings().StateTable = TableContents(ui_->ValueListEditor2);
}

std::string TForm2::Message(const char* key) {
  const TMessageScope scope(core_.Messages());
  return core_.Messages().GetMessage(key);
}

QString TForm2::FileFilter(const char* key, const char* patterns) {
  return FromCp1251(Message(key)) + QStringLiteral(" (") + QString::fromLatin1(patterns) +
         QStringLiteral(");;") + FromCp1251(Message("AllFiles")) + QStringLiteral(" (*)");
}

void TForm2::ChooseFile(const QString& filter, std::function<void(const std::string& path)> chosen) {
  DialogAnswers::RecordAsked(openDialogTitle_);
  std::optional<std::string> queued;
  if (DialogAnswers::TakeInputAnswer(queued) || !DialogAnswers::CanAsk()) {
    if (queued && !queued->empty()) chosen(*queued);
    return;
  }
  auto* box = new QFileDialog(this, FromCp1251(openDialogTitle_), QString(), filter);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setFileMode(QFileDialog::ExistingFile);
  asking_ = true;
  connect(box, &QFileDialog::finished, this, [this, box, chosen = std::move(chosen)](int result) {
    asking_ = false;
    if (result == QDialog::Accepted && !box->selectedFiles().isEmpty())
      chosen(ToCp1251(box->selectedFiles().front()));
  });
  box->open();
}

void TForm2::Button1Click() {
  ChooseFile(FileFilter("ProgramFiles", "*.sh *.exe *.cmd *.bat"), [this](const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    if (name.empty()) return;
    filling_ = true;
    AppendRow(ui_->ValueListEditor2, name, "4");
    filling_ = false;
    ValueListEditor2StringsChange();
    if (!window_.Window) return;
    std::string caption;
    {
      TMessageScope scope(core_.Messages());
      caption = core_.Messages().GetMessage("Descr");
    }
    const std::weak_ptr<bool> alive = alive_;
    window_.Window->AskText(caption, caption + " " + name, name,
                            [this, alive, name](const std::optional<std::string>& answer) {
                              if (alive.expired() || !*alive.lock()) return;
                              filling_ = true;
                              AppendRow(ui_->ValueListEditor2, "Descr_" + name, answer.value_or(name));
                              filling_ = false;
                              ValueListEditor2StringsChange();
                            });
  });
}

void TForm2::Button2Click() {
  QTableWidget* table = ui_->ValueListEditor2;
  const int row = table->currentRow();
  const std::string key = KeyAt(table, row);
  if (row < 0 || IsStateKey(key)) return;
  filling_ = true;
  table->removeRow(row);
  for (int r = 0; r < table->rowCount(); ++r) {
    if (SameName(KeyAt(table, r), "Descr_" + key)) {
      table->removeRow(r);
      break;
    }
  }
  filling_ = false;
  ValueListEditor2StringsChange();
}

void TForm2::MoveSelected(int by) {
  QTableWidget* table = ui_->ValueListEditor2;
  const int row = table->currentRow();
  const int to = row + by;
  if (row < 0 || to < 0 || to >= table->rowCount()) return;
  filling_ = true;
  for (int column = 0; column < 2; ++column) {
    QTableWidgetItem* a = table->takeItem(row, column);
    QTableWidgetItem* b = table->takeItem(to, column);
    table->setItem(row, column, b);
    table->setItem(to, column, a);
  }
  filling_ = false;
  table->setCurrentCell(to, table->currentColumn() < 0 ? 0 : table->currentColumn());
  ValueListEditor2StringsChange();
}

void TForm2::SpeedButton3Click() {
  MoveSelected(-1);
}

void TForm2::SpeedButton4Click() {
  MoveSelected(1);
}

// --- Bells.

void TForm2::ValueListEditor3StringsChange() {
  if (!filling_) core_.Settings().BellTable = TableContents(ui_->ValueListEditor3);
}

void TForm2::Button3Click() {
  ChooseFile(FileFilter("SoundFiles", "*.wav"), [this](const std::string& path) {
    // A file of the program's own sounds folder is kept by its name alone.
    const fs::path file = FsPath::FromCp1251(path).Native().lexically_normal();
    const fs::path sounds = (core_.AppDir() / "sounds").Native().lexically_normal();
    AskBellNumber(FsPath(file.parent_path() == sounds ? file.filename() : file).ToCp1251());
  });
}

void TForm2::AskBellNumber(const std::string& file) {
  if (!window_.Window) return;
  std::string caption;
  {
    TMessageScope scope(core_.Messages());
    caption = core_.Messages().GetMessage("NumBell");
  }
  const std::weak_ptr<bool> alive = alive_;
  window_.Window->AskText(caption, caption, "0",
                          [this, alive, file](const std::optional<std::string>& answer) {
                            if (alive.expired() || !*alive.lock()) return;
                            const std::string number = answer.value_or("0");
                            if (!IsBellNumber(number)) {
                              AskBellNumber(file);
                              return;
                            }
                            filling_ = true;
                            AppendRow(ui_->ValueListEditor3, number, file);
                            filling_ = false;
                            ValueListEditor3StringsChange();
                          });
}

void TForm2::Button4Click() {
  QTableWidget* table = ui_->ValueListEditor3;
  const int row = table->currentRow();
  if (row < 0) return;
  filling_ = true;
  table->removeRow(row);
  filling_ = false;
  ValueListEditor3StringsChange();
}

// --- Captions.

std::vector<TLanguageForm::Caption> TForm2::Captions() const {
  std::vector<Caption> captions;
  for (const TDesignCaption& design : kDesignCaptions) {
    if (std::string_view(design.Form) != "Form2") continue;
    const QString key = QString::fromLatin1(design.Key);
    if (key == QLatin1String("OpenDialog1")) {
      captions.push_back({design.Key, openDialogTitle_});
    } else if (key == objectName()) {
      captions.push_back({design.Key, ToCp1251(windowTitle())});
    } else if (key.endsWith(kHintSuffix)) {
      if (const auto* widget = findChild<QWidget*>(key.chopped(kHintSuffix.size())))
        captions.push_back({design.Key, ToCp1251(widget->toolTip())});
    } else if (const auto* table = findChild<QTableWidget*>(key)) {
      captions.push_back({design.Key, ToCp1251(ColumnTitles(table))});
    } else if (const auto* page = findChild<QWidget*>(key);
               page && page->parentWidget() && ui_->PageControl1->indexOf(page) >= 0) {
      captions.push_back(
          {design.Key, ToCp1251(ui_->PageControl1->tabText(ui_->PageControl1->indexOf(page)))});
    } else if (const auto* button = findChild<QAbstractButton*>(key)) {
      captions.push_back({design.Key, ToCp1251(button->text())});
    } else if (const auto* group = findChild<QGroupBox*>(key)) {
      captions.push_back({design.Key, ToCp1251(group->title())});
    } else if (const auto* label = findChild<QLabel*>(key)) {
      captions.push_back({design.Key, ToCp1251(label->text())});
    } else if (const auto* spin = findChild<QAbstractSpinBox*>(key)) {
      captions.push_back({design.Key, ToCp1251(spin->specialValueText())});
    }
  }
  return captions;
}

void TForm2::SetCaption(const std::string& key, const std::string& text) {
  const QString name = QString::fromStdString(key);
  const QString value = FromCp1251(text);
  if (name == QLatin1String("OpenDialog1")) {
    openDialogTitle_ = text;
  } else if (name == objectName()) {
    setWindowTitle(value);
  } else if (name.endsWith(kHintSuffix)) {
    if (auto* widget = findChild<QWidget*>(name.chopped(kHintSuffix.size()))) widget->setToolTip(value);
  } else if (auto* table = findChild<QTableWidget*>(name)) {
    table->setHorizontalHeaderLabels(value.split(QLatin1Char(',')));
  } else if (auto* page = findChild<QWidget*>(name); page && ui_->PageControl1->indexOf(page) >= 0) {
    ui_->PageControl1->setTabText(ui_->PageControl1->indexOf(page), value);
  } else if (auto* button = findChild<QAbstractButton*>(name)) {
    button->setText(value);
  } else if (auto* group = findChild<QGroupBox*>(name)) {
    group->setTitle(value);
  } else if (auto* label = findChild<QLabel*>(name)) {
    label->setText(value);
  } else if (auto* spin = findChild<QAbstractSpinBox*>(name)) {
    spin->setSpecialValueText(value);
  }
}

}  // namespace plumo
