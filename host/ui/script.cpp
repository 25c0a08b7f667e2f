#include "host/ui/script.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <strings.h>

#include "host/core/interaction.h"
#include "host/ui/creation.h"
#include "host/ui/custctrl.h"
#include "host/ui/ui_host.h"
#include "host/ui/user.h"
#include "host/ui/window_impl.h"

namespace vorel_ui {
namespace {

bool Fail(std::string* err, const std::string& why) {
  if (err) *err = why;
  return false;
}

bool ParseNumber(const std::string& s, double& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return *end == '\0';
}

bool ParseInt(const std::string& s, int& v) {
  if (s.empty()) return false;
  char* end = nullptr;
  long x = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0') return false;
  v = int(x);
  return true;
}

bool ParseBool(const std::string& s, bool& v) {
  if (s == "1" || strcasecmp(s.c_str(), "on") == 0 || strcasecmp(s.c_str(), "true") == 0) {
    v = true;
    return true;
  }
  if (s == "0" || strcasecmp(s.c_str(), "off") == 0 || strcasecmp(s.c_str(), "false") == 0) {
    v = false;
    return true;
  }
  return false;
}

void Collect(HWND h, std::vector<HWND>& out) {
  Window* w = Find(h);
  if (!w) return;
  if (w->kind == Kind::Dialog || w->className == "CUIFrame") out.push_back(h);
  for (HWND c : w->children) Collect(c, out);
}

HWND FindDescendant(HWND h, int id) {
  Window* w = Find(h);
  if (!w) return nullptr;
  for (HWND c : w->children) {
    Window* cw = Find(c);
    if (cw && cw->id == id) return c;
  }
  for (HWND c : w->children)
    if (HWND r = FindDescendant(c, id)) return r;
  return nullptr;
}

int FindListItem(const Window& w, const std::string& value) {
  int idx = -1;
  if (value.size() > 1 && value[0] == '#' && ParseInt(value.substr(1), idx)) return idx;
  for (size_t i = 0; i < w.items.size(); ++i)
    if (w.items[i].text == value) return int(i);
  for (size_t i = 0; i < w.rows.size(); ++i)
    if (!w.rows[i].cells.empty() && w.rows[i].cells[0] == value) return int(i);
  return -1;
}

INode* NodeByName(const std::string& name) {
  return GetCOREInterface()->GetINodeByName(name.c_str());
}

std::string Need(const std::vector<std::string>& w, size_t n) { return n < w.size() ? w[n] : ""; }

}  // namespace

std::vector<HWND> OpenDialogs() {
  std::vector<HWND> out;
  for (HWND h : TopLevelWindows()) Collect(h, out);
  return out;
}

HWND FindDialog(const std::string& key) {
  std::vector<HWND> all = OpenDialogs();
  int id = -1;
  std::string k = key;
  bool byId = false;
  if (!k.empty() && k[0] == '#') byId = ParseInt(k.substr(1), id);
  else byId = ParseInt(k, id);
  HWND found = nullptr;
  for (HWND h : all) {
    Window* w = Find(h);
    if (!w) continue;
    if ((byId && w->templateId == id) || strcasecmp(w->text.c_str(), key.c_str()) == 0) found = h;
  }
  return found;
}

HWND FindControl(HWND dlg, int id) {
  if (HWND h = GetDlgItem(dlg, id)) return h;
  return FindDescendant(dlg, id);
}

bool SetControl(HWND ctrl, const std::string& value, std::string* err) {
  Window* w = Find(ctrl);
  if (!w) return Fail(err, "no such control");
  if (!w->enabled) return Fail(err, "control is disabled");
  switch (w->kind) {
    case Kind::Spinner: {
      double v = 0;
      if (!ParseNumber(value, v)) return Fail(err, "not a number: " + value);
      return SetSpinner(ctrl, v);
    }
    case Kind::Edit:
    case Kind::CustEdit:
      return TypeText(ctrl, value, true);
    case Kind::CheckBox:
    case Kind::CustButton: {
      bool on = false;
      if (!ParseBool(value, on)) return Fail(err, "expected on or off: " + value);
      if (w->kind == Kind::CustButton && w->buttonType != CBT_CHECK)
        return Fail(err, "a push button has no state; press it");
      if ((w->check != 0) == on) return true;
      return Click(ctrl);
    }
    case Kind::RadioButton: {
      bool on = false;
      if (!ParseBool(value, on) || !on) return Fail(err, "a radio button can only be chosen (1)");
      return Click(ctrl);
    }
    case Kind::ListBox:
    case Kind::ComboBox: {
      int i = FindListItem(*w, value);
      if (i < 0) return Fail(err, "no such item: " + value);
      return SelectItem(ctrl, i);
    }
    case Kind::ListView: {
      int i = FindListItem(*w, value);
      if (i < 0) return Fail(err, "no such row: " + value);
      return ClickRow(ctrl, i);
    }
    case Kind::Slider: {
      int v = 0;
      if (!ParseInt(value, v)) return Fail(err, "not an integer: " + value);
      return SetSlider(ctrl, v);
    }
    case Kind::ColorSwatch: {
      int v = 0;
      if (!ParseInt(value, v)) return Fail(err, "not a colour: " + value);
      return PickColor(ctrl, COLORREF(v));
    }
    default:
      return Fail(err, std::string("cannot set a ") + KindName(w->kind));
  }
}

bool PressControl(HWND ctrl, std::string* err) {
  Window* w = Find(ctrl);
  if (!w) return Fail(err, "no such control");
  if (!w->enabled) return Fail(err, "control is disabled");
  if (!Click(ctrl)) return Fail(err, std::string("cannot press a ") + KindName(w->kind));
  return true;
}

std::string ReadControl(HWND ctrl) {
  Window* w = Find(ctrl);
  if (!w) return "";
  switch (w->kind) {
    case Kind::Spinner:
      return FormatSpinnerValue(*w);
    case Kind::CheckBox:
    case Kind::RadioButton:
      return std::to_string(w->check);
    case Kind::CustButton:
      if (!w->flyOff.empty()) return "flyout " + std::to_string(w->curFlyOff);
      return w->buttonType == CBT_CHECK ? std::to_string(w->check) : w->text;
    case Kind::ListBox:
      return (w->curSel >= 0 && w->curSel < int(w->items.size())) ? w->items[size_t(w->curSel)].text : "";
    case Kind::ComboBox:
      return (w->curSel >= 0 && w->curSel < int(w->items.size())) ? w->items[size_t(w->curSel)].text : w->text;
    case Kind::ProgressBar:
      return std::to_string(w->pos) + "/" + std::to_string(w->rangeMin) + ".." + std::to_string(w->rangeMax);
    case Kind::Slider:
      return std::to_string(w->pos);
    case Kind::ColorSwatch: {
      char buf[16];
      std::snprintf(buf, sizeof buf, "0x%06X", unsigned(w->color));
      return buf;
    }
    case Kind::ListView: {
      std::string s;
      for (size_t i = 0; i < w->rows.size(); ++i)
        if (w->rows[i].state & LVIS_SELECTED) s += (s.empty() ? "#" : ",#") + std::to_string(i);
      return s;
    }
    case Kind::Animation:
      return w->animPlaying ? "playing " + w->animSource : (w->animOpen ? "stopped " + w->animSource : "closed");
    default:
      return w->text;
  }
}

std::string DescribeDialog(HWND dlg) {
  Window* d = Find(dlg);
  if (!d) return "";
  std::ostringstream o;
  o << "dialog \"" << d->text << "\"";
  if (d->templateId >= 0) o << " #" << d->templateId;
  o << "\n";
  std::vector<HWND> stack(d->children.begin(), d->children.end());
  for (size_t k = 0; k < stack.size(); ++k) {
    Window* w = Find(stack[k]);
    if (!w) continue;
    if (w->kind == Kind::CustToolbar) {
      for (HWND c : w->children) stack.push_back(c);
      continue;
    }
    o << "  " << w->id << " " << KindName(w->kind) << (w->enabled ? "" : " (disabled)")
      << (w->visible ? "" : " (hidden)") << ": " << ReadControl(stack[k]);
    if (w->kind == Kind::ListBox || w->kind == Kind::ComboBox) {
      o << " [";
      for (size_t i = 0; i < w->items.size(); ++i) o << (i ? " | " : "") << w->items[i].text;
      o << "]";
    } else if (w->kind == Kind::ListView) {
      o << " [";
      for (size_t i = 0; i < w->rows.size(); ++i) {
        o << (i ? " | " : "");
        for (size_t c = 0; c < w->rows[i].cells.size(); ++c) o << (c ? ", " : "") << w->rows[i].cells[c];
      }
      o << "]";
    }
    if (w->tooltipOn) o << " tip \"" << w->tooltip << "\"";
    o << "\n";
  }
  return o.str();
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, have = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      have = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (have) out.push_back(cur);
      cur.clear();
      have = false;
    } else {
      cur += c;
      have = true;
    }
  }
  if (have) out.push_back(cur);
  return out;
}

bool RunUiCommand(const std::string& line, std::ostream& out, std::string* err) {
  std::vector<std::string> w = SplitCommandLine(line);
  if (w.empty()) return Fail(err, "empty command");
  UIInterface* ui = UI();
  const std::string& cmd = w[0];
  auto dialogArg = [&](size_t i, HWND& dlg) {
    dlg = FindDialog(Need(w, i));
    if (!dlg) return Fail(err, "no open dialog \"" + Need(w, i) + "\"");
    return true;
  };
  auto controlArg = [&](size_t i, HWND& ctrl) {
    HWND dlg = nullptr;
    if (!dialogArg(i, dlg)) return false;
    int id = 0;
    if (!ParseInt(Need(w, i + 1), id)) return Fail(err, "bad control id \"" + Need(w, i + 1) + "\"");
    ctrl = FindControl(dlg, id);
    if (!ctrl) return Fail(err, "no control " + std::to_string(id) + " in \"" + Need(w, i) + "\"");
    return true;
  };

  if (cmd == "open") {
    INode* n = NodeByName(Need(w, 1));
    if (!n || !n->GetObjectRef()) return Fail(err, "no node \"" + Need(w, 1) + "\"");
    ui->EndEditParams();
    ui->BeginEditParams(n->GetObjectRef());
    return true;
  }
  if (cmd == "close") {
    ui->EndEditParams();
    return true;
  }
  if (cmd == "dialogs") {
    for (HWND h : OpenDialogs()) {
      Window* d = Find(h);
      out << "\"" << d->text << "\"";
      if (d->templateId >= 0) out << " #" << d->templateId;
      out << (IsWindowVisible(h) ? "" : " (hidden)");
      for (const RollupPage& p : RollupPages())
        if (p.hwnd == h) out << (p.open ? " (rollout)" : " (rollout, closed)");
      out << "\n";
    }
    return true;
  }
  if (cmd == "watch") {
    // Dialogs of long runs close before the next script line: what each
    // showed last is printed as it closes.
    static std::vector<std::string> watched;
    watched.push_back(Need(w, 1));
    SetDialogCloseObserver([](HWND dlg) {
      Window* d = Find(dlg);
      if (!d) return;
      for (const std::string& key : watched) {
        int id = -1;
        const bool byId = key.size() > 1 && key[0] == '#' && ParseInt(key.substr(1), id);
        if ((byId && d->templateId == id) || strcasecmp(d->text.c_str(), key.c_str()) == 0) {
          std::string text = DescribeDialog(dlg);
          if (!text.empty() && text.back() == '\n') text.pop_back();
          vorel::host::EchoSeen("closed", text);
          return;
        }
      }
    });
    return true;
  }
  if (cmd == "show") {
    HWND dlg = nullptr;
    if (!dialogArg(1, dlg)) return false;
    out << DescribeDialog(dlg);
    return true;
  }
  if (cmd == "set") {
    HWND c = nullptr;
    if (!controlArg(1, c)) return false;
    if (w.size() < 4) return Fail(err, "set needs a value");
    return SetControl(c, w[3], err);
  }
  if (cmd == "press") {
    HWND c = nullptr;
    if (!controlArg(1, c)) return false;
    return PressControl(c, err);
  }
  if (cmd == "flyout") {
    HWND c = nullptr;
    int state = 0;
    if (!controlArg(1, c)) return false;
    if (!ParseInt(Need(w, 3), state) || !ChooseFlyOff(c, state)) return Fail(err, "no such flyout state");
    return true;
  }
  if (cmd == "read") {
    HWND c = nullptr;
    if (!controlArg(1, c)) return false;
    out << ReadControl(c) << "\n";
    return true;
  }
  if (cmd == "tooltip") {
    HWND dlg = nullptr;
    int id = 0;
    if (!dialogArg(1, dlg) || !ParseInt(Need(w, 2), id)) return Fail(err, "tooltip needs a dialog and an id");
    HWND c = FindControl(dlg, id);
    std::string tip = c ? ControlTooltip(c) : std::string();
    if (tip.empty()) tip = RequestTooltip(dlg, id);
    out << tip << "\n";
    return true;
  }
  if (cmd == "command") {
    HWND dlg = nullptr;
    int id = 0;
    if (!dialogArg(1, dlg) || !ParseInt(Need(w, 2), id)) return Fail(err, "command needs a dialog and an id");
    return SendDialogCommand(dlg, id) || Fail(err, "command refused");
  }
  if (cmd == "pick") {
    INode* n = NodeByName(Need(w, 1));
    if (!n) return Fail(err, "no node \"" + Need(w, 1) + "\"");
    if (!ui->GetCurPickMode()) return Fail(err, "no pick mode is active");
    return ScriptPickNode(n) || Fail(err, "the pick mode refused \"" + Need(w, 1) + "\"");
  }
  if (cmd == "rightclick") return ScriptRightClick() || Fail(err, "no pick mode is active");
  if (cmd == "modal-answer") {
    int id = -1;
    if (Need(w, 1) != "any" && !ParseInt(Need(w, 1), id)) return Fail(err, "modal-answer needs a dialog id or any");
    // The steps follow the id: "set <ctrl> <value>", "press <ctrl>", "command <id>", split by ';'.
    size_t at = line.find(Need(w, 1), line.find("modal-answer") + 12) + Need(w, 1).size();
    std::vector<std::vector<std::string>> steps;
    std::stringstream ss(line.substr(at));
    std::string part;
    while (std::getline(ss, part, ';')) {
      std::vector<std::string> step = SplitCommandLine(part);
      if (step.empty()) continue;
      int ctrl = 0;
      bool ok = (step[0] == "set" && step.size() == 3 && ParseInt(step[1], ctrl)) ||
                ((step[0] == "press" || step[0] == "command") && step.size() == 2 && ParseInt(step[1], ctrl));
      if (!ok) return Fail(err, "bad modal-answer step \"" + part + "\"");
      steps.push_back(step);
    }
    QueueModalAnswer(id, [steps](HWND dlg) {
      for (const auto& step : steps) {
        if (!IsWindow(dlg)) return;
        int ctrl = std::atoi(step[1].c_str());
        if (step[0] == "command") SendDialogCommand(dlg, ctrl);
        else if (step[0] == "press") PressControl(FindControl(dlg, ctrl));
        else SetControl(FindControl(dlg, ctrl), step[2]);
      }
    });
    return true;
  }
  if (cmd == "select-answer") {
    std::vector<std::string> names(w.begin() + 1, w.end());
    QueueHitByNameAnswer(names);
    return true;
  }
  if (cmd == "select-cancel") {
    QueueHitByNameCancel();
    return true;
  }
  if (cmd == "file-answer") {
    int filter = 0;
    if (w.size() > 2) ParseInt(w[2], filter);
    QueueFileAnswer(Need(w, 1), filter);
    return true;
  }
  if (cmd == "file-cancel") {
    QueueFileCancel();
    return true;
  }
  if (cmd == "dir-answer") {
    QueueDirectoryAnswer(Need(w, 1));
    return true;
  }
  if (cmd == "dir-cancel") {
    QueueDirectoryCancel();
    return true;
  }
  if (cmd == "action") {
    std::string name = line.substr(line.find("action") + 6);
    while (!name.empty() && (name[0] == ' ' || name[0] == '\t')) name.erase(0, 1);
    if (!name.empty() && name.front() == '"' && name.back() == '"' && name.size() > 1)
      name = name.substr(1, name.size() - 2);
    return ui->RunActionByName(name) || Fail(err, "no action \"" + name + "\"");
  }
  if (cmd == "menu") {
    return ui->GetMenuManager()->RunMenuPath(Need(w, 1)) || Fail(err, "no menu item \"" + Need(w, 1) + "\"");
  }
  if (cmd == "create") {
    ClassDesc* cd = ClassDirectory::Get().FindClassByName(Need(w, 1));
    if (!cd) return Fail(err, "no class \"" + Need(w, 1) + "\"");
    std::vector<IPoint2> clicks;
    for (size_t i = 2; i < w.size(); ++i) {
      IPoint2 p;
      if (std::sscanf(w[i].c_str(), "%d,%d", &p.x, &p.y) != 2) return Fail(err, "bad point \"" + w[i] + "\"");
      clicks.push_back(p);
    }
    INode* n = ScriptCreate(cd, clicks);
    if (!n) return Fail(err, "nothing was created");
    out << n->GetName() << "\n";
    return true;
  }
  if (cmd == "pump") {
    out << PumpMessages() << " messages\n";
    return true;
  }
  if (cmd == "timers") {
    int ms = 0;
    if (!ParseInt(Need(w, 1), ms) || ms < 0) return Fail(err, "timers needs milliseconds");
    AdvanceTimers(unsigned(ms));
    PumpMessages();
    return true;
  }
  if (cmd == "redraw") {
    ui->RedrawViews(ui->GetTime());
    out << ActiveViewport()->getGW()->Records().size() << " drawn\n";
    return true;
  }
  return Fail(err, "unknown ui command \"" + cmd + "\"");
}

}  // namespace vorel_ui
