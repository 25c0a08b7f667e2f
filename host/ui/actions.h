// Action tables and the action manager. A plug-in describes its commands in
// an ActionTable (table id, context id, name, one item per command id with
// its texts and accelerator); the manager owns registered tables and runs an
// item through the ActionCallback the plug-in activated for the table.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/ui/win_types.h"

typedef DWORD ActionTableId;
typedef DWORD ActionContextId;

class ActionTable;

// Row of a plug-in's action description list: the texts are string resource
// ids of the plug-in (resolved through the table's string source).
struct ActionDescription {
  int mCmdID = 0;
  int mDescriptionResourceID = 0;
  int mShortNameResourceID = 0;
  int mCategoryResourceID = 0;
};

// Modifier bits of an accelerator.
enum : int { ACCEL_SHIFT = 0x04, ACCEL_CONTROL = 0x08, ACCEL_ALT = 0x10 };

struct ActionAccelerator {
  int key = 0;        // virtual-key code
  int modifiers = 0;  // ACCEL_* bits
  int cmdId = 0;
};

class ActionCallback {
 public:
  virtual ~ActionCallback() = default;
  virtual BOOL ExecuteAction(int id) = 0;
};

class ActionItem {
 public:
  ActionItem(int id, std::string description, std::string shortName, std::string category);
  virtual ~ActionItem() = default;
  int GetId() const { return id_; }
  const std::string& GetDescription() const { return description_; }
  const std::string& GetButtonText() const { return shortName_; }
  const std::string& GetMenuText() const { return shortName_; }
  const std::string& GetCategoryText() const { return category_; }
  ActionTable* GetTable() const { return table_; }
  // Runs the command through the callback activated for the item's table;
  // false when no callback is active.
  virtual BOOL ExecuteAction();

 private:
  friend class ActionTable;
  int id_;
  std::string description_, shortName_, category_;
  ActionTable* table_ = nullptr;
};

class ActionTable {
 public:
  using StringSource = std::function<std::string(int)>;
  // Items from a description list; texts through strings (a missing string
  // source or id gives "#<id>").
  ActionTable(ActionTableId id, ActionContextId context, const std::string& name,
              int accelTableId, int numIds, const ActionDescription* descs, HINSTANCE inst,
              StringSource strings = nullptr);
  ActionTable(ActionTableId id, ActionContextId context, const std::string& name);
  virtual ~ActionTable();

  ActionTableId GetId() const { return id_; }
  ActionContextId GetContextId() const { return context_; }
  const std::string& GetName() const { return name_; }
  int GetAcceleratorTableId() const { return accelTableId_; }
  int Count() const { return int(items_.size()); }
  ActionItem* operator[](int i) const;
  // The item of a command id (negative ids allowed), or null.
  ActionItem* GetAction(int cmdId) const;
  void AppendOperation(ActionItem* item);  // the table takes the item
  BOOL DeleteOperation(ActionItem* item);
  void SetAccelerators(std::vector<ActionAccelerator> keys) { accels_ = std::move(keys); }
  const std::vector<ActionAccelerator>& GetAccelerators() const { return accels_; }
  ActionCallback* GetCallback() const { return callback_; }

 private:
  friend class IActionManager;
  ActionTableId id_;
  ActionContextId context_;
  std::string name_;
  int accelTableId_ = 0;
  std::vector<std::unique_ptr<ActionItem>> items_;
  std::vector<ActionAccelerator> accels_;
  ActionCallback* callback_ = nullptr;
};

class IActionManager {
 public:
  // The manager takes ownership of the table; a second table with the same
  // id replaces the first. A callback activated before the table arrived is
  // attached to it now.
  BOOL RegisterActionTable(ActionTable* table);
  BOOL RegisterActionContext(ActionContextId id, const char* name);
  BOOL IsContextRegistered(ActionContextId id) const;
  // Binds the callback to the table. Headless plug-ins may activate before
  // their class descriptors handed the table over: the binding is then kept
  // and applied on registration, and FALSE is returned.
  BOOL ActivateActionTable(ActionCallback* cb, ActionTableId id);
  BOOL DeactivateActionTable(ActionCallback* cb, ActionTableId id);
  ActionTable* FindTable(ActionTableId id) const;
  int NumActionTables() const { return int(tables_.size()); }
  ActionTable* GetTable(int i) const;
  // Runs a command of a table through its active callback.
  BOOL ExecuteAction(ActionTableId table, int cmdId);
  // Finds an item by its menu text or description (case-insensitive) in any
  // table; null when none.
  ActionItem* FindActionByName(const std::string& name) const;
  // Runs the command bound to a key with modifiers, as the keyboard would.
  BOOL PressShortcut(int key, int modifiers);
  void Reset();

 private:
  std::vector<std::unique_ptr<ActionTable>> tables_;
  std::vector<std::pair<ActionContextId, std::string>> contexts_;
  std::vector<std::pair<ActionTableId, ActionCallback*>> pending_;
};

IActionManager* GetActionManager();
