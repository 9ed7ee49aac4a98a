// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog over a real main window and core: controls found by their object names, file
// dialogs, colours and questions answered through DialogAnswers.
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "../ui/window_fixture.h"
#include "core/inifile.h"
#include "lang/codepage.h"
#include "settings/autostart.h"
#include "settings/tform2.h"

namespace plumo::uitest {
namespace {

using ui::DialogAnswers;

TNameValueList Rows(const QTableWidget* table) {
  TNameValueList list;
  for (int r = 0; r < table->rowCount(); ++r)
    list.Add(table->item(r, 0)->text().toStdString(), table->item(r, 1)->text().toStdString());
  return list;
}

int RowOf(const QTableWidget* table, const char* key) {
  for (int r = 0; r < table->rowCount(); ++r)
    if (table->item(r, 0)->text() == QLatin1String(key)) return r;
  return -1;
}

std::string NoCr(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr const char kSoundIni[] =
    "MyState=4\n"
    "[SOUNDS]\nmute=0\non_chat_line=1\n"
    "[SOUNDS0]\nmute=0\non_chat_line=1\nchat_line_src=a.wav\n"
    "[SOUNDS1]\nmute=1\non_chat_line=0\n"
    "[STATES]\nstate4=away\nstate5=off\ngame=5\nDescr_game=A game\n";

class SettingsDialogTest : public WindowTest {
 protected:
  // A program opened again in the same test needs an address of its own on the LAN. Both language
  // files are there, as in an installation; language is the one chat.ini names. The dialog joins the
  // language as the program's does.
  void Open(const std::string& extraIni = kSoundIni, const std::string& address = "10.0.0.1",
            const std::string& language = "english.lng") {
    peer = std::make_unique<WindowPeer>(
        lan, address, "ann", extraIni, std::vector<std::string>{}, [&language](const fs::path& dir) {
          const char* source = std::getenv("PLUMO_SOURCE_DIR");
          fs::copy_file(fs::path(source) / "data/lang/russian.lng", dir / "russian.lng");
          std::string ini = ReadFile(dir / "chat.ini");
          ini.replace(ini.find("english.lng"), 11, language);
          std::ofstream(dir / "chat.ini") << ini;
        });
    dialog = std::make_unique<TForm2>(*peer->core,
                                      TForm2Window{peer->form.get(), peer->form->LanguageMenu(),
                                                   [this] { peer->form->ApplyViewSettings(); }},
                                      "/opt/plumo/bin/plumo", config.Path(), peer->form.get());
    peer->form->AddLanguageForm(dialog.get());
    peer->core->Captions().ApplyLanguage();
    dialog->show();
  }
  void TearDown() override {
    dialog.reset();
    peer.reset();
    WindowTest::TearDown();
  }
  template <class T>
  T* Find(const char* name) const {
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QTableWidget* Table(const char* name) const { return Find<QTableWidget>(name); }
  TSettings& Settings() const { return peer->core->Settings(); }
  int CheckedMode() const { return Find<QButtonGroup>("RadioGroup1Buttons")->checkedId(); }
  void SelectMode(int index) const { Find<QButtonGroup>("RadioGroup1Buttons")->button(index)->click(); }
  void Click(const char* button) const { Find<QAbstractButton>(button)->click(); }

  ::plumo::testing::TempDir config;
  std::unique_ptr<WindowPeer> peer;
  std::unique_ptr<TForm2> dialog;
};

// The radio follows the state, the editor lists the sounds in force, edits reach the live table only
// for the chosen state, and a mode switch keeps the edits of the mode left.
TEST_F(SettingsDialogTest, SoundModesFollowTheChosenState) {
  Open();
  ASSERT_EQ(peer->core->Own().SavedState(), '4');
  EXPECT_EQ(CheckedMode(), 1);
  EXPECT_EQ(Rows(Table("ValueListEditor1")), Settings().SoundTable);

  // Editing the chosen state's mode changes the live sounds and the mute picture.
  QTableWidget* sounds = Table("ValueListEditor1");
  sounds->item(RowOf(sounds, "mute"), 1)->setText(QStringLiteral("1"));
  EXPECT_EQ(Settings().SoundTable.Value("mute"), "1");
  EXPECT_EQ(peer->Button("SpeedButton3")->property("image").toInt(), 84);
  EXPECT_EQ(Settings().SoundSets[1].Value("mute"), "1");

  // Another mode: its own section, edits stay out of the live sounds, kept when switching on.
  SelectMode(0);
  EXPECT_EQ(Rows(sounds), Settings().SoundSets[0]);
  sounds->item(RowOf(sounds, "chat_line_src"), 1)->setText(QStringLiteral("b.wav"));
  EXPECT_EQ(Settings().SoundTable.Value("chat_line_src"), "");
  SelectMode(1);
  EXPECT_EQ(Settings().SoundSets[0].Value("chat_line_src"), "b.wav");
  EXPECT_EQ(Rows(sounds).Value("mute"), "1");

  // A mode without sounds starts from the previous mode's; switching on writes them under it.
  ASSERT_TRUE(Settings().SoundSets[2].Empty());
  SelectMode(2);
  EXPECT_EQ(Rows(sounds), Settings().SoundSets[1]);
  SelectMode(0);
  EXPECT_EQ(Settings().SoundSets[2], Settings().SoundSets[1]);

  // The full save on loss of activation writes the edited sets.
  dialog->hide();
  TIniFile ini((peer->dir / "chat.ini").string());
  EXPECT_EQ(ini.ReadString("SOUNDS0", "chat_line_src", ""), "b.wav");
  EXPECT_EQ(ini.ReadString("SOUNDS2", "mute", ""), "1");
}

// Shown again while an automatic state is in force, the radio stays on the mode it showed and the
// editor lists that mode's own sounds, not the sounds in force of another mode.
TEST_F(SettingsDialogTest, ReshownInAnAutomaticStateKeepsTheModesOwnSounds) {
  Open("MyState=1\n[SOUNDS0]\nmute=0\n[SOUNDS2]\nmute=1\non_bell=0\n");
  EXPECT_EQ(CheckedMode(), 0);
  SelectMode(2);
  dialog->hide();
  peer->core->Own().WindowDeactivated();
  ASSERT_EQ(peer->core->Engine().State(), '2');
  dialog->show();
  EXPECT_EQ(CheckedMode(), 2);
  EXPECT_EQ(Rows(Table("ValueListEditor1")), (TNameValueList{{"mute", "1"}, {"on_bell", "0"}}));
  QTableWidget* sounds = Table("ValueListEditor1");
  sounds->item(RowOf(sounds, "on_bell"), 1)->setText(QStringLiteral("1"));
  EXPECT_EQ(Settings().SoundSets[2].Value("on_bell"), "1");
  EXPECT_FALSE(Settings().SoundSets[0].Has("on_bell"));
  EXPECT_EQ(Settings().SoundTable.Value("on_bell"), "");
}

// Opened from the roster panel's button as the program opens it (window-modal), the dialog is part
// of the window: taking the activation leaves the state, the away timer and StartHidden alone. The
// sounds edited for the set in force (the chosen state's, or a listed program's) are the live ones
// and the ones the full save writes. Leaving the program from the dialog is leaving the window.
TEST_F(SettingsDialogTest, TheDialogIsPartOfTheWindowAndEditsTheSoundsInForce) {
  const struct {
    const char* name;
    std::vector<std::string> programs;  // running
    char state;                         // in force while the dialog is open
    char away;                          // once the user has left the program
    const char* section;                // of the set in force
  } cases[] = {
      {"the chosen state", {}, '1', '2', "SOUNDS0"},
      {"a listed program's state", {"game"}, '4', '4', "SOUNDS1"},
  };
  int host = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dialog.reset();
    peer = std::make_unique<WindowPeer>(lan, "10.0.1." + std::to_string(++host), "ann",
                                        "[SOUNDS]\nmute=0\n[SOUNDS0]\nmute=0\n[SOUNDS1]\nmute=0\n"
                                        "[STATES]\ngame=4\n");
    dialog =
        std::make_unique<TForm2>(*peer->core, TForm2Window{peer->form.get(), peer->form->LanguageMenu(), {}},
                                 "/opt/plumo/bin/plumo", config.Path(), peer->form.get());
    peer->form->OnSettingsRequested = [this] {
      dialog->setWindowModality(Qt::WindowModal);
      dialog->open();
    };
    QApplication::setActiveWindow(peer->form.get());
    ASSERT_TRUE(peer->core->Own().WindowActive());
    peer->system.programs = c.programs;
    peer->core->Own().ApplyAutoStates();
    ASSERT_EQ(peer->core->Engine().State(), c.state);
    const auto* timer2 = peer->Find<QTimer>("Timer2");

    QTest::mouseClick(peer->Button("SpeedButton2"), Qt::LeftButton);
    ASSERT_TRUE(dialog->isVisible());
    TRY_EQ(QApplication::activeWindow(), static_cast<QWidget*>(dialog.get()));
    EXPECT_EQ(peer->core->Engine().State(), c.state);
    EXPECT_EQ(peer->core->Own().SavedState(), '1');
    EXPECT_TRUE(peer->core->Own().WindowActive());
    EXPECT_FALSE(timer2->isActive());
    EXPECT_EQ(TIniFile((peer->dir / "chat.ini").string()).ReadString("Main", "StartHidden", "0"), "0");

    QTableWidget* sounds = Table("ValueListEditor1");
    sounds->item(RowOf(sounds, "mute"), 1)->setText(QStringLiteral("1"));
    EXPECT_EQ(Settings().SoundTable.Value("mute"), "1");
    EXPECT_EQ(peer->Button("SpeedButton3")->property("image").toInt(), 84);

    // Closed as the keyboard goes to nobody (a desktop without a window manager gives it back to no
    // one): the window takes it back, and the user never counted as away.
    QApplication::setActiveWindow(nullptr);
    dialog->close();
    EXPECT_TRUE(peer->core->Own().WindowActive());
    TRY_EQ(QApplication::activeWindow(), static_cast<QWidget*>(peer->form.get()));
    EXPECT_EQ(peer->core->Engine().State(), c.state);
    EXPECT_TRUE(peer->core->Own().WindowActive());
    EXPECT_EQ(TIniFile((peer->dir / "chat.ini").string()).ReadString("Main", "StartHidden", "0"), "0");

    // Leaving the program from the open dialog is leaving the window.
    QTest::mouseClick(peer->Button("SpeedButton2"), Qt::LeftButton);
    TRY_EQ(QApplication::activeWindow(), static_cast<QWidget*>(dialog.get()));
    QApplication::setActiveWindow(nullptr);
    TRY_EQ(peer->core->Own().WindowActive(), false);
    EXPECT_EQ(peer->core->Engine().State(), c.away);
    EXPECT_TRUE(timer2->isActive());
    dialog->close();
    TIniFile ini((peer->dir / "chat.ini").string());
    EXPECT_EQ(ini.ReadString("SOUNDS", "mute", ""), "1");
    EXPECT_EQ(ini.ReadString(c.section, "mute", ""), "1");
    EXPECT_EQ(ini.ReadString("Main", "MyState", ""), "1");
  }
}

// The value lists: on/off for switches, the states for programs, nothing for the rest.
TEST_F(SettingsDialogTest, ValueListsOfTheKeys) {
  Open();
  struct Case {
    const char* table;
    const char* key;
    int picks;  // items of the combo box, 0 for a plain line editor
  };
  const Case cases[] = {
      {"ValueListEditor1", "mute", 2},       {"ValueListEditor1", "on_chat_line", 2},
      {"ValueListEditor2", "game", 3},       {"ValueListEditor2", "state4", 0},
      {"ValueListEditor2", "Descr_game", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.table) + " " + c.key);
    QTableWidget* table = Table(c.table);
    const int row = RowOf(table, c.key);
    ASSERT_GE(row, 0);
    QStyleOptionViewItem option;
    QWidget* editor = table->itemDelegateForColumn(1)->createEditor(table->viewport(), option,
                                                                    table->model()->index(row, 1));
    auto* box = qobject_cast<QComboBox*>(editor);
    EXPECT_EQ(box ? box->count() : 0, c.picks);
    delete editor;
  }
}

// The program table: adding asks for a description, deleting spares the state entries and takes the
// description along, moving keeps the order Part of the automatic modes.
TEST_F(SettingsDialogTest, ProgramTableRules) {
  Open();
  QTableWidget* programs = Table("ValueListEditor2");
  DialogAnswers::SetNextInputAnswer("/usr/games/chess");
  DialogAnswers::SetNextInputAnswer("Chess game");
  Click("Button1");
  DialogAnswers::SetNextInputAnswer("/usr/bin/editor");
  DialogAnswers::SetNextInputAnswer(std::nullopt);  // cancelled: the name is the description
  Click("Button1");
  EXPECT_EQ(Settings().StateTable, (TNameValueList{{"state4", "away"},
                                                   {"state5", "off"},
                                                   {"game", "5"},
                                                   {"Descr_game", "A game"},
                                                   {"chess", "4"},
                                                   {"Descr_chess", "Chess game"},
                                                   {"editor", "4"},
                                                   {"Descr_editor", "editor"}}));
  EXPECT_EQ(DialogAnswers::Asked().back(), "Description");

  for (const char* key : {"state4", "state5"}) {
    programs->setCurrentCell(RowOf(programs, key), 0);
    Click("Button2");
    EXPECT_GE(RowOf(programs, key), 0) << key;
  }
  programs->setCurrentCell(RowOf(programs, "game"), 0);
  Click("Button2");
  EXPECT_FALSE(Settings().StateTable.Has("game"));
  EXPECT_FALSE(Settings().StateTable.Has("Descr_game"));

  programs->setCurrentCell(RowOf(programs, "editor"), 0);
  Click("SpeedButton3");
  EXPECT_EQ(Settings().StateTable.IndexOfName("editor"), 3);
  EXPECT_EQ(programs->currentRow(), 3);
  programs->setCurrentCell(programs->rowCount() - 1, 0);
  Click("SpeedButton4");  // the last entry stays last
  EXPECT_EQ(Settings().StateTable.Entries().back().first, "Descr_editor");
  programs->setCurrentCell(0, 0);
  Click("SpeedButton3");  // the first stays first
  EXPECT_EQ(Settings().StateTable.Entries().front().first, "state4");
}

// The bell number is asked until it is one to five digits; a file of the program's sounds folder is
// kept by name.
TEST_F(SettingsDialogTest, BellNumberQuestion) {
  Open();
  struct Case {
    std::string file;
    std::vector<std::optional<std::string>> answers;
    std::string number;
    std::string stored;
  };
  const Case cases[] = {
      {"sounds/ding.wav", {"", "12a", "123456", "42"}, "42", "ding.wav"},
      {"/usr/share/sounds/bell.wav", {std::nullopt}, "0", "/usr/share/sounds/bell.wav"},
      {"sounds/../other/x.wav", {"99999"}, "99999", "other/x.wav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    DialogAnswers::Reset();
    const std::string file = c.file.front() == '/' ? c.file : (peer->dir / c.file).string();
    DialogAnswers::SetNextInputAnswer(file);
    for (const auto& answer : c.answers) DialogAnswers::SetNextInputAnswer(answer);
    Click("Button3");
    // The file dialog, then one question per answer.
    EXPECT_EQ(DialogAnswers::Asked().size(), c.answers.size() + 1);
    const std::string expected = c.stored.front() == '/' || c.stored.find('/') == std::string::npos
                                     ? c.stored
                                     : (peer->dir / c.stored).lexically_normal().string();
    EXPECT_EQ(Settings().BellTable.Value(c.number), expected);
  }
  QTableWidget* bells = Table("ValueListEditor3");
  bells->setCurrentCell(RowOf(bells, "42"), 0);
  Click("Button4");
  EXPECT_FALSE(Settings().BellTable.Has("42"));
  EXPECT_EQ(Settings().BellTable.Count(), 2U);
}

// The information text: a change is stored on Yes, taken back on No, and an unchanged text asks
// nothing.
TEST_F(SettingsDialogTest, InformationTextQuestion) {
  Open();
  auto* memo = Find<QPlainTextEdit>("Memo1");
  const std::string original = peer->core->Engine().AboutText;
  EXPECT_EQ(memo->toPlainText().toStdString(), NoCr(original));

  dialog->Memo1Exit();
  EXPECT_TRUE(DialogAnswers::Shown().empty());

  memo->setPlainText(QStringLiteral("line one\nline two"));
  DialogAnswers::SetNextInputAnswer(std::nullopt);  // No
  dialog->Memo1Exit();
  EXPECT_EQ(peer->core->Engine().AboutText, original);
  EXPECT_EQ(memo->toPlainText().toStdString(), NoCr(original));

  memo->setPlainText(QStringLiteral("line one\nline two"));
  DialogAnswers::SetNextInputAnswer("");  // Yes
  dialog->Memo1Exit();
  EXPECT_EQ(peer->core->Engine().AboutText, "line one\r\nline two");
  ASSERT_EQ(DialogAnswers::Shown().size(), 2U);
  TIniFile ini((peer->dir / "chat.ini").string());
  EXPECT_EQ(ini.ReadString("Main", "About", ""), "line one/nline two");
}

// The switches change their live values at once; losing activation writes them; the autostart box
// writes and removes the entry.
TEST_F(SettingsDialogTest, SwitchesAutostartAndFullSave) {
  Open("AutoStart=0\nChanelHotNik=0\nShowBallonIfNotFocused=0\nDesableMultiMessage=0\n", "10.0.0.1",
       "russian.lng");
  const std::string comment = Cp1251ToUtf8(
      TIniFile((peer->dir / "russian.lng").string()).ReadString("Project_Messages", "AutostartComment", ""));
  ASSERT_FALSE(comment.empty());
  struct Case {
    const char* box;
    const char* key;
  };
  const Case cases[] = {{"CheckBox1", "AutoStart"},
                        {"CheckBox2", "ChanelHotNik"},
                        {"CheckBox4", "ShowBallonIfNotFocused"},
                        {"CheckBox5", "DesableMultiMessage"}};
  const fs::path entry = AutostartEntryPath(config.Path());
  for (const bool on : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.box) + (on ? " on" : " off"));
      auto* box = Find<QCheckBox>(c.box);
      ASSERT_NE(box->isChecked(), on);
      box->click();
      EXPECT_EQ(GetSettingText(Settings(), c.key), on ? "1" : "0");
    }
    EXPECT_EQ(fs::exists(entry), on);
    if (on) {
      // The entry starts this program directory, not the default one, and says what it is in the
      // user's language.
      EXPECT_NE(ReadFile(entry).find("Comment=" + comment + "\nExec=\"/opt/plumo/bin/plumo\" --dir \"" +
                                     peer->dir.string() + "\"\n"),
                std::string::npos)
          << ReadFile(entry);
    }
    dialog->hide();
    TIniFile ini((peer->dir / "chat.ini").string());
    for (const Case& c : cases) EXPECT_EQ(ini.ReadString("Main", c.key, "?"), on ? "1" : "0") << c.key;
    dialog->show();
  }

  // The own colour from the colour dialog reaches the editor's views.
  DialogAnswers::SetNextInputAnswer("0000FF");
  Click("SpeedButton1");
  EXPECT_EQ(Settings().MyColor, 0x0000FFU);
  EXPECT_EQ(Find<QLabel>("Label1")->palette().color(QPalette::WindowText), QColor(Qt::red));
}

// The history tab shows chat.ini's values (out-of-range numbers clamped, but left as they are until
// edited); a number takes effect when entered, not while it is typed, and one typed but not entered
// counts when the dialog is left; the switch opens or closes the store at once; leaving the dialog
// writes chat.ini. Delete all history deletes only after a Yes.
TEST_F(SettingsDialogTest, HistorySettingsAndDeletion) {
  struct Case {
    const char* ini;
    bool keep;  // shown
    int days;
    const char* daysText;
    int lines;
    bool newKeep;  // entered
    int newDays;
    int newLines;
  };
  const Case cases[] = {
      {"", true, 0, "forever", 200, false, 30, 0},
      {"KeepHistory=0\nHistoryDays=7\nHistoryLines=50\n", false, 7, "7", 50, true, 0, 10000},
      {"HistoryDays=99999\nHistoryLines=20000\n", true, 36500, "36500", 10000, true, 365, 1},
  };
  int host = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    dialog.reset();
    peer.reset();
    Open(c.ini, "10.0.0." + std::to_string(++host));
    dialog->SetCaption("HistoryDays", "forever");
    auto* keep = Find<QCheckBox>("KeepHistory");
    auto* days = Find<QSpinBox>("HistoryDays");
    auto* lines = Find<QSpinBox>("HistoryLines");
    auto* erase = Find<QPushButton>("DeleteHistory");
    EXPECT_EQ(keep->isChecked(), c.keep);
    EXPECT_EQ(days->value(), c.days);
    EXPECT_EQ(days->text().toStdString(), c.daysText);
    EXPECT_EQ(lines->value(), c.lines);
    EXPECT_EQ(peer->core->ChatHistory().Enabled(), c.keep);
    EXPECT_EQ(erase->isEnabled(), c.keep);
    EXPECT_EQ(days->isEnabled(), c.keep);
    {
      const TIniFile ini((peer->dir / "chat.ini").string());
      EXPECT_EQ(GetSettingText(Settings(), "HistoryDays"), ini.ReadString("Main", "HistoryDays", "0"));
      EXPECT_EQ(GetSettingText(Settings(), "HistoryLines"), ini.ReadString("Main", "HistoryLines", "200"));
    }

    if (!keep->isChecked()) keep->click();  // the numbers are editable while history is kept
    EXPECT_TRUE(peer->core->ChatHistory().Enabled());
    EXPECT_TRUE(erase->isEnabled());
    const int daysBefore = Settings().HistoryDays;
    days->selectAll();
    QTest::keyClicks(days, QString::number(c.newDays));
    EXPECT_EQ(Settings().HistoryDays, daysBefore);
    QTest::keyClick(days, Qt::Key_Return);
    EXPECT_EQ(Settings().HistoryDays, c.newDays);
    lines->selectAll();
    QTest::keyClicks(lines, QString::number(c.newLines));
    if (keep->isChecked() != c.newKeep) keep->click();
    EXPECT_EQ(peer->core->ChatHistory().Enabled(), c.newKeep);
    EXPECT_EQ(peer->core->ChatHistory().Store() != nullptr, c.newKeep);
    EXPECT_EQ(erase->isEnabled(), c.newKeep);
    EXPECT_EQ(lines->isEnabled(), c.newKeep);

    dialog->hide();
    const TIniFile ini((peer->dir / "chat.ini").string());
    EXPECT_EQ(ini.ReadString("Main", "KeepHistory", ""), c.newKeep ? "1" : "0");
    EXPECT_EQ(ini.ReadString("Main", "HistoryDays", ""), std::to_string(c.newDays));
    EXPECT_EQ(ini.ReadString("Main", "HistoryLines", ""), std::to_string(c.newLines));
  }

  dialog.reset();
  peer.reset();
  Open("", "10.0.0." + std::to_string(++host));
  TChatHistory& history = peer->core->ChatHistory();
  history.ChannelLine("Main", "10.0.0.2", "bob", "needle in the hay");
  history.Store()->Flush();
  auto mainKept = [&history] {
    for (const TStoredConversation& stored : history.Store()->Conversations())
      if (stored.Key == TConversationKey{ConversationKind::Channel, "Main"}) return true;
    return false;
  };
  ASSERT_TRUE(mainKept());
  const std::string question = TIniFile((peer->dir / "english.lng").string())
                                   .ReadString("Project_Messages", "ConfirmDeleteHistory", "");
  ASSERT_FALSE(question.empty());
  // No, then nobody to answer (offscreen, nothing queued): the history stays.
  DialogAnswers::SetNextInputAnswer(std::nullopt);
  Click("DeleteHistory");
  Click("DeleteHistory");
  EXPECT_EQ(DialogAnswers::Shown(), (std::vector<std::string>{question, question}));
  EXPECT_TRUE(mainKept());
  EXPECT_EQ(history.Search("needle", 10).size(), 1U);
  DialogAnswers::SetNextInputAnswer("");  // Yes
  Click("DeleteHistory");
  EXPECT_FALSE(mainKept());
  EXPECT_TRUE(history.Search("needle", 10).empty());
  EXPECT_TRUE(history.Enabled());
}

// Every caption key of the dialog in the language files names a control of the dialog.
TEST_F(SettingsDialogTest, CaptionsCoverTheLanguageKeys) {
  Open();
  std::vector<std::string> keys;
  for (const TDesignCaption& design : kDesignCaptions)
    if (std::string_view(design.Form) == "Form2") keys.push_back(design.Key);
  std::vector<std::string> covered;
  for (const auto& caption : dialog->Captions()) covered.push_back(caption.Key);
  EXPECT_EQ(covered, keys);
  dialog->SetCaption("TabSheet3", "Modes");
  EXPECT_EQ(Find<QTabWidget>("PageControl1")->tabText(2).toStdString(), "Modes");
}

// One text a control shows, and where.
struct ShownText {
  std::string Where;
  QString Text;
};

// Every text the controls under root show: captions, titles, hints, column titles, list entries,
// and (documents) the contents of text views. Menus are built first, as their popups would build
// them.
std::vector<ShownText> TextsUnder(QWidget* root, bool documents) {
  for (QMenu* menu : root->findChildren<QMenu*>()) emit menu->aboutToShow();
  std::vector<ShownText> texts;
  const auto add = [&texts](const QObject* object, const QString& text) {
    if (!text.isEmpty())
      texts.push_back(
          {object->metaObject()->className() + std::string(" ") + object->objectName().toStdString(), text});
  };
  QList<QObject*> objects = root->findChildren<QObject*>();
  objects.prepend(root);
  for (const QObject* object : objects) {
    if (const auto* widget = qobject_cast<const QWidget*>(object)) {
      add(widget, widget->toolTip());
      if (widget->isWindow()) add(widget, widget->windowTitle());
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(object)) add(button, button->text());
    if (const auto* label = qobject_cast<const QLabel*>(object)) add(label, label->text());
    if (const auto* group = qobject_cast<const QGroupBox*>(object)) add(group, group->title());
    if (const auto* menu = qobject_cast<const QMenu*>(object)) add(menu, menu->title());
    if (const auto* edit = qobject_cast<const QLineEdit*>(object)) add(edit, edit->placeholderText());
    if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(object)) add(spin, spin->specialValueText());
    if (const auto* action = qobject_cast<const QAction*>(object); action && !action->isSeparator())
      add(action, action->text());
    if (const auto* tabs = qobject_cast<const QTabWidget*>(object))
      for (int i = 0; i < tabs->count(); ++i) add(tabs, tabs->tabText(i));
    if (const auto* tabs = qobject_cast<const QTabBar*>(object))
      for (int i = 0; i < tabs->count(); ++i) add(tabs, tabs->tabText(i));
    if (const auto* box = qobject_cast<const QComboBox*>(object))
      for (int i = 0; i < box->count(); ++i) add(box, box->itemText(i));
    if (const auto* view = qobject_cast<const QAbstractItemView*>(object); view && view->model())
      for (int column = 0; column < view->model()->columnCount(); ++column)
        add(view, view->model()->headerData(column, Qt::Horizontal).toString());
    if (documents) {
      if (const auto* text = qobject_cast<const QTextEdit*>(object)) add(text, text->toPlainText());
      if (const auto* text = qobject_cast<const QPlainTextEdit*>(object)) add(text, text->toPlainText());
    }
  }
  return texts;
}

bool HasCyrillic(const QString& text) {
  return std::any_of(text.begin(), text.end(),
                     [](QChar c) { return c.unicode() >= 0x400 && c.unicode() < 0x530; });
}

// Every value a shipped language file gives (but its name), as shown (no mnemonic marks).
std::set<QString> LanguageValues(const char* file) {
  const TIniFile ini(std::string(std::getenv("PLUMO_SOURCE_DIR")) + "/data/lang/" + file);
  std::set<QString> values;
  for (const std::string& section : ini.ReadSections()) {
    if (section == "Language") continue;
    for (const auto& [key, value] : ini.ReadSectionValues(section))
      values.insert(QString::fromStdString(Cp1251ToUtf8(value)).remove(QLatin1Char('&')));
  }
  return values;
}

// Every text the main window, the settings dialog and the standard buttons of the dialogs show comes
// from the language file: the English window shows no Cyrillic letter (but the Russian language's
// own name in the language menu), and the Russian one no caption the English file gives that the
// Russian file does not. A menu item captioned "-" is a separator line, also when the language file
// makes an item one; the tab strip of the dialog shows every tab whole.
TEST_F(SettingsDialogTest, EveryTextComesFromTheLanguageFile) {
  const std::set<QString> english = LanguageValues("english.lng");
  const std::set<QString> russian = LanguageValues("russian.lng");
  const std::set<QString> languageNames = {QStringLiteral("English"), QString::fromUtf8("Русский")};
  int host = 30;
  for (const char* language : {"english.lng", "russian.lng"}) {
    SCOPED_TRACE(language);
    dialog.reset();
    peer.reset();
    Open(kSoundIni, "10.0.0." + std::to_string(++host), language);
    const bool inEnglish = std::string(language) == "english.lng";
    peer->form->HistorySearch();  // made on first use, as the other dialogs of the window
    // The standard buttons as Qt makes them for a message box, an input box and any button row.
    new QMessageBox(QMessageBox::Question, QString(), QString(),
                    QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No,
                    peer->form.get());
    (new QInputDialog(peer->form.get()))->sizeHint();
    new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes |
                             QDialogButtonBox::No | QDialogButtonBox::Open | QDialogButtonBox::Save |
                             QDialogButtonBox::Close,
                         peer->form.get());
    QCoreApplication::processEvents();
    for (QWidget* root : {static_cast<QWidget*>(peer->form.get()), static_cast<QWidget*>(dialog.get())}) {
      for (const ShownText& shown : TextsUnder(root, inEnglish)) {
        const QString text = QString(shown.Text).remove(QLatin1Char('&'));
        if (languageNames.count(text)) continue;
        if (inEnglish) {
          EXPECT_FALSE(HasCyrillic(text)) << shown.Where << ": " << text.toStdString();
        } else {
          EXPECT_FALSE(english.count(text) && !russian.count(text))
              << shown.Where << ": " << text.toStdString();
        }
      }
      for (const QAction* action : root->findChildren<QAction*>())
        EXPECT_TRUE(action->isSeparator() || action->text() != QLatin1String("-"))
            << action->objectName().toStdString();
    }
    // The dialog's tab strip: every tab inside the strip, wide enough for its caption, no scrolling.
    QTabBar* strip = Find<QTabWidget>("PageControl1")->tabBar();
    for (int i = 0; i < strip->count(); ++i) {
      EXPECT_TRUE(strip->rect().contains(strip->tabRect(i))) << strip->tabText(i).toStdString();
      EXPECT_GE(strip->tabRect(i).width(), strip->fontMetrics().horizontalAdvance(strip->tabText(i)))
          << strip->tabText(i).toStdString();
    }
    for (const QToolButton* arrow : strip->findChildren<QToolButton*>()) EXPECT_FALSE(arrow->isVisible());
  }
  // A language file can make an item a separator and back.
  auto* item = peer->Find<QMenu>("PopupMenu2")->findChild<QAction*>(QStringLiteral("N1"));
  ASSERT_NE(item, nullptr);
  peer->form->SetCaption("N1", "-");
  EXPECT_TRUE(item->isSeparator());
  EXPECT_EQ(item->text(), QString());
  peer->form->SetCaption("N1", "Message");
  EXPECT_FALSE(item->isSeparator());
  EXPECT_EQ(item->text(), QStringLiteral("Message"));
}

// The autostart entry quotes the program and its directory for the Exec key.
TEST(AutostartEntry, QuotesTheProgramAndItsDirectory) {
  struct Case {
    std::string path;
    std::string dir;
    std::string exec;
  };
  const Case cases[] = {
      {"/usr/bin/plumo", "/home/ann/.config/plumo",
       "Exec=\"/usr/bin/plumo\" --dir \"/home/ann/.config/plumo\"\n"},
      {"/home/a b/plumo", "/home/a b", "Exec=\"/home/a b/plumo\" --dir \"/home/a b\"\n"},
      {"/x/$y`z\"/p", "/d$", "Exec=\"/x/\\\\$y\\\\`z\\\\\"/p\" --dir \"/d\\\\$\"\n"},
      {"/x\\y", "/d", "Exec=\"/x\\\\\\\\y\" --dir \"/d\"\n"},
  };
  for (const Case& c : cases)
    EXPECT_NE(AutostartEntry(c.path, c.dir, "chat").find(c.exec), std::string::npos) << c.path;
  // The comment comes from a language file: a line break in it cannot start a key of its own.
  EXPECT_NE(
      AutostartEntry("/p", "/d", "LAN\r\nExec=x \\ y").find("\nComment=LAN  Exec=x \\\\ y\nExec=\"/p\""),
      std::string::npos);
  ::plumo::testing::TempDir dir;
  EXPECT_FALSE(ApplyAutoStart(true, dir.Path(), "/a\nb", "/d", "chat"));
  EXPECT_FALSE(ApplyAutoStart(true, dir.Path(), "/a", "/d\ne", "chat"));
  EXPECT_FALSE(fs::exists(AutostartEntryPath(dir.Path())));
  EXPECT_TRUE(ApplyAutoStart(false, dir.Path(), "/a", "/d", "chat"));  // nothing to remove is no failure
}

// Opening the dialog never writes the autostart entry: the box shows what chat.ini says (off for a
// new installation) and only a click writes or removes the entry.
TEST_F(SettingsDialogTest, AutostartIsWrittenOnlyWhenTicked) {
  const struct {
    const char* ini;
    bool checked;
  } cases[] = {{"", false}, {"AutoStart=0\n", false}, {"AutoStart=1\n", true}};
  const fs::path entry = AutostartEntryPath(config.Path());
  int host = 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    dialog.reset();
    peer.reset();
    Open(c.ini, "10.0.0." + std::to_string(++host));
    EXPECT_EQ(Find<QCheckBox>("CheckBox1")->isChecked(), c.checked);
    dialog->hide();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(TIniFile((peer->dir / "chat.ini").string()).ReadString("Main", "AutoStart", "?"),
              c.checked ? "1" : "0");
  }
  Find<QCheckBox>("CheckBox1")->click();  // off: nothing to remove
  EXPECT_FALSE(fs::exists(entry));
  Find<QCheckBox>("CheckBox1")->click();
  EXPECT_TRUE(fs::exists(entry));
}

}  // namespace
}  // namespace plumo::uitest
