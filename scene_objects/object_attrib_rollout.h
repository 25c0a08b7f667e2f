// The per-object attribute's rollout dialog ("Vorel parameters"): the
// controls its parameter block binds.
#pragma once
#include "host/core/win32.h"

// Registers the rollout's dialog template under the plug-in's instance.
void RegisterObjectAttribDialog(HINSTANCE instance);
