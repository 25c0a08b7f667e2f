// Everything a plug-in needs of the headless user interface in one include:
// windows and dialogs, the standard and custom controls, parameter maps and
// rollouts, actions, menus, toolbars, pick modes and file dialogs, and the
// viewport.
#pragma once
#include "host/ui/actions.h"
#include "host/ui/creation.h"
#include "host/ui/cui.h"
#include "host/ui/custctrl.h"
#include "host/ui/menus.h"
#include "host/ui/parammap.h"
#include "host/ui/pick.h"
#include "host/ui/ui_host.h"
#include "host/ui/viewport.h"
#include "host/ui/win_types.h"
#include "host/ui/window.h"
