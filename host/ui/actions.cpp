#include "host/ui/actions.h"

#include <algorithm>
#include <strings.h>

#include "host/ui/ui_host.h"

ActionItem::ActionItem(int id, std::string description, std::string shortName,
                       std::string category)
    : id_(id), description_(std::move(description)), shortName_(std::move(shortName)),
      category_(std::move(category)) {}

BOOL ActionItem::ExecuteAction() {
  if (!table_ || !table_->GetCallback()) return FALSE;
  return table_->GetCallback()->ExecuteAction(id_);
}

namespace {
std::string Resolve(const ActionTable::StringSource& s, int id) {
  if (s) {
    std::string t = s(id);
    if (!t.empty()) return t;
  }
  return "#" + std::to_string(id);
}
}  // namespace

ActionTable::ActionTable(ActionTableId id, ActionContextId context, const std::string& name,
                         int accelTableId, int numIds, const ActionDescription* descs,
                         HINSTANCE, StringSource strings)
    : id_(id), context_(context), name_(name), accelTableId_(accelTableId) {
  for (int i = 0; i < numIds && descs; ++i) {
    const ActionDescription& d = descs[i];
    AppendOperation(new ActionItem(d.mCmdID, Resolve(strings, d.mDescriptionResourceID),
                                   Resolve(strings, d.mShortNameResourceID),
                                   Resolve(strings, d.mCategoryResourceID)));
  }
}

ActionTable::ActionTable(ActionTableId id, ActionContextId context, const std::string& name)
    : id_(id), context_(context), name_(name) {}

ActionTable::~ActionTable() = default;

ActionItem* ActionTable::operator[](int i) const {
  return (i >= 0 && i < Count()) ? items_[size_t(i)].get() : nullptr;
}

ActionItem* ActionTable::GetAction(int cmdId) const {
  for (const auto& it : items_)
    if (it->GetId() == cmdId) return it.get();
  return nullptr;
}

void ActionTable::AppendOperation(ActionItem* item) {
  if (!item) return;
  item->table_ = this;
  items_.emplace_back(item);
}

BOOL ActionTable::DeleteOperation(ActionItem* item) {
  auto it = std::find_if(items_.begin(), items_.end(),
                         [&](const std::unique_ptr<ActionItem>& p) { return p.get() == item; });
  if (it == items_.end()) return FALSE;
  items_.erase(it);
  return TRUE;
}

BOOL IActionManager::RegisterActionTable(ActionTable* table) {
  if (!table) return FALSE;
  for (auto& t : tables_)
    if (t.get() == table) return TRUE;
  tables_.erase(std::remove_if(tables_.begin(), tables_.end(),
                               [&](const std::unique_ptr<ActionTable>& t) {
                                 return t->GetId() == table->GetId();
                               }),
                tables_.end());
  tables_.emplace_back(table);
  for (auto it = pending_.begin(); it != pending_.end();) {
    if (it->first == table->GetId()) {
      table->callback_ = it->second;
      it = pending_.erase(it);
    } else {
      ++it;
    }
  }
  return TRUE;
}

BOOL IActionManager::RegisterActionContext(ActionContextId id, const char* name) {
  if (IsContextRegistered(id)) return FALSE;
  contexts_.emplace_back(id, name ? name : "");
  return TRUE;
}

BOOL IActionManager::IsContextRegistered(ActionContextId id) const {
  return std::any_of(contexts_.begin(), contexts_.end(),
                     [&](const auto& c) { return c.first == id; });
}

BOOL IActionManager::ActivateActionTable(ActionCallback* cb, ActionTableId id) {
  if (ActionTable* t = FindTable(id)) {
    t->callback_ = cb;
    return TRUE;
  }
  for (auto& p : pending_)
    if (p.first == id) {
      p.second = cb;
      return FALSE;
    }
  pending_.emplace_back(id, cb);
  return FALSE;
}

BOOL IActionManager::DeactivateActionTable(ActionCallback* cb, ActionTableId id) {
  pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                [&](const auto& p) { return p.first == id && p.second == cb; }),
                 pending_.end());
  ActionTable* t = FindTable(id);
  if (!t || t->callback_ != cb) return FALSE;
  t->callback_ = nullptr;
  return TRUE;
}

ActionTable* IActionManager::FindTable(ActionTableId id) const {
  // Tables of class descriptors registered since the last look.
  vorel_ui::SyncClassActionTables();
  for (const auto& t : tables_)
    if (t->GetId() == id) return t.get();
  return nullptr;
}

ActionTable* IActionManager::GetTable(int i) const {
  return (i >= 0 && i < NumActionTables()) ? tables_[size_t(i)].get() : nullptr;
}

BOOL IActionManager::ExecuteAction(ActionTableId table, int cmdId) {
  ActionTable* t = FindTable(table);
  ActionItem* item = t ? t->GetAction(cmdId) : nullptr;
  return item ? item->ExecuteAction() : FALSE;
}

ActionItem* IActionManager::FindActionByName(const std::string& name) const {
  for (const auto& t : tables_)
    for (int i = 0; i < t->Count(); ++i) {
      ActionItem* a = (*t)[i];
      if (strcasecmp(a->GetMenuText().c_str(), name.c_str()) == 0 ||
          strcasecmp(a->GetDescription().c_str(), name.c_str()) == 0)
        return a;
    }
  return nullptr;
}

BOOL IActionManager::PressShortcut(int key, int modifiers) {
  for (const auto& t : tables_)
    for (const ActionAccelerator& a : t->GetAccelerators())
      if (a.key == key && a.modifiers == modifiers) {
        // Accelerators may hold the unsigned reading of a negative command id.
        ActionItem* item = t->GetAction(a.cmdId);
        if (!item) item = t->GetAction(int(int16_t(a.cmdId)));
        if (item) return item->ExecuteAction();
      }
  return FALSE;
}

void IActionManager::Reset() {
  tables_.clear();
  contexts_.clear();
  pending_.clear();
}

IActionManager* GetActionManager() {
  static IActionManager m;
  return &m;
}
