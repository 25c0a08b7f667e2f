// The menu manager: menus found by title, created, registered, and filled
// with items that run action items or open sub-menus. The manager owns every
// menu made through GetIMenu; a menu owns its items.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "host/ui/actions.h"

class IMenu;

class IMenuItem {
 public:
  void SetActionItem(ActionItem* a) { action_ = a; }
  ActionItem* GetActionItem() const { return action_; }
  void SetSubMenu(IMenu* m) { subMenu_ = m; }
  IMenu* GetSubMenu() const { return subMenu_; }
  void SetTitle(const std::string& t) { title_ = t; }
  // The item's own title, else the action's menu text, else the sub-menu's.
  std::string GetTitle() const;
  void ActAsSeparator() { separator_ = true; }
  bool IsSeparator() const { return separator_; }
  // Runs the action item; false for separators and sub-menu items.
  BOOL Execute();

 private:
  ActionItem* action_ = nullptr;
  IMenu* subMenu_ = nullptr;
  std::string title_;
  bool separator_ = false;
};

class IMenu {
 public:
  void SetTitle(const std::string& t) { title_ = t; }
  const std::string& GetTitle() const { return title_; }
  int NumItems() const { return int(items_.size()); }
  IMenuItem* GetItem(int i) const;
  // Inserts at pos (-1 or past the end: appends); the menu takes the item.
  void AddItem(IMenuItem* item, int pos = -1);
  void RemoveItem(int pos);
  void RemoveItem(IMenuItem* item);

 private:
  std::string title_;
  std::vector<std::unique_ptr<IMenuItem>> items_;
};

class IMenuManager {
 public:
  // A registered menu with this title (case-sensitive), or null.
  IMenu* FindMenu(const std::string& title) const;
  BOOL RegisterMenu(IMenu* menu, int flags = 0);
  BOOL UnRegisterMenu(IMenu* menu);
  int NumMenus() const { return int(registered_.size()); }
  IMenu* GetMenu(int i) const;
  // Follows "Title/Item/Sub-item" from a registered menu and runs the action
  // of the last item; false when a step is missing.
  BOOL RunMenuPath(const std::string& path);
  IMenu* MakeMenu();
  void Reset();

 private:
  std::vector<std::unique_ptr<IMenu>> all_;
  std::vector<IMenu*> registered_;
};

IMenuManager* GetMenuManager();
IMenu* GetIMenu();
IMenuItem* GetIMenuItem();
