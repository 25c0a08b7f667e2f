// The eight classes of the Vorel plug-in in the order the host asks for them,
// and the plug-in's identity (what the library's entry points answer).
#pragma once
#include "host/sdk/iparamb2.h"

constexpr int kVorelClassCount = 8;
// The host SDK version word of release 14000 (API 38).
constexpr unsigned long kVorelLibVersion = 0x36B02600UL;

// Descriptor i (0..7): fluid system, emitter, per-object attribute,
// path-follow force, its modifier, object attractor, its modifier, ghost
// source. Null for any other index.
ClassDesc* VorelClassDesc(int i);

// The plug-in description: "Vorel pouring liquid system" and the maker.
const char* VorelLibDescription();

// Builds every descriptor with its parameter block, in the order the library
// builds them at load (attribute, attractor, emitter, ghost source, fluid
// system, path-follow force); fixes the position scale's base, installs the
// engine's per-object settings accessor and registers the plug-in's dialogs
// (progress and notices, the attribute's rollout, "Supports Objects of Type").
void BuildVorelClasses();
