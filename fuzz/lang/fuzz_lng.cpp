// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes as a language file through the message and caption components, and the
// first bytes of it as a message format. Nothing may fail; captions written back must read back.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "lang/inifile.h"
#include "lang/lng.h"

namespace {

class Form : public plumo::TLanguageForm {
 public:
  std::string FormName() const override { return "Form1"; }
  std::vector<Caption> Captions() const override { return captions; }
  void SetCaption(const std::string& key, const std::string& text) override {
    for (auto& c : captions) {
      if (c.Key == key) c.Text = text;
    }
  }
  std::vector<Caption> captions = {
      {"Button1", "Send"}, {"N1", " padded "}, {"StatusBar1.Panels[0]", "\"q\""}};
};

class Host : public plumo::TLanguageHost {
 public:
  std::vector<plumo::TLanguageForm*> Forms() override { return {&form}; }
  void ShowMessage(const std::string&) override {}
  bool HasLanguageMenu() const override { return true; }
  void BuildLanguageMenu(const std::vector<plumo::TLanguageEntry>&) override {}
  Form form;
};

std::string Dir() {
  static const std::string dir = [] {
    std::string tmpl =
        (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/fuzz_lng-XXXXXX");
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    return tmpl;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(Dir() + "/test.lng", std::ios::binary | std::ios::trunc) << bytes;

  Host host;
  plumo::TLngINISupp lns(plumo::FsPath::FromUtf8(Dir()), host);
  plumo::TMsgINISupp mis(plumo::FsPath::FromUtf8(Dir()), &lns, [](const std::string&) {});
  lns.SetFileName("test.lng");
  mis.BeginMessages();
  for (const char* key : plumo::kMessageKeys) {
    const std::string text = mis.GetMessage(key);
    plumo::FormatText(text, {"a", "b", "c"});
  }
  mis.EndMessages();

  // Captions absent from the file are written; afterwards every caption key is in the file.
  lns.ApplyLanguage();
  const plumo::TIniFile ini(Dir() + "/test.lng");
  for (const auto& c : host.form.captions) {
    if (!ini.ValueExists("Form1", c.Key)) std::abort();
  }

  plumo::ConvertMessage(bytes);
  plumo::FormatText(bytes.substr(0, 256), {"x"});
  return 0;
}
