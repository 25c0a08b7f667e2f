// The force fields' "Supports Objects of Type" rollout: a closed page in the
// modify panel whose procedure only hands mouse messages to the host, so the
// panel can be scrolled by dragging it.
#pragma once
#include "host/ui/ui.h"

constexpr int kSupportsObjectsDialog = 215;

// On the initialising message keeps its creation parameter (the host
// interface the force field received in BeginEditParams) as the window's
// user data and answers TRUE. Mouse moves and left-button downs and ups
// (0x200..0x202) go to that interface's RollupMouseMessage when it is set.
// FALSE for everything but the initialising message.
INT_PTR CALLBACK SupportsObjectsDlgProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Registers the rollout's dialog template under the plug-in's instance.
void RegisterSupportsObjectsDialog(HINSTANCE instance);
