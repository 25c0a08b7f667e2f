// Shared set-up of the UI tests: a fresh headless user interface.
#pragma once
#include "host/ui/actions.h"
#include "host/ui/cui.h"
#include "host/ui/menus.h"
#include "host/ui/window.h"

inline void ResetForTest() {
  vorel_ui::ResetWindows();
  vorel_ui::ResetCUI();
  GetActionManager()->Reset();
  GetMenuManager()->Reset();
}
