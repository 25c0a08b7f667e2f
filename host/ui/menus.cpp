#include "host/ui/menus.h"

#include <algorithm>
#include <sstream>

std::string IMenuItem::GetTitle() const {
  if (!title_.empty()) return title_;
  if (action_) return action_->GetMenuText();
  if (subMenu_) return subMenu_->GetTitle();
  return std::string();
}

BOOL IMenuItem::Execute() {
  if (separator_ || !action_) return FALSE;
  return action_->ExecuteAction();
}

IMenuItem* IMenu::GetItem(int i) const {
  return (i >= 0 && i < NumItems()) ? items_[size_t(i)].get() : nullptr;
}

void IMenu::AddItem(IMenuItem* item, int pos) {
  if (!item) return;
  if (pos < 0 || pos > NumItems()) pos = NumItems();
  items_.insert(items_.begin() + pos, std::unique_ptr<IMenuItem>(item));
}

void IMenu::RemoveItem(int pos) {
  if (pos >= 0 && pos < NumItems()) items_.erase(items_.begin() + pos);
}

void IMenu::RemoveItem(IMenuItem* item) {
  items_.erase(std::remove_if(items_.begin(), items_.end(),
                              [&](const std::unique_ptr<IMenuItem>& p) { return p.get() == item; }),
               items_.end());
}

IMenu* IMenuManager::FindMenu(const std::string& title) const {
  for (IMenu* m : registered_)
    if (m->GetTitle() == title) return m;
  return nullptr;
}

BOOL IMenuManager::RegisterMenu(IMenu* menu, int) {
  if (!menu) return FALSE;
  if (std::find(registered_.begin(), registered_.end(), menu) != registered_.end()) return FALSE;
  // A menu made elsewhere becomes the manager's too.
  bool owned = std::any_of(all_.begin(), all_.end(),
                           [&](const std::unique_ptr<IMenu>& p) { return p.get() == menu; });
  if (!owned) all_.emplace_back(menu);
  registered_.push_back(menu);
  return TRUE;
}

BOOL IMenuManager::UnRegisterMenu(IMenu* menu) {
  auto it = std::find(registered_.begin(), registered_.end(), menu);
  if (it == registered_.end()) return FALSE;
  registered_.erase(it);
  return TRUE;
}

IMenu* IMenuManager::GetMenu(int i) const {
  return (i >= 0 && i < NumMenus()) ? registered_[size_t(i)] : nullptr;
}

BOOL IMenuManager::RunMenuPath(const std::string& path) {
  std::vector<std::string> parts;
  std::stringstream ss(path);
  std::string p;
  while (std::getline(ss, p, '/')) parts.push_back(p);
  if (parts.size() < 2) return FALSE;
  IMenu* menu = FindMenu(parts[0]);
  // A title may hold a '/' itself ("Start/Stop ..."): at each level the
  // longest run of parts that names an item wins.
  for (size_t k = 1; menu && k < parts.size();) {
    IMenuItem* hit = nullptr;
    size_t next = k;
    for (size_t end = parts.size(); end > k && !hit; --end) {
      std::string title = parts[k];
      for (size_t j = k + 1; j < end; ++j) title += "/" + parts[j];
      for (int i = 0; i < menu->NumItems(); ++i)
        if (!menu->GetItem(i)->IsSeparator() && menu->GetItem(i)->GetTitle() == title) {
          hit = menu->GetItem(i);
          next = end;
          break;
        }
    }
    if (!hit) return FALSE;
    if (next == parts.size()) return hit->Execute();
    menu = hit->GetSubMenu();
    k = next;
  }
  return FALSE;
}

IMenu* IMenuManager::MakeMenu() {
  all_.emplace_back(new IMenu);
  return all_.back().get();
}

void IMenuManager::Reset() {
  registered_.clear();
  all_.clear();
}

IMenuManager* GetMenuManager() {
  static IMenuManager m;
  return &m;
}

IMenu* GetIMenu() { return GetMenuManager()->MakeMenu(); }
IMenuItem* GetIMenuItem() { return new IMenuItem; }
