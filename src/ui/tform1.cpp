// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/tform1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <exception>

#include "core/chatcore.h"
#include "core/nick_completion.h"
#include "core/private_talk.h"
#include "core/roster_moves.h"
#include "core/texts.h"
#include "core/window_rules.h"
#include "images/images.h"
#include "lang/text_helpers.h"
#include "platform/keyboard_x11.h"
#include "ui/dialog_answers.h"
#include "ui/qt_text.h"
#include "ui/standard_buttons.h"
#include "ui_tform1.h"
#include "view/links.h"
#include "view/markup.h"
#include "view/rich_text_control.h"

namespace plumo {

using ui::FromCp1251;
using ui::ToCp1251;

namespace {

// A menu item captioned "-" is a separator line; it shows no text.
const QString kSeparatorCaption = QStringLiteral("-");

// The text a covered component shows, and setting it. Panels keep theirs as a property: they show
// no text but the language files know them.
QString CaptionOf(const QObject* object) {
  if (const auto* button = qobject_cast<const QAbstractButton*>(object)) return button->text();
  if (const auto* menu = qobject_cast<const QMenu*>(object)) return menu->title();
  if (const auto* action = qobject_cast<const QAction*>(object))
    return action->isSeparator() ? kSeparatorCaption : action->text();
  return object->property("caption").toString();
}

void SetCaptionOf(QObject* object, const QString& text) {
  if (auto* button = qobject_cast<QAbstractButton*>(object)) {
    button->setText(text);
  } else if (auto* menu = qobject_cast<QMenu*>(object)) {
    menu->setTitle(text);
  } else if (auto* action = qobject_cast<QAction*>(object)) {
    const bool separator = text == kSeparatorCaption;
    action->setSeparator(separator);
    action->setText(separator ? QString() : text);
  } else {
    object->setProperty("caption", text);
  }
}

// A menu item named as the program's component, captioned with its design caption.
QAction* AddItem(QMenu* menu, const char* name, const char* caption, int image = -1) {
  QAction* action = menu->addAction(MainImage(image), QString());
  action->setObjectName(QString::fromLatin1(name));
  SetCaptionOf(action, QString::fromUtf8(caption));
  return action;
}

QAction* AddSeparator(QMenu* menu, const char* name) {
  return AddItem(menu, name, "-");
}

QMenu* NewMenu(QWidget* parent, const char* name) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

}  // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent),
      ui_([this] {
        auto form = std::make_unique<Ui::TForm1>();
        form->setupUi(this);
        return form;
      }()),
      channels_(*ui_->TabChanels, *ui_->RxRichEdit1),
      inputs_(*ui_->TabMessages, *ui_->RxRichEdit2),
      editor_(inputs_),
      roster_(this),
      smileyPictures_(SmileyPictures::BuiltIn()) {
  ui_->TabChanels->setDrawBase(false);
  ui_->TabMessages->setDrawBase(false);
  // Tabs as wide as their captions, not stretched over the whole strip.
  ui_->TabChanels->setExpanding(false);
  ui_->TabMessages->setExpanding(false);
  ui_->TabMessages->setContextMenuPolicy(Qt::PreventContextMenu);
  ui_->ListView1->setModel(&roster_);
  ui_->ToolBar1->setContextMenuPolicy(Qt::CustomContextMenu);
  ui_->ComboBox1->setCompleter(nullptr);
  ui_->Splitter2->setStretchFactor(0, 1);
  ui_->Splitter2->setStretchFactor(1, 0);
  ui_->Splitter1->setStretchFactor(0, 1);
  ui_->Splitter1->setStretchFactor(1, 0);
  ui_->ToolButton1->setIcon(MainImage(icon::kPrivate));
  ui_->ToolButton2->setIcon(MainImage(icon::kMass));
  ui_->ToolButton4->setIcon(MainImage(icon::kToolConsole));
  // The pane exists before the editor reports its first height.
  peerHistory_ = new RichTextControl(ui_->Panel3);
  peerHistory_->setObjectName(QStringLiteral("PeerHistory"));
  peerHistory_->setReadOnly(true);
  peerHistory_->setLineWrapMode(QTextEdit::WidgetWidth);
  QPalette grey = peerHistory_->palette();
  grey.setColor(QPalette::Text, QColor(0x66, 0x66, 0x66));
  peerHistory_->setPalette(grey);
  peerHistory_->hide();
  ui_->panel3Layout->insertWidget(1, peerHistory_, 0);
  // The marks of sent messages' rows in the pane answer clicks as the conversations' do.
  connect(static_cast<RichTextControl*>(peerHistory_), &RichTextControl::MarkClicked, this,
          [this](const QString& link) {
            if (const std::optional<TMarkClick> click = ParseMarkLink(link))
              delivery_->MarkClicked(click->Id, click->Click);
          });
  // The status line of a private message tab, between the peer's history and the editor.
  privateBar_ = new QFrame(ui_->Panel3);
  privateBar_->setObjectName(QStringLiteral("PrivateBar"));
  auto* bar = new QHBoxLayout(privateBar_);
  bar->setContentsMargins(2, 1, 2, 1);
  privateIcon_ = new QLabel(privateBar_);
  privateIcon_->setObjectName(QStringLiteral("PrivateIcon"));
  privateStatus_ = new QLabel(privateBar_);
  privateStatus_->setObjectName(QStringLiteral("PrivateStatus"));
  privateStatus_->setWordWrap(true);
  bar->addWidget(privateIcon_, 0);
  bar->addWidget(privateStatus_, 1);
  const auto barButton = [this, bar](const char* name) {
    auto* button = new QPushButton(privateBar_);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->hide();
    bar->addWidget(button, 0);
    return button;
  };
  checkKey_ = barButton("PrivateCheckKey");
  sendAnyway_ = barButton("SendAnyway");
  sendClear_ = barButton("SendClearYes");
  keepClear_ = barButton("SendClearNo");
  privateBar_->hide();
  ui_->panel3Layout->insertWidget(2, privateBar_, 0);
  // Below it the inline questions; beside the message tabs the acknowledgement check box.
  delivery_ = new ui::TDeliveryFace(*this, *ui_->Panel3, channels_, inputs_,
                                    [this](const char* key) { return Message(key); });
  ui_->panel3Layout->insertWidget(3, delivery_->Questions(), 0);
  delivery_->Questions()->OnShownChanged = [this] { ApplyEditorHeight(); };
  auto* strip = new QHBoxLayout;
  strip->setContentsMargins(0, 0, 0, 0);
  ui_->panel3Layout->removeWidget(ui_->TabMessages);
  strip->addWidget(ui_->TabMessages, 1);
  strip->addWidget(delivery_->AskAcknowledgeBox(), 0);
  ui_->panel3Layout->insertLayout(0, strip, 0);
  connect(checkKey_, &QPushButton::clicked, this, [this] { OpenKeyDialog(barNick_, barAddress_); });
  connect(sendAnyway_, &QPushButton::clicked, this, [this] { SendAnywayClick(); });
  connect(sendClear_, &QPushButton::clicked, this, [this] { SendClearAnswer(true); });
  connect(keepClear_, &QPushButton::clicked, this, [this] { SendClearAnswer(false); });
  inputs_.OnShown = [this] {
    ShowPeerHistory();
    UpdatePrivateBar();
    const int index = core_ ? core_->Inputs().CurrentIndex() : -1;
    delivery_->Retranslate();
    delivery_->ShowAskAcknowledge(index >= 0 && index < core_->Inputs().Count() &&
                                  core_->Inputs().At(index).MassMessage);
  };
  inputs_.Configure({}, [this](int height) {
    editorHeight_ = height;
    ApplyEditorHeight();
  });
  ui_->Splitter2->installEventFilter(this);
  ui_->Splitter1->installEventFilter(this);
  ui_->RxRichEdit2->setMinimumHeight(1);  // the splitter gives the editor the height of its mode
  // The line editor grows and shrinks with its text: when the text changes, and when its wrapped
  // lines no longer fit (or fit again) after the width changed.
  connect(ui_->RxRichEdit2, &QTextEdit::textChanged, this, [this] { ApplyEditorHeight(); });
  connect(ui_->RxRichEdit2->verticalScrollBar(), &QScrollBar::rangeChanged, this,
          [this] { ApplyEditorHeight(); });
  // Every paste (Ctrl+V, the menu, the middle button, a drop) of several lines into the line editor
  // asks the core, which switches to multi-line mode so that the lines are kept.
  ui_->RxRichEdit2->SetLineBreaksPasted([this] {
    if (core_ && !closed_) core_->Editor().LinesPasted();
  });
  roster_.SetIconProvider([](int image) { return MainImage(image); });
  roster_.SetTipProvider([this](const RosterRow& row) { return RosterTip(row); });
  roster_.SetLockProvider([this](const RosterRow& row) { return RosterLock(row); });
  ui_->ListView1->setItemDelegate(new ui::RosterLockDelegate(ui_->ListView1));
  findBar_ = new ui::TFindBar(*ui_->RxRichEdit1, ui_->Panel4);
  ui_->panel4Layout->insertWidget(2, findBar_, 0);
  ui_->TopicLine->hide();
  BuildMenus();
}

// The focus leaves the widgets while they are destroyed, and the views swap documents as they go,
// which changes the editor's text; the core may be gone by then, so the window no longer follows
// the focus nor fits the editor's height.
TForm1::~TForm1() {
  disconnect(focusWatch_);
  QObject::disconnect(ui_->RxRichEdit2, nullptr, this, nullptr);
  QObject::disconnect(ui_->RxRichEdit2->verticalScrollBar(), nullptr, this, nullptr);
}

CoreSurfaces TForm1::Surfaces(SoundOutput& sound, SystemInfo& system, CoreTimers& timers) {
  timers_ = &timers;
  return CoreSurfaces{channels_, inputs_, editor_, roster_, *this, sound, timers, system, this};
}

void TForm1::AttachCore(TChatCore& core) {
  core_ = &core;
  ConnectWidgets();
  delivery_->Attach(&core.Delivery());
  core.Sending().AskAcknowledge = [this] { return delivery_->AskAcknowledgeChecked(); };
  // The standard buttons of every dialog take their captions from the language file of the moment.
  buttonTexts_ = new ui::StandardButtonTexts(
      [this](const char* key) {
        if (!core_ || closed_) return std::string();
        TMsgINISupp& messages = core_->Messages();
        if (messages.InLookup()) return messages.GetMessage(key);
        const TMessageScope scope(messages);
        return messages.GetMessage(key);
      },
      this);
  QCoreApplication::installTranslator(buttonTexts_);
}

bool TForm1::FormCreate() {
  const bool started = core_->FormCreate();
  UpdateHeaderMark();
  // The six-digit check's steps reach the core's listener (the console) and then the key dialog.
  if (TPrivateTalk* talk = Talk()) {
    coreOnCheck_ = std::move(talk->OnCheck);
    talk->OnCheck = [this](const TKeyCheckState& state) {
      if (coreOnCheck_) coreOnCheck_(state);
      KeyCheckProgress(state);
    };
    // Keys are learnt, checked and changed without the roster or the tabs changing: the core says
    // when, and the locks and the status line follow.
    coreOnLockChanged_ = std::move(talk->OnLockChanged);
    talk->OnLockChanged = [this](const std::string& nick, const std::string& address) {
      if (coreOnLockChanged_) coreOnLockChanged_(nick, address);
      KeyLockChanged(address);
    };
  }
  const TSettings& s = core_->Settings();
  // The stored place, made to fit the screen the window opens on.
  const QRect area = screen() != nullptr ? screen()->availableGeometry() : QRect();
  const ScreenRect place =
      WindowPlace({s.FormL, s.FormT, s.FormW, s.FormH}, {area.x(), area.y(), area.width(), area.height()});
  resize(place.Width, place.Height);
  move(place.Left, place.Top);
  smileyCodes_ = ParseSmileyTable(s.SmileTable.Entries());
  smileyPictures_ = SmileyPictures::Load(core_->AppDir());
  channels_.Configure({s.SingleLineH, s.MultiLineH, s.ChanelHotNik, &smileyPictures_, &smileyCodes_}, {});
  inputs_.Configure({s.SingleLineH, s.MultiLineH, s.MessagesHotNik, &smileyPictures_, &smileyCodes_},
                    [this](int height) {
                      editorHeight_ = height;
                      ApplyEditorHeight();
                    });
  inputs_.SetOwnColor(core_->Settings().MyColor);
  UpdateReplyHeight();
  BuildSmileyMenu();
  // The keyboard belongs to the editor from the first activation on.
  ui_->RxRichEdit2->setFocus();
  return started;
}

// --- Widgets to the core.

void TForm1::ConnectWidgets() {
  TChatCore& core = *core_;
  // Leaving the program from one of the window's dialogs changes no activation of the window itself:
  // the keyboard focus leaving the program tells.
  focusWatch_ = connect(qApp, &QApplication::focusChanged, this, [this] { UpdateActivation(); });

  // Tab strips: a click (or the wheel, or a key on the strip) selects through the core.
  connect(ui_->TabChanels, &QTabBar::currentChanged, this, [&core](int index) {
    if (index >= 0) core.Tabs().SelectChannelTab(index);
  });
  connect(ui_->TabMessages, &QTabBar::currentChanged, this, [&core](int index) {
    if (index >= 0) core.Tabs().SelectMessageTab(index);
  });
  // A click on the active tab changes nothing but marks it (and, on the message strip, focuses the
  // editor); a click on another tab also selects it through currentChanged.
  connect(ui_->TabChanels, &QTabBar::tabBarClicked, this,
          [&core](int index) { core.Tabs().ChannelTabClicked(index); });
  connect(ui_->JoinChannel, &QToolButton::clicked, this, [this] { ShowJoinChannelMenu(); });
  connect(ui_->TabMessages, &QTabBar::tabBarClicked, this, [&core](int) { core.Tabs().MessageTabClicked(); });

  // Toolbar.
  connect(ui_->ToolButton1, &QToolButton::clicked, this, [&core] { core.Sending().ComposeMessage(false); });
  connect(ui_->ToolButton2, &QToolButton::clicked, this, [&core] { core.Sending().ComposeMessage(true); });
  connect(ui_->ToolButton6, &QToolButton::clicked, this, [&core] { core.Tabs().ChangeTopic(); });
  connect(ui_->ToolButton7, &QToolButton::clicked, this, [this] { Quit(); });
  ui_->ToolButton6->installEventFilter(this);
  connect(ui_->ToolBar1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenu1_->popup(ui_->ToolBar1->mapToGlobal(pos)); });

  // Roster panel.
  connect(ui_->SpeedButton1, &QToolButton::clicked, this, [&core] { core.Roster().AnnounceRoster(); });
  connect(ui_->SpeedButton2, &QToolButton::clicked, this, [this] {
    if (OnSettingsRequested) {
      OnSettingsRequested();
    } else {
      popupMenu8_->popup(ui_->SpeedButton2->mapToGlobal(QPoint(0, ui_->SpeedButton2->height())));
    }
  });
  connect(ui_->SpeedButton3, &QToolButton::clicked, this, [&core] { core.Sounds().MuteClick(); });
  connect(&roster_, &ui::RosterModel::CaptionChanged, ui_->SpeedButton1, &QToolButton::setText);
  connect(&roster_, &ui::RosterModel::RowsRebuilt, this, [this] { RestoreRosterSelection(); });
  connect(&roster_, &ui::RosterModel::SelectionMoved, this, [this] { RestoreRosterSelection(); });
  connect(ui_->ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ReportRosterSelection(); });
  connect(ui_->ListView1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenu2_->popup(ui_->ListView1->viewport()->mapToGlobal(pos)); });
  ui_->ListView1->viewport()->installEventFilter(this);

  // Nick box: Enter in its line, or a choice from its list. The keys of a focused box arrive at the
  // box itself, which hands them to its line without passing the line's filters.
  ui_->ComboBox1->installEventFilter(this);
  ui_->ComboBox1->lineEdit()->installEventFilter(this);
  connect(ui_->ComboBox1, &QComboBox::activated, this, [this, &core](int index) {
    core.Own().NickEntered(ToCp1251(ui_->ComboBox1->itemText(index)), false);
  });

  // Editor and display.
  ui_->RxRichEdit2->installEventFilter(this);
  ui_->RxRichEdit2->viewport()->installEventFilter(this);
  ui_->RxRichEdit1->viewport()->installEventFilter(this);
  ui_->TabMessages->installEventFilter(this);
  ui_->TabChanels->installEventFilter(this);
  connect(ui_->RxRichEdit2, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenu4_->popup(ui_->RxRichEdit2->viewport()->mapToGlobal(pos)); });
  connect(ui_->RxRichEdit1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenu5_->popup(ui_->RxRichEdit1->viewport()->mapToGlobal(pos)); });
  connect(ui_->RxRichEdit1, &RichTextControl::LinkClicked, this,
          [this](const QString& link) { RxRichEdit1LinkClicked(link); });
  connect(ui_->RxRichEdit2, &RichTextControl::LinkClicked, this, [](const QString& link) { OpenLink(link); });
  connect(ui_->Splitter2, &QSplitter::splitterMoved, this, [this] { Splitter2Moved(); });
  connect(ui_->Splitter1, &QSplitter::splitterMoved, this,
          [this] { rosterWidth_ = ui_->Splitter1->sizes().value(1); });

  // History: scrolling to the top of a channel loads its older lines; the find bar follows the
  // shown channel.
  QScrollBar* bar = ui_->RxRichEdit1->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
    if (value != bar->minimum() || bar->maximum() == 0 || !core_) return;
    if (core_->LoadOlderHistory() && findBar_->isVisible()) findBar_->Refresh();
  });
  connect(ui_->TabChanels, &QTabBar::currentChanged, this, [this] {
    if (findBar_->isVisible()) findBar_->Refresh();
  });
}

int TForm1::PeerHistoryHeight() const {
  return peerHistory_->isHidden() ? 0 : peerHistory_->height() + ui_->panel3Layout->spacing();
}

void TForm1::ShowPeerHistory() {
  const std::optional<TConversationKey> key = HistoryKey(false);
  std::vector<std::string> lines;
  int marked = -1;
  if (key && key->Kind != ConversationKind::Channel)
    lines = core_->ChatHistory().LastLines(*key, core_->Settings().HistoryLines, &marked);
  // Notices of the tab (a refused message, a bell, a failed delivery) follow its history.
  const std::vector<std::string>& notices = inputs_.Notices(inputs_.Manager().CurrentIndex());
  const bool wasShown = !peerHistory_->isHidden();
  if (lines.empty() && notices.empty()) {
    peerHistory_->hide();
    peerHistory_->clear();
  } else {
    // One paragraph per stored line, so that the marked row is a paragraph; a message's own line
    // breaks (a quote above the reply) stay breaks inside it.
    QString text;
    for (const auto& line : lines) {
      QString shown = FromCp1251(line);
      shown.replace(QStringLiteral("\r\n"), QString(QChar(QChar::LineSeparator)));
      text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + shown;
    }
    peerHistory_->setPlainText(text);
    const std::vector<TDeliveryMark>& marks = inputs_.NoticeMarks(inputs_.Manager().CurrentIndex());
    for (std::size_t i = 0; i < notices.size(); ++i) {
      QTextCursor end(peerHistory_->document());
      end.movePosition(QTextCursor::End);
      if (!peerHistory_->document()->isEmpty()) end.insertBlock();
      const int from = end.position();
      end.insertText(FromCp1251(notices[i]));
      FormatColors(*peerHistory_->document(), from, end.position());
      // A sent message's row carries its delivery mark.
      if (i < marks.size() && marks[i].Id != 0)
        DrawDeliveryMark(*peerHistory_->document(), end.position(), marks[i],
                         [](int image) { return MainPixmap(image, 16).toImage(); });
    }
    peerHistory_->setFixedHeight(std::max(60, ui_->Panel4->height() / 4));
    peerHistory_->show();
    QTextCursor cursor(peerHistory_->document());
    const QTextBlock row = peerHistory_->document()->findBlockByNumber(marked);
    if (row.isValid()) {
      cursor.setPosition(row.position());
      cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    } else {
      cursor.movePosition(QTextCursor::End);
    }
    peerHistory_->setTextCursor(cursor);
    peerHistory_->ensureCursorVisible();
  }
  if (wasShown != !peerHistory_->isHidden()) ApplyEditorHeight();
}

ui::THistorySearch& TForm1::HistorySearch() {
  if (!historySearch_) {
    historySearch_ = new ui::THistorySearch(
        core_->ChatHistory(),
        [this](const char* key) {
          const TMessageScope scope(core_->Messages());
          return core_->Messages().GetMessage(key);
        },
        this);
  }
  return *historySearch_;
}

std::optional<TConversationKey> TForm1::HistoryKey(bool channelStrip) const {
  if (!core_) return std::nullopt;
  return core_->ShownConversation(channelStrip);
}

// The file is chosen in a dialog opened with open(), not exec(), so the network goes on; a path
// queued through DialogAnswers is taken without opening it.
void TForm1::ExportHistory(bool channelStrip) {
  const std::optional<TConversationKey> key = HistoryKey(channelStrip);
  if (!key || !core_->ChatHistory().Enabled()) return;
  const auto write = [this, key = *key](const QString& path) {
    if (!path.isEmpty() && core_) core_->ChatHistory().Export(key, FsPath::FromUtf8(path.toStdString()));
  };
  ui::DialogAnswers::RecordAsked("ExportHistory");
  std::optional<std::string> queued;
  if (ui::DialogAnswers::TakeInputAnswer(queued) || !ui::DialogAnswers::CanAsk()) {
    if (queued) write(QString::fromStdString(*queued));
    return;
  }
  auto* dialog = new QFileDialog(this, QString(), QString(), QStringLiteral("*.txt"));
  dialog->setObjectName(QStringLiteral("ExportDialog"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setDefaultSuffix(QStringLiteral("txt"));
  std::string name = key->Name;
  if (name == "@") {
    const TMessageScope scope(core_->Messages());
    name = core_->Messages().GetMessage("MultiMessage");
  }
  dialog->selectFile(FromCp1251(name) + QStringLiteral(".txt"));
  connect(dialog, &QFileDialog::fileSelected, this, write);
  dialog->open();
}

void TForm1::DeleteHistory(bool channelStrip) {
  const std::optional<TConversationKey> key = HistoryKey(channelStrip);
  if (!key || !core_->ChatHistory().Enabled()) return;
  std::string question;
  {
    const TMessageScope scope(core_->Messages());
    question = FormatText(core_->Messages().GetMessage("ConfirmDeleteConversation"), {key->Name});
  }
  ui::YesNoQuestion box;
  box.Text = FromCp1251(question);
  box.Recorded = question;
  ui::AskYesNo(this, box, [this, key = *key](bool yes) {
    if (yes && core_) core_->ChatHistory().Delete(key);
  });
}

void TForm1::BuildMenus() {
  // Program menu.
  popupMenu1_ = NewMenu(this, "PopupMenu1");
  connect(AddItem(popupMenu1_, "About1", "About"), &QAction::triggered, this,
          [this] { ShowMessage(std::string(" Plumo ") + PLUMO_VERSION_TEXT); });
  AddItem(popupMenu1_, "UpdatePlumo1", "Update Plumo")->setEnabled(false);
  AddItem(popupMenu1_, "blank", "-");
  connect(AddItem(popupMenu1_, "Restore1", "Restore"), &QAction::triggered, this, [this] {
    showNormal();
    activateWindow();
  });
  connect(AddItem(popupMenu1_, "exit1", "exit"), &QAction::triggered, this, [this] { Quit(); });

  // Roster menu.
  popupMenu2_ = NewMenu(this, "PopupMenu2");
  QAction* n1 = AddItem(popupMenu2_, "N1", "Сообщение", icon::kPrivate);
  WindowKey(n1, Qt::Key_F5);
  connect(n1, &QAction::triggered, this, [this] {
    if (core_) core_->Sending().ComposeMessage(false);
  });
  QAction* n2 = AddItem(popupMenu2_, "N2", "Многоадресное Сообщение", icon::kMass);
  WindowKey(n2, Qt::Key_F6);
  connect(n2, &QAction::triggered, this, [this] {
    if (core_) core_->Sending().ComposeMessage(true);
  });
  connect(AddItem(popupMenu2_, "N19", "Вставить Ник в редактор"), &QAction::triggered, this, [this] {
    if (!core_) return;
    std::vector<std::string> nicks;
    RosterSelection selection;
    for (const RosterRow& row : core_->Roster().Rows()) {
      nicks.push_back(row.Nick);
      selection.push_back(row.Selected);
    }
    if (const std::optional<std::string> nick = NickForEditor(nicks, selection))
      InsertIntoEditor(FromCp1251(*nick));
  });
  AddSeparator(popupMenu2_, "N24");
  QAction* n22 = AddItem(popupMenu2_, "N22", "Послать гудок", icon::kBell);
  WindowKey(n22, Qt::Key_F7);
  connect(n22, &QAction::triggered, this, [this] {
    if (core_) core_->Roster().SendBellToSelected(0);
  });
  connect(AddItem(popupMenu2_, "N23", "Послать определённый гудок", icon::kBell), &QAction::triggered, this,
          [this] {
            if (core_) core_->Roster().ChosenBellClick();
          });
  AddSeparator(popupMenu2_, "N25");
  connect(AddItem(popupMenu2_, "N20", "О пользователе.", icon::kUserInfo), &QAction::triggered, this, [this] {
    if (core_) core_->AboutSelectedUsers();
  });
  connect(AddItem(popupMenu2_, "CheckKey1", "Проверить ключ…", icon::kLocked), &QAction::triggered, this,
          [this] {
            if (!core_) return;
            if (const RosterRow* row = core_->Roster().FirstSelected())
              OpenKeyDialog(row->Nick, row->Address);
          });

  // Message tab menu.
  popupMenu3_ = NewMenu(this, "PopupMenu3");
  connect(AddItem(popupMenu3_, "N3", "Закрыть"), &QAction::triggered, this, [this] {
    if (core_) core_->Tabs().CloseMessageTab();
  });
  connect(AddItem(popupMenu3_, "N4", "Отправить"), &QAction::triggered, this, [this] {
    if (core_) core_->Editor().SendAndCloseReplyTab();
  });
  connect(AddItem(popupMenu3_, "ExportHistory2", "Сохранить историю в файл..."), &QAction::triggered, this,
          [this] { ExportHistory(false); });
  connect(AddItem(popupMenu3_, "DeleteHistory2", "Удалить историю"), &QAction::triggered, this,
          [this] { DeleteHistory(false); });

  // Editor menu.
  popupMenu4_ = NewMenu(this, "PopupMenu4");
  n9_ = NewMenu(popupMenu4_, "N9");
  n9_->setTitle(QString::fromUtf8("Смайлики"));
  popupMenu4_->addMenu(n9_);
  n26_ = NewMenu(popupMenu4_, "N26");
  n26_->setTitle(QString::fromUtf8("Раскладки клавиатуры"));
  popupMenu4_->addMenu(n26_);
  QAction* copy = AddItem(popupMenu4_, "N6", "Копировать");
  copy->setShortcut(QKeySequence::Copy);
  connect(copy, &QAction::triggered, this,
          [this] { QApplication::clipboard()->setText(inputs_.SelectionText()); });
  QAction* paste = AddItem(popupMenu4_, "N7", "Вставить");
  paste->setShortcut(QKeySequence::Paste);
  // The control's own paste, so the menu pastes exactly as Ctrl+V and the middle button do.
  connect(paste, &QAction::triggered, this, [this] { ui_->RxRichEdit2->paste(); });
  connect(AddItem(popupMenu4_, "N8", "Удалить"), &QAction::triggered, this,
          [this] { ui_->RxRichEdit2->DeleteSelection(); });
  n11_ = AddItem(popupMenu4_, "N11", "Многострочный редактор");
  n11_->setCheckable(true);
  connect(n11_, &QAction::triggered, this, [this] { ToggleLineMode(); });
  connect(AddItem(popupMenu4_, "N13", "Отправить"), &QAction::triggered, this,
          [this] { RxRichEdit2KeyDown(Qt::Key_Return, Qt::ControlModifier); });
  QAction* cancel = AddItem(popupMenu4_, "N14", "Отменить сообщение");
  cancel->setShortcut(Qt::Key_Escape);
  connect(cancel, &QAction::triggered, this, [this] { RxRichEdit2KeyDown(Qt::Key_Escape, Qt::NoModifier); });
  connect(n26_, &QMenu::aboutToShow, this, [this] { BuildLayoutMenu(); });
  connect(popupMenu4_, &QMenu::aboutToShow, this, [this] {
    const MultiLineItemState item = MultiLineMenuItem(CurrentInputMode());
    n11_->setChecked(item.Checked);
    n11_->setEnabled(item.Enabled);
  });

  // Channel display menu.
  popupMenu5_ = NewMenu(this, "PopupMenu5");
  QAction* copyText = AddItem(popupMenu5_, "CopyText1", "Копировать");
  connect(copyText, &QAction::triggered, this,
          [this] { QApplication::clipboard()->setText(channels_.SelectionText()); });
  connect(popupMenu5_, &QMenu::aboutToShow, this,
          [this, copyText] { copyText->setEnabled(!channels_.SelectionText().isEmpty()); });
  connect(AddItem(popupMenu5_, "N15", "Скопировать в редактор (Mouse3)"), &QAction::triggered, this, [this] {
    const QString text = channels_.SelectionText();
    if (!text.isEmpty()) InsertIntoEditor(text);
  });
  connect(AddItem(popupMenu5_, "N16", "Очистить"), &QAction::triggered, this, [this] {
    channels_.ClearView();
    if (core_) core_->Tabs().ShownChannelCleared();
  });
  AddSeparator(popupMenu5_, "HistorySeparator1");
  QAction* find = AddItem(popupMenu5_, "FindText1", "Найти...");
  find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
  find->setShortcutContext(Qt::WindowShortcut);
  addAction(find);
  connect(find, &QAction::triggered, this, [this] { findBar_->Open(); });
  QAction* search = AddItem(popupMenu5_, "SearchHistory1", "Искать в истории...");
  search->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
  search->setShortcutContext(Qt::WindowShortcut);
  addAction(search);
  connect(search, &QAction::triggered, this, [this] {
    if (core_) HistorySearch().ShowSearch();
  });
  connect(AddItem(popupMenu5_, "ExportHistory1", "Сохранить историю в файл..."), &QAction::triggered, this,
          [this] { ExportHistory(true); });
  connect(AddItem(popupMenu5_, "DeleteHistory1", "Удалить историю канала"), &QAction::triggered, this,
          [this] { DeleteHistory(true); });

  // Colours, console commands, own state: rebuilt on every popup.
  popupMenu6_ = NewMenu(this, "PopupMenu6");
  connect(popupMenu6_, &QMenu::aboutToShow, this, [this] { PopupMenu6Popup(); });
  ui_->ToolButton3->setMenu(popupMenu6_);
  popupMenu7_ = NewMenu(this, "PopupMenu7");
  connect(popupMenu7_, &QMenu::aboutToShow, this, [this] {
    popupMenu7_->clear();
    int tag = 0;
    for (const std::string& command : CommandMenuItems()) {
      const QString text = FromCp1251(command);
      QAction* item = popupMenu7_->addAction(MainImage(icon::kConsoleSeen), text);
      item->setData(tag++);
      connect(item, &QAction::triggered, this, [this, text] { InsertIntoEditor(text); });
    }
  });
  ui_->ToolButton4->setMenu(popupMenu7_);
  popupMenu8_ = NewMenu(this, "PopupMenu8");
  joinMenu_ = NewMenu(this, "JoinChannelMenu");
  // The language menu's entries come with the first language applied.
  QMenu* languages = NewMenu(popupMenu8_, "PLngItem");
  languages->setTitle(QString::fromUtf8("Язык"));
  popupMenu8_->addMenu(languages);
  popupMenu9_ = NewMenu(this, "PopupMenu9");
  connect(popupMenu9_, &QMenu::aboutToShow, this, [this] { PopupMenu9Popup(); });
  ui_->ToolButton5->setMenu(popupMenu9_);
  BuildKeyboardAccess();
}

void TForm1::WindowKey(QAction* action, const QKeySequence& key) {
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  addAction(action);
}

// Everything the mouse reaches, the keyboard reaches too. Function keys, because they mean the same
// in every keyboard layout: F2 the nick box, F3 the own state menu, F5 and F6 (and F7, the bell) the
// roster menu's commands, F8 the roster menu, F9 the settings. Tab leaves the editor for the roster,
// then the nick box and the panel's buttons, the toolbar, and the strips with the display.
void TForm1::BuildKeyboardAccess() {
  const auto key = [this](const char* name, Qt::Key k, std::function<void()> act) {
    auto* action = new QAction(this);
    action->setObjectName(QString::fromLatin1(name));
    WindowKey(action, k);
    connect(action, &QAction::triggered, this, std::move(act));
  };
  key("KeyNickBox", Qt::Key_F2, [this] {
    ui_->ComboBox1->setFocus(Qt::ShortcutFocusReason);
    ui_->ComboBox1->lineEdit()->selectAll();
  });
  key("KeyStateMenu", Qt::Key_F3, [this] {
    const QToolButton* button = ui_->ToolButton5;
    popupMenu9_->popup(button->mapToGlobal(QPoint(0, button->height())));
  });
  key("KeyRosterMenu", Qt::Key_F8, [this] {
    QListView* list = ui_->ListView1;
    list->setFocus(Qt::ShortcutFocusReason);
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    const QRect row = selected.isEmpty() ? QRect() : list->visualRect(selected.front());
    popupMenu2_->popup(list->viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : QPoint(0, 0)));
  });
  key("KeySettings", Qt::Key_F9, [this] { ui_->SpeedButton2->click(); });

  ui_->RxRichEdit2->setTabChangesFocus(true);
  QWidget* const order[] = {ui_->RxRichEdit2,  ui_->ListView1,    ui_->ComboBox1,   ui_->SpeedButton1,
                            ui_->SpeedButton2, ui_->SpeedButton3, ui_->ToolButton1, ui_->ToolButton2,
                            ui_->ToolButton3,  ui_->ToolButton4,  ui_->ToolButton5, ui_->ToolButton6,
                            ui_->ToolButton7,  ui_->TabChanels,   ui_->RxRichEdit1, ui_->TabMessages};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

// The "+" of the channel strip: the channels heard on the network that have no tab here, then a
// new channel by name. Rebuilt on every click, opened without waiting for a choice.
void TForm1::ShowJoinChannelMenu() {
  if (!core_) return;
  joinMenu_->clear();
  int tag = 0;
  for (const std::string& name : core_->Tabs().ChannelsToJoin()) {
    QAction* item = joinMenu_->addAction(MainImage(icon::kChannelCreated), FromCp1251(name));
    item->setData(tag++);
    connect(item, &QAction::triggered, this, [this, name] {
      if (core_) core_->Tabs().JoinChannel(name);
    });
  }
  if (tag > 0) joinMenu_->addSeparator();
  std::string newChannel;
  {
    const TMessageScope scope(core_->Messages());
    newChannel = core_->Messages().GetMessage("NewChannel");
  }
  QAction* ask = joinMenu_->addAction(FromCp1251(newChannel));
  ask->setObjectName(QStringLiteral("NewChannel1"));
  ask->setData(-1);
  connect(ask, &QAction::triggered, this, [this] {
    if (core_) core_->Tabs().AskJoinChannel();
  });
  joinMenu_->popup(ui_->JoinChannel->mapToGlobal(QPoint(0, ui_->JoinChannel->height())));
}

// --- The editor.

ViewMode TForm1::CurrentInputMode() const {
  return core_ ? core_->Editor().ActiveMode() : ModeSingleLine;
}

void TForm1::ToggleLineMode() {
  if (core_) core_->Editor().ToggleLineMode();
}

namespace {

// The editor's rules tell these keys apart; Return and the keypad's Enter are one key, and a
// Shift+Tab that arrives as a back-tab is Tab with Shift.
EditorKey EditorKeyOf(int key) {
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return EditorKey::Enter;
    case Qt::Key_Escape:
      return EditorKey::Esc;
    case Qt::Key_Up:
      return EditorKey::Up;
    case Qt::Key_Down:
      return EditorKey::Down;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return EditorKey::Tab;
    case Qt::Key_F5:
      return EditorKey::F5;
    case Qt::Key_F6:
      return EditorKey::F6;
    case Qt::Key_T:
      return EditorKey::T;
    case Qt::Key_Backspace:
      return EditorKey::Backspace;
    case Qt::Key_Shift:
      return EditorKey::Shift;
    case Qt::Key_Control:
      return EditorKey::Ctrl;
    case Qt::Key_Alt:
      return EditorKey::Alt;
    default:
      return EditorKey::Other;
  }
}

}  // namespace

bool TForm1::RxRichEdit2KeyDown(int key, Qt::KeyboardModifiers modifiers) {
  if (!core_ || closed_) return false;
  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool shift = (modifiers & Qt::ShiftModifier) || key == Qt::Key_Backtab;
  const KeyDownDecision decision =
      core_->Editor().KeyDown(EditorKeyOf(key), ctrl, shift, 0, WordBeforeCaret());
  if (decision.Action == EditorAction::CompleteNick) CompleteNick();
  if (decision.Action == EditorAction::RetypeNextLayout) RetypeInNextLayout();
  return decision.Consumed;
}

bool TForm1::RxRichEdit2KeyUp(int key, Qt::KeyboardModifiers modifiers) {
  if (!core_ || closed_) return false;
  const bool ctrl = modifiers & Qt::ControlModifier;
  const bool shift = (modifiers & Qt::ShiftModifier) || key == Qt::Key_Backtab;
  const KeyUpDecision decision = EditorKeyUp({EditorKeyOf(key), ctrl, shift, CurrentInputMode(), 0});
  if (decision.RemoveTabs) inputs_.RemoveTabs();
  if (decision.FormatView) editor_.FormatView();
  return decision.Consumed;
}

// A word ends at the caret: the character before it is neither a blank nor a picture.
bool TForm1::WordBeforeCaret() const {
  const int at = ui_->RxRichEdit2->textCursor().position();
  if (at <= 0) return false;
  const QChar before = ui_->RxRichEdit2->document()->characterAt(at - 1);
  return !before.isSpace() && before != QChar::ObjectReplacementCharacter;
}

// Tab: the word before the caret is completed with a roster nick in the nick colour, typing goes on
// in the own colour, and the roster selects the nick's row.
void TForm1::CompleteNick() {
  RichTextControl& editor = *ui_->RxRichEdit2;
  QTextCursor cursor = editor.textCursor();
  const std::string text = ToCp1251(editor.document()->toPlainText());
  std::vector<std::string> nicks;
  RosterSelection selection;
  for (const RosterRow& row : core_->Roster().Rows()) {
    nicks.push_back(row.Nick);
    selection.push_back(row.Selected);
  }
  const NickCompletion done =
      plumo::CompleteNick(text, static_cast<std::size_t>(cursor.position()), nicks, selection);
  core_->Roster().ShowSelection(SelectedRows(done.Selection));
  if (!done.Found) return;
  cursor.setPosition(static_cast<int>(done.PrefixStart));
  cursor.setPosition(static_cast<int>(done.PrefixStart + done.PrefixLength), QTextCursor::KeepAnchor);
  QTextCharFormat nickFormat = cursor.charFormat();
  nickFormat.setForeground(ToQColor(kNickColor));
  // A prefix inside a reply's quote stays as it is.
  if (!editor.InsertText(cursor, FromCp1251(done.Nick), &nickFormat)) return;
  QTextCharFormat typing = nickFormat;
  typing.setForeground(ToQColor(core_->Settings().MyColor));
  cursor.setCharFormat(typing);
  editor.setTextCursor(cursor);
  editor.setCurrentCharFormat(typing);
}

// The layouts of the desktop, read when first needed. The desktop's active layout is read again at
// every use: the user switches layouts with the desktop's own key, which the program never hears of.
KeyboardLayouts& TForm1::Layouts() {
  if (!layouts_) {
    DesktopLayouts desktop = LoadDesktopLayouts({});
    layoutsFromDesktop_ = desktop.Source == LayoutSource::Desktop;
    layouts_ = std::make_unique<KeyboardLayouts>(std::move(desktop.Layouts));
  } else if (layoutsFromDesktop_) {
    if (const std::optional<std::uint32_t> group = ReadX11Keyboard().Group) {
      if (const std::optional<std::size_t> index = layouts_->FindGroup(*group)) layouts_->SetCurrent(*index);
    }
  }
  return *layouts_;
}

// The selection of the editor (with wholeDraft, first the editable part of the draft: everything
// before a protected quote) is typed again as if its keys had been pressed in layout `to`; when any
// character has no key in the layout it was typed in, the text stays as it was. Either way `to`
// becomes the current layout. Choosing the layout that is current already re-types from the one
// before it, so a line typed with the wrong layout can be fixed after the switch.
void TForm1::RetypeInLayout(std::size_t to, bool wholeDraft) {
  KeyboardLayouts& layouts = Layouts();
  if (layouts.Count() == 0 || to >= layouts.Count()) return;
  RichTextControl& editor = *ui_->RxRichEdit2;
  QTextCursor cursor = editor.textCursor();
  if (wholeDraft) {
    const TVRichedit* draft = inputs_.Manager().Displayed();
    const int protectedLength = draft ? draft->ProtectedLength : 0;
    cursor.setPosition(0);
    cursor.setPosition(std::max(0, editor.document()->characterCount() - 1 - protectedLength),
                       QTextCursor::KeepAnchor);
  }
  const std::size_t count = layouts.Count();
  const std::size_t from = to == layouts.Current() ? (to + count - 1) % count : layouts.Current();
  const std::u32string typed = cursor.selectedText().toStdU32String();
  const RetypeResult result = layouts.Retype(typed, from, to);
  // The caret goes after the re-typed text with nothing selected, so typing goes on after it.
  if (!typed.empty() && result.Unmapped == 0 && result.Text != typed &&
      editor.InsertText(cursor, QString::fromStdU32String(result.Text))) {
    editor_.FormatView();
  }
  layouts.SetCurrent(to);
  if (layoutsFromDesktop_) LockX11LayoutGroup(static_cast<std::uint32_t>(layouts.At(to).Group));
}

void TForm1::RetypeInNextLayout() {
  RetypeInLayout(Layouts().Next(), true);
}

// The layouts beginning with the one after the current layout and ending with the current one.
void TForm1::BuildLayoutMenu() {
  n26_->clear();
  KeyboardLayouts& layouts = Layouts();
  const std::size_t count = layouts.Count();
  for (std::size_t k = 1; k <= count; ++k) {
    const std::size_t i = (layouts.Current() + k) % count;
    QAction* item = n26_->addAction(QString::fromStdString(layouts.At(i).DisplayName));
    item->setCheckable(true);
    item->setChecked(i == layouts.Current());
    connect(item, &QAction::triggered, this, [this, i] { RetypeInLayout(i, false); });
  }
}

void TForm1::InsertIntoEditor(const QString& text) {
  inputs_.InsertAtCaret(text);
  ui_->RxRichEdit2->setFocus();
}

// A nick link names a peer: the nick goes into the editor in the nick colour, the caret to the end
// of the text, typing goes on in the own colour. Any other link is opened.
void TForm1::RxRichEdit1LinkClicked(const QString& link) {
  std::optional<std::string> insertion;
  if (core_) {
    std::vector<std::string> nicks;
    for (const RosterRow& row : core_->Roster().Rows()) nicks.push_back(row.Nick);
    insertion = HotNickInsertion(ToCp1251(link), core_->Settings().ChanelHotNik, nicks);
  }
  if (!insertion) {
    OpenLink(link);
    return;
  }
  if (!inputs_.InsertAtCaret(FromCp1251(*insertion))) return;
  RichTextControl& editor = *ui_->RxRichEdit2;
  QTextCursor cursor = editor.textCursor();
  cursor.movePosition(QTextCursor::End);
  editor.setTextCursor(cursor);
  inputs_.SetOwnColor(core_->Settings().MyColor);
  editor.setFocus();
}

// --- Heights.

void TForm1::ApplyEditorHeight() {
  const int total = ui_->Splitter2->height();
  // A new height re-wraps the text, which may ask again; the first answer stands.
  if (total <= 0 || fittingEditor_) return;
  fittingEditor_ = true;
  // Never lower than one line of text in the control's font.
  const RichTextControl& editor = *ui_->RxRichEdit2;
  const int frame = 2 * editor.frameWidth();
  const int oneLine = editor.fontMetrics().lineSpacing() +
                      2 * static_cast<int>(editor.document()->documentMargin()) + frame + 4;
  const int textHeight = static_cast<int>(std::ceil(editor.document()->size().height())) + frame;
  const int height = EditorFitHeight(CurrentInputMode(), std::max(editorHeight_, oneLine), textHeight, total);
  const int lower = std::min(
      total - 20, height + ui_->TabMessages->sizeHint().height() + PeerHistoryHeight() + PrivateBarHeight());
  const QSignalBlocker block(ui_->Splitter2);
  ui_->Splitter2->setSizes({total - lower, lower});
  fittingEditor_ = false;
}

void TForm1::ApplyRosterWidth() {
  QSplitter& splitter = *ui_->Splitter1;
  const int total = splitter.width() - splitter.handleWidth();
  if (total <= 0) return;
  const int least = ui_->Panel1->minimumSizeHint().width();
  // About thirty characters of a nick beside its picture, and room around the panel's buttons.
  const int suits =
      rosterWidth_ > 0 ? rosterWidth_ : std::max(least + 16, 32 * fontMetrics().averageCharWidth());
  const int roster = std::max(least, std::min(suits, total / 3));
  const QSignalBlocker block(splitter);
  splitter.setSizes({total - roster, roster});
}

void TForm1::UpdateReplyHeight() {
  inputs_.SetReplyHeight(ui_->Panel4->height() / 2);
}

void TForm1::Splitter2Moved() {
  if (!core_) return;
  const int height = std::max(
      1, ui_->Panel3->height() - ui_->TabMessages->height() - PeerHistoryHeight() - PrivateBarHeight());
  if (!core_->Editor().EditorHeightDragged(height)) return;
  editorHeight_ = height;
  const TSettings& s = core_->Settings();
  inputs_.Configure({s.SingleLineH, s.MultiLineH, s.MessagesHotNik, &smileyPictures_, &smileyCodes_},
                    [this](int h) {
                      editorHeight_ = h;
                      ApplyEditorHeight();
                    });
}

// --- Roster.

void TForm1::ReportRosterSelection() {
  if (syncingSelection_ || !core_) return;
  // By address: the list may still show rows older than the core's (its rebuilds are coalesced).
  std::vector<std::string> addresses;
  for (const QModelIndex& index : ui_->ListView1->selectionModel()->selectedRows())
    addresses.push_back(index.data(ui::RosterModel::AddressRole).toString().toStdString());
  core_->Roster().SetSelectionByAddress(addresses);
}

void TForm1::RestoreRosterSelection() {
  syncingSelection_ = true;
  QItemSelection selection;
  const auto& rows = roster_.Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].Selected) continue;
    const QModelIndex at = roster_.index(static_cast<int>(i));
    selection.select(at, at);
  }
  ui_->ListView1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  syncingSelection_ = false;
}

QString TForm1::RosterTip(const RosterRow& row) const {
  if (!core_) return {};
  QString tip = FromCp1251(core_->Roster().Tip(row));
  tip.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  // The lock in words; no part of the fingerprint, which a forger could grind a key to match.
  const char* lock = nullptr;
  switch (RosterLock(row)) {
    case icon::kLocked:
      lock = "LockTipLocked";
      break;
    case icon::kLockChecked:
      lock = "LockTipChecked";
      break;
    case icon::kLockChanged:
      lock = "LockTipChanged";
      break;
    default:
      break;
  }
  if (lock != nullptr) tip += QStringLiteral("\n") + FromCp1251(Message(lock));
  return tip;
}

// --- Private conversations.

std::string TForm1::Message(const char* key) const {
  if (!core_) return key;
  TMsgINISupp& messages = core_->Messages();
  if (messages.InLookup()) return messages.GetMessage(key);
  const TMessageScope scope(messages);
  return messages.GetMessage(key);
}

TPrivateTalk* TForm1::Talk() const {
  return core_ && !closed_ ? &core_->PrivateTalk() : nullptr;
}

int TForm1::RosterLock(const RosterRow& row) const {
  const TPrivateTalk* talk = Talk();
  switch (talk ? talk->Lock(row.Nick, row.Address) : LockMark::None) {
    case LockMark::Locked:
      return icon::kLocked;
    case LockMark::Checked:
      return icon::kLockChecked;
    case LockMark::Changed:
      return icon::kLockChanged;
    case LockMark::None:
      break;
  }
  return -1;
}

void TForm1::OpenKeyDialog(const std::string& nick, const std::string& address, bool activate) {
  TPrivateTalk* talk = Talk();
  if (!talk) return;
  if (keyDialog_ && (keyDialog_->Nick() != nick || keyDialog_->Address() != address)) {
    keyDialog_->close();
    keyDialog_ = nullptr;
  }
  if (!keyDialog_) {
    keyDialog_ = new ui::TKeyDialog(
        *talk, [this](const char* key) { return Message(key); }, nick, address, this);
  } else {
    keyDialog_->Refresh();
  }
  // Opened for the peer's check, the dialog does not take the keyboard: keys the user was typing
  // must not reach its buttons.
  keyDialog_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
  keyDialog_->show();
  keyDialog_->raise();
  if (activate) keyDialog_->activateWindow();
}

// A check the peer started brings up its key dialog, so that the user sees the digits the other
// user is reading out; a finished check of a dialog that was closed shows nothing more.
void TForm1::KeyCheckProgress(const TKeyCheckState& state) {
  TPrivateTalk* talk = Talk();
  if (!talk || state.What == TKeyCheckState::Idle) return;
  if (!keyDialog_ || keyDialog_->Key() != state.Peer) {
    if (state.What != TKeyCheckState::Waiting && state.What != TKeyCheckState::Compare) return;
    const TKnownKey* known = talk->Keyring().Find(state.Peer);
    if (known == nullptr) return;
    OpenKeyDialog(state.Nick.empty() ? known->Nick : state.Nick, known->Address, false);
    if (!keyDialog_ || keyDialog_->Key() != state.Peer) return;
  }
  keyDialog_->ShowCheck(state);
}

// The header of an encrypted message in a message tab shows the lock where the core wrote its mark
// (in the language of the moment).
void TForm1::UpdateHeaderMark() {
  TPrivateTalk* talk = Talk();
  if (!talk) return;
  TVRichEdits& views = inputs_.Manager();
  views.HeaderMark = FromCp1251(talk->EncryptedMark());
  if (views.HeaderPicture.isNull()) views.HeaderPicture = MainPixmap(icon::kLocked, 16).toImage();
}

int TForm1::PrivateBarHeight() const {
  const QWidget* questions = delivery_->Questions();
  return (privateBar_->isHidden() ? 0 : privateBar_->sizeHint().height() + ui_->panel3Layout->spacing()) +
         (questions->isHidden() ? 0 : questions->sizeHint().height() + ui_->panel3Layout->spacing());
}

namespace {

// ",a,b" as {"a", "b"}.
std::vector<std::string> ListItems(const std::string& list) {
  std::vector<std::string> items;
  std::size_t from = 0;
  while (from < list.size()) {
    if (list[from] == ',') {
      ++from;
      continue;
    }
    const std::size_t end = std::min(list.find(',', from), list.size());
    items.push_back(list.substr(from, end - from));
    from = end;
  }
  return items;
}

}  // namespace

void TForm1::KeyLockChanged(const std::string& address) {
  if (!core_ || closed_) return;
  // Only rows whose lock differs are repainted.
  roster_.RefreshLocks();
  const int index = core_->Inputs().CurrentIndex();
  if (index >= 0 && index < core_->Inputs().Count()) {
    const std::vector<std::string> recipients = ListItems(core_->Inputs().At(index).Recipients);
    if (std::find(recipients.begin(), recipients.end(), address) != recipients.end()) UpdatePrivateBar();
  }
  if (keyDialog_) keyDialog_->Refresh();
}

void TForm1::UpdatePrivateBar() {
  TPrivateTalk* talk = Talk();
  const int index = core_ ? core_->Inputs().CurrentIndex() : -1;
  const bool wasShown = !privateBar_->isHidden();
  std::string status;
  int image = -1;
  bool held = false;
  bool askClear = false;
  std::string clearNick;
  if (talk && index >= 0 && index < core_->Inputs().Count()) {
    const Conversation& tab = core_->Inputs().At(index);
    const std::vector<std::string> addresses = ListItems(tab.Recipients);
    std::vector<std::string> nicks = ListItems(tab.RecipientNames);
    nicks.resize(addresses.size());
    if (!tab.MassMessage && !addresses.empty()) {
      status = talk->TabStatus(addresses, nicks);
      bool encrypted = true;
      bool checked = true;
      for (std::size_t i = 0; i < addresses.size(); ++i) {
        const TPrivateRoute route = talk->Route(nicks[i], addresses[i]);
        if (route.How == TPrivateRoute::Held && !held) {
          held = true;
          barNick_ = nicks[i];
          barAddress_ = addresses[i];
        }
        if (route.How == TPrivateRoute::AskClear && !askClear) {
          askClear = true;
          clearNick = nicks[i];
        }
        encrypted &= route.How == TPrivateRoute::Encrypted;
        checked &= talk->Lock(nicks[i], addresses[i]) == LockMark::Checked;
      }
      image = held || askClear ? icon::kLockChanged
              : encrypted      ? (checked ? icon::kLockChecked : icon::kLocked)
                               : -1;
      askClear &= !held && !ClearChosen(tab);
      // The window's own words for its two questions; the core's status names the console commands.
      if (held) status = FormatText(Message("KeyHeldBar"), {barNick_});
      if (askClear) status = FormatText(Message("AskSendClear"), {clearNick});
    }
  }
  privateStatus_->setText(FromCp1251(status));
  privateIcon_->setPixmap(image >= 0 ? MainPixmap(image, 16) : QPixmap());
  privateIcon_->setVisible(image >= 0);
  checkKey_->setText(FromCp1251(Message("CheckKeyButton")));
  sendAnyway_->setText(FromCp1251(Message("SendAnyway")));
  sendClear_->setText(FromCp1251(Message("ButtonYes")));
  keepClear_->setText(FromCp1251(Message("ButtonNo")));
  checkKey_->setVisible(held);
  sendAnyway_->setVisible(held);
  sendClear_->setVisible(askClear);
  keepClear_->setVisible(askClear);
  privateBar_->setVisible(!status.empty());
  if (wasShown != !privateBar_->isHidden()) ApplyEditorHeight();
}

// "Send anyway": the changed keys of the tab's peers are accepted without a check (as /trust does),
// then the draft goes as Ctrl+Enter sends it (the tab closes once it went).
void TForm1::SendAnywayClick() {
  TPrivateTalk* talk = Talk();
  const int index = core_ ? core_->Inputs().CurrentIndex() : -1;
  if (!talk || index < 0 || index >= core_->Inputs().Count()) return;
  const Conversation& tab = core_->Inputs().At(index);
  const std::vector<std::string> addresses = ListItems(tab.Recipients);
  std::vector<std::string> nicks = ListItems(tab.RecipientNames);
  nicks.resize(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const TPrivateRoute route = talk->Route(nicks[i], addresses[i]);
    if (route.How == TPrivateRoute::Held && route.Key) talk->Trust(*route.Key);
  }
  core_->Sending().SendReply();
  UpdatePrivateBar();
  ui_->RxRichEdit2->setFocus();
}

bool TForm1::ClearChosen(const Conversation& tab) const {
  return clearAnswers_.count(tab.Name + tab.Recipients) > 0;
}

// The answer is kept for the tab; Yes sends the draft in clear text, as the user chose for this
// message (the tab closes once it went).
void TForm1::SendClearAnswer(bool yes) {
  const int index = core_ ? core_->Inputs().CurrentIndex() : -1;
  if (!core_ || closed_ || index < 0 || index >= core_->Inputs().Count()) return;
  const Conversation& tab = core_->Inputs().At(index);
  clearAnswers_[tab.Name + tab.Recipients] = yes;
  if (yes) core_->Sending().SendReply(true);
  UpdatePrivateBar();
  ui_->RxRichEdit2->setFocus();
}

// --- Menus rebuilt on every popup.

void TForm1::PopupMenu9Popup() {
  popupMenu9_->clear();
  if (!core_) return;
  for (const StateMenuItem& state :
       StateMenuItems(core_->Messages(), core_->Own().SavedState(), core_->Own().SavedDescr())) {
    QAction* item = popupMenu9_->addAction(MainImage(state.Image), FromCp1251(state.Caption));
    item->setCheckable(true);
    item->setChecked(state.Checked);
    item->setData(state.Tag);
    if (state.Checked) SetStateImage(state.Image);
    connect(item, &QAction::triggered, this, [this, tag = state.Tag] {
      if (core_) core_->Own().StateMenuClick(tag);
    });
  }
}

void TForm1::PopupMenu6Popup() {
  popupMenu6_->clear();
  if (!core_) return;
  std::string other = [this] {
    const TMessageScope scope(core_->Messages());
    return core_->Messages().GetMessage("OtherColor");
  }();
  QAction* n17 = popupMenu6_->addAction(FromCp1251(other));
  n17->setObjectName(QStringLiteral("N17"));
  n17->setData(0);
  connect(n17, &QAction::triggered, this, [this] { N17Click(); });
  popupMenu6_->addSeparator()->setData(1);
  for (const ColorMenuItem& item : CustomColorItems(core_->Settings().CustomColors)) {
    const QColor color = ToQColor(item.Color);
    QPixmap swatch(16, 16);
    swatch.fill(color);
    QAction* action = popupMenu6_->addAction(QIcon(swatch), FromCp1251(item.Caption));
    action->setData(item.Tag);
    connect(action, &QAction::triggered, this, [this, color] { SetTypingColor(color); });
  }
}

void TForm1::SetTypingColor(const QColor& color) {
  ui_->RxRichEdit2->setTextColor(color);
  ui_->RxRichEdit2->setFocus();
}

// The colour dialog starts with the editor's colour and offers the custom colours of the colour
// menu. It opens with open(), not exec(), so the network goes on while the user chooses; a colour
// queued through DialogAnswers (a name QColor reads, "#RRGGBB") is taken without opening it.
void TForm1::N17Click() {
  if (!core_) return;
  ui::DialogAnswers::RecordAsked("Color");
  std::optional<std::string> queued;
  if (ui::DialogAnswers::TakeInputAnswer(queued) || !ui::DialogAnswers::CanAsk()) {
    const QColor color(QString::fromStdString(queued.value_or(std::string())));
    if (color.isValid()) SetTypingColor(color);
    return;
  }
  int slot = 0;
  for (const ColorMenuItem& item : CustomColorItems(core_->Settings().CustomColors)) {
    if (slot >= QColorDialog::customCount()) break;
    QColorDialog::setCustomColor(slot++, ToQColor(item.Color));
  }
  auto* dialog = new QColorDialog(ui_->RxRichEdit2->textColor(), this);
  dialog->setObjectName(QStringLiteral("ColorDialog1"));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::finished, this, [this, dialog](int result) {
    if (result == QDialog::Accepted) SetTypingColor(dialog->selectedColor());
  });
  dialog->open();
}

void TForm1::BuildSmileyMenu() {
  n9_->clear();
  for (const SmileyMenuItem& item : SmileyMenuItems(smileyCodes_, smileyPictures_.Count())) {
    const QIcon picture(QPixmap::fromImage(smileyPictures_.At(item.Index)));
    const QString code = item.Caption;
    connect(n9_->addAction(picture, code), &QAction::triggered, this,
            [this, code] { InsertIntoEditor(code); });
  }
}

// The exit commands: the program is really to end, then the window closes.
void TForm1::Quit() {
  if (core_) core_->SetQuitting();
  close();
}

// --- Tab menu, nick box, wheel, mouse: through the event filter.

// A wheel event over a tab strip or the roster becomes, per notch, the arrow key the strip or list
// would get from the keyboard: Left and Right move a strip to its neighbouring tab (never around),
// Up and Down move the roster's current row. The strip's own wheel handling is not used, so one
// notch moves exactly one tab whatever the style or the wheel's resolution.
bool TForm1::WheelOver(QWidget* target, WheelTarget kind, const QWheelEvent& wheel) {
  int& pending = kind == WheelTarget::Roster       ? rosterWheel_
                 : kind == WheelTarget::TabChanels ? channelWheel_
                                                   : messageWheel_;
  Qt::Key key = Qt::Key_unknown;
  switch (WheelTurn(kind, wheel.angleDelta().y(), pending)) {
    case WheelKey::Left:
      key = Qt::Key_Left;
      break;
    case WheelKey::Right:
      key = Qt::Key_Right;
      break;
    case WheelKey::Up:
      key = Qt::Key_Up;
      break;
    case WheelKey::Down:
      key = Qt::Key_Down;
      break;
    case WheelKey::None:
      break;
  }
  if (key != Qt::Key_unknown) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
  }
  // The roster still scrolls with the wheel; the strips do nothing more.
  return kind != WheelTarget::Roster;
}

void TForm1::TabMessagesMouseUp(const QPoint& pos) {
  const int index = ui_->TabMessages->tabAt(pos);
  if (MessageTabMenuOpens(index, ui_->TabMessages->currentIndex())) {
    popupMenu3_->popup(ui_->TabMessages->mapToGlobal(pos));
  }
}

void TForm1::ComboBox1Enter() {
  if (core_) core_->Own().NickEntered(ToCp1251(ui_->ComboBox1->currentText()), true);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (watched == ui_->RxRichEdit2 && type == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (RxRichEdit2KeyDown(key->key(), key->modifiers())) {
      key->accept();
      return true;
    }
  } else if (watched == ui_->RxRichEdit2 && type == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (RxRichEdit2KeyUp(key->key(), key->modifiers())) return true;
  } else if (watched == ui_->RxRichEdit2 && type == QEvent::ShortcutOverride) {
    // Keys the editor handles itself must not be taken by the window's shortcuts (F5 and F6 are
    // window-wide, but in the editor its own rules run).
    auto* key = static_cast<QKeyEvent*>(event);
    const int k = key->key();
    if (k == Qt::Key_Escape || k == Qt::Key_Tab || k == Qt::Key_Backtab || k == Qt::Key_F5 ||
        k == Qt::Key_F6) {
      key->accept();
    }
  } else if (watched == ui_->Splitter2 && type == QEvent::Resize) {
    ApplyEditorHeight();
  } else if (watched == ui_->Splitter1 && type == QEvent::Resize) {
    ApplyRosterWidth();
  } else if (watched == ui_->RxRichEdit2->viewport() && type == QEvent::MouseButtonDblClick) {
    ToggleLineMode();
  } else if (watched == ui_->RxRichEdit1->viewport() && type == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
      const QString text = channels_.SelectionText();
      if (!text.isEmpty()) InsertIntoEditor(text);
    }
  } else if (watched == ui_->TabMessages && type == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) TabMessagesMouseUp(mouse->position().toPoint());
  } else if (watched == ui_->ToolButton6 && type == QEvent::MouseButtonRelease) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton && core_) core_->Tabs().ShowTopic();
  } else if ((watched == ui_->ComboBox1 || watched == ui_->ComboBox1->lineEdit()) &&
             type == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      ComboBox1Enter();
      return true;
    }
  } else if (watched == ui_->ListView1->viewport() && type == QEvent::Wheel) {
    if (WheelOver(ui_->ListView1, WheelTarget::Roster, *static_cast<QWheelEvent*>(event))) return true;
  } else if (watched == ui_->TabChanels && type == QEvent::Wheel) {
    if (WheelOver(ui_->TabChanels, WheelTarget::TabChanels, *static_cast<QWheelEvent*>(event))) return true;
  } else if (watched == ui_->TabMessages && type == QEvent::Wheel) {
    if (WheelOver(ui_->TabMessages, WheelTarget::TabMessages, *static_cast<QWheelEvent*>(event))) return true;
  } else if (watched == ui_->ListView1->viewport() && type == QEvent::MouseButtonDblClick) {
    // ListView1DblClick: a message to the selected peers, also on the empty part of the list
    // (with nobody selected the console says so).
    if (core_) core_->Sending().ComposeMessage(false);
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Window events.

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!core_ || closed_) return;
  core_->Captions().ApplyLanguage();
  channels_.SetWindowVisible(true);
  inputs_.SetWindowVisible(true);
  core_->SetWindowVisible(true);
  UpdateReplyHeight();
  ApplyEditorHeight();
  ui_->RxRichEdit2->setFocus();
}

void TForm1::hideEvent(QHideEvent* event) {
  QMainWindow::hideEvent(event);
  if (!core_ || closed_ || event->spontaneous()) return;
  channels_.SetWindowVisible(false);
  inputs_.SetWindowVisible(false);
  core_->SetWindowVisible(false);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (core_ && !closed_) {
    if (keyDialog_) keyDialog_->close();
    delivery_->Close();
    if (TPrivateTalk* talk = Talk()) {
      talk->OnCheck = std::move(coreOnCheck_);
      talk->OnLockChanged = std::move(coreOnLockChanged_);
    }
    TSettings& s = core_->Settings();
    s.FormH = height();
    s.FormW = width();
    s.FormL = x();
    s.FormT = y();
    core_->FormClose();
    core_->FormDestroy();
    closed_ = true;
    if (timers_ != nullptr) {
      timers_->SetCoreTimer(CoreTimer::NetworkWatch, false, 0);
      timers_->SetCoreTimer(CoreTimer::ProgramList, false, 0);
    }
  }
  event->accept();
}

void TForm1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) UpdateActivation();
}

// The user is in the window while it, or a window it owns, is the active one: its dialogs, boxes
// and search window take the activation without the user leaving. A window of the program that no
// main window owns counts as the program's own too; another main window (tests run several in one
// process) does not.
bool TForm1::UserInWindow() const {
  const QWidget* active = QApplication::activeWindow();
  if (active == nullptr) return false;
  for (const QWidget* w = active; w != nullptr; w = w->parentWidget()) {
    if (w == this) return true;
    if (qobject_cast<const TForm1*>(w) != nullptr) return false;
  }
  return true;
}

void TForm1::UpdateActivation() {
  if (!core_ || closed_) return;
  const bool active = UserInWindow();
  if (active) {
    lastOwnWindow_ = QApplication::activeWindow();
    dialogActive_ = lastOwnWindow_ != this;
  } else if (dialogActive_ && QApplication::activeWindow() == nullptr) {
    // The keyboard left one of the window's dialogs, maybe because it is closing; that is decided
    // once the event in progress is over (a closing dialog is still visible while it loses the
    // keyboard).
    dialogActive_ = false;
    QTimer::singleShot(0, this, [this] { DialogLeft(); });
    return;
  }
  if (active == core_->Own().WindowActive()) return;
  if (active) {
    core_->Own().WindowActivated();
    if (isActiveWindow()) ui_->RxRichEdit2->setFocus();
  } else {
    core_->Own().WindowDeactivated();
  }
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  UpdateReplyHeight();
}

// A closed dialog leaves the keyboard to the window under it; a desktop without a window manager
// gives it to no one, so the window takes it back. A dialog left open is the user leaving.
void TForm1::DialogLeft() {
  if (!core_ || closed_ || QApplication::activeWindow() != nullptr) return;
  if ((!lastOwnWindow_ || !lastOwnWindow_->isVisible()) && isVisible() && !isMinimized()) {
    activateWindow();
    return;
  }
  UpdateActivation();
}

// --- WindowSurface.

void TForm1::SetCaption(const std::string& caption) {
  setWindowTitle(FromCp1251(caption));
}

void TForm1::SetTopicButtonEnabled(bool enabled) {
  ui_->ToolButton6->setEnabled(enabled);
}

void TForm1::SetCommandButtonEnabled(bool enabled) {
  ui_->ToolButton4->setEnabled(enabled);
}

void TForm1::SetStateImage(int image) {
  ui_->ToolButton5->setIcon(MainImage(image));
  ui_->ToolButton5->setProperty("image", image);
}

void TForm1::SetMuteImage(int image) {
  ui_->SpeedButton3->setIcon(MainImage(image));
  ui_->SpeedButton3->setProperty("image", image);
}

void TForm1::SetNickBox(const std::vector<std::string>& items, const std::string& text) {
  const QSignalBlocker block(ui_->ComboBox1);
  ui_->ComboBox1->clear();
  for (const std::string& item : items) ui_->ComboBox1->addItem(FromCp1251(item));
  ui_->ComboBox1->setEditText(FromCp1251(text));
}

// A window not shown yet (a hidden start) is shown minimized when it is shown.
void TForm1::Minimize() {
  setWindowState(windowState() | Qt::WindowMinimized);
}

// The box is window-modal but opened with open(), not exec(): no nested event loop runs, so the
// network and the timers go on, and the answer reaches the core as a call of its own.
void TForm1::SetTopicLine(const std::string& text) {
  const QString shown = FromCp1251(text);
  ui_->TopicLine->setText(shown);
  // A long topic is cut at the window's edge; its tip shows it whole.
  ui_->TopicLine->setToolTip(shown);
  ui_->TopicLine->setVisible(!shown.isEmpty());
}

void TForm1::AskText(const std::string& title, const std::string& prompt, const std::string& value,
                     TextAnswer answered) {
  ui::DialogAnswers::RecordAsked(title);
  std::optional<std::string> queued;
  if (ui::DialogAnswers::TakeInputAnswer(queued) || !ui::DialogAnswers::CanAsk()) {
    answered(queued);
    return;
  }
  auto* box = new QInputDialog(this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowTitle(FromCp1251(title));
  box->setLabelText(FromCp1251(prompt));
  box->setTextValue(FromCp1251(value));
  connect(box, &QDialog::finished, this, [box, answered = std::move(answered)](int result) {
    answered(result == QDialog::Accepted ? std::optional<std::string>(ToCp1251(box->textValue()))
                                         : std::nullopt);
  });
  box->open();
}

void TForm1::ConfirmLostCharacters(const std::string& message, const std::vector<TUnencodableChar>& lost,
                                   std::function<void(bool)> answered) {
  // A queued answer sends, a cancelled one keeps the draft. Enter keeps the draft when the reader
  // would miss something; when only invisible characters go, it sends.
  ui::YesNoQuestion box;
  box.Icon = QMessageBox::Warning;
  box.DefaultYes = !LosesVisibleCharacters(lost);
  box.Recorded = UnencodableWarning(message, lost);
  box.Text = QString::fromStdString(box.Recorded);
  box.OkCancel = true;
  ui::AskYesNo(this, box, std::move(answered));
}

void TForm1::AskYesNo(const std::string& question, std::function<void(bool yes)> answered) {
  if (closed_) {
    answered(false);
    return;
  }
  delivery_->Retranslate();
  delivery_->Questions()->Ask(FromCp1251(question), std::move(answered));
}

void TForm1::ShowMessage(const std::string& text) {
  ui::DialogAnswers::RecordShown(text);
  if (!ui::DialogAnswers::CanAsk()) return;
  // Not modal: a notice must not hold up the event loop (and the network) while it is read.
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Plumo"), FromCp1251(text),
                              QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
}

void TForm1::Notify(const std::string& title, const std::string& text) {
  if (OnNotify) OnNotify(FromCp1251(title), FromCp1251(text));
}

// --- Language.

std::vector<TLanguageForm*> TForm1::Forms() {
  std::vector<TLanguageForm*> forms{this};
  forms.insert(forms.end(), otherForms_.begin(), otherForms_.end());
  return forms;
}

void TForm1::AddLanguageForm(TLanguageForm* form) {
  otherForms_.push_back(form);
}

void TForm1::ApplyViewSettings() {
  if (!core_) return;
  const TSettings& s = core_->Settings();
  channels_.Manager().HotNicks = s.ChanelHotNik;
  inputs_.Manager().HotNicks = s.MessagesHotNik;
  inputs_.SetOwnColor(s.MyColor);
}

void TForm1::BuildLanguageMenu(const std::vector<TLanguageEntry>& entries) {
  QMenu* languages = popupMenu8_->findChild<QMenu*>(QStringLiteral("PLngItem"));
  for (const TLanguageEntry& entry : entries) {
    QAction* item = languages->addAction(FromCp1251(entry.Caption));
    item->setObjectName(QString::fromStdString("P" + entry.BaseName));
    connect(item, &QAction::triggered, this, [this, entry] {
      if (!core_) return;
      core_->Captions().ChooseLanguage(entry);
      core_->Settings().Language = core_->Captions().ShortFileName();
      UpdateHeaderMark();
      UpdatePrivateBar();
      // The new captions include the user-count button's bare "Total": the count goes back on.
      if (isVisible()) core_->Roster().Refresh();
    });
  }
}

std::vector<TLanguageForm::Caption> TForm1::Captions() const {
  std::vector<Caption> captions;
  for (const TDesignCaption& design : kDesignCaptions) {
    if (std::string_view(design.Form) != "Form1") continue;
    if (const QObject* object = findChild<QObject*>(QString::fromLatin1(design.Key))) {
      captions.push_back({design.Key, ToCp1251(CaptionOf(object))});
    }
  }
  return captions;
}

void TForm1::SetCaption(const std::string& key, const std::string& text) {
  for (const TDesignCaption& design : kDesignCaptions) {
    if (std::string_view(design.Form) != "Form1" || key != design.Key) continue;
    if (QObject* object = findChild<QObject*>(QString::fromStdString(key)))
      SetCaptionOf(object, FromCp1251(text));
    return;
  }
}

}  // namespace plumo
