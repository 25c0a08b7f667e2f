// Shared set-up of the UI tests: a fresh headless user interface.
#pragma once
#include "host/ui/ui_host.h"

inline void ResetForTest() { vorel_ui::ResetUI(); }
