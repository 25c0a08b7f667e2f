// The per-object collision settings of scene objects: the node accessors that
// find the per-object attribute ("Vorel CA") on a node's base object and read,
// write, add or remove it. The engine, the fluid system and the object manager
// all go through these; the attribute class itself is the plug-in's.
#pragma once
#include <functional>

#include "fluid_core/param_ids.h"
#include "host/sdk/max.h"

// The attribute's class id and the class name of its descriptor, by which
// the accessors recognise it (exactly, case-sensitive).
inline Class_ID ObjectParamsClassID() { return Class_ID(0x773149F6, 0x796A4273); }
constexpr const char* kObjectParamsClassName = "Vorel CA";
// Undo step names.
constexpr const char* kUndoAddObjectParams = "Add Custom Attribute";
constexpr const char* kUndoRemoveObjectParams = "Custom Attribute Removed";

// The object at the bottom of a node's modifier and space-warp stacks (the
// object a derived object modifies, repeatedly); null for a null node or a
// node without object.
Object* FindObjectParamsBase(INode* node);

// The node's attribute, or null. Like every accessor below it gives the base
// object an (empty) attribute container when it had none. Entries that are
// not ours, or that have no parameter block or descriptor, are skipped.
CustAttrib* FindObjectParams(INode* node);

// Reads collide, collisionGap, bounce, friction, adherence and partKiller at
// the host's current time. False, with every output as the caller set it,
// for a null node, a node without object or a node without the attribute.
bool GetObjectParams(INode* node, int& collide, float& collisionGap, float& bounce, float& friction,
                     float& adherence, bool& partKiller);

// Reads the wet-map settings at the host's current time; mapPrefix points
// into the block (valid while the attribute lives; null when unset). False,
// outputs untouched, as for GetObjectParams.
bool GetWetmapParams(INode* node, int& tracer, int& mapRes, const char*& mapPrefix, float& dryingTime);

// Whether the node's base object carries the attribute.
bool HasObjectParams(INode* node);

// Removes the attribute in one undo step "Custom Attribute Removed"; false
// (nothing done) when the node has none.
bool RemoveObjectParams(INode* node);

// Gives the node the attribute with these values, "MapPrefix" being the
// node's name. A node that has one gets its ten values overwritten at time 0,
// with no undo step and no wet map. Otherwise a new attribute is made (the
// plug-in's class, through the host) inside one undo step "Add Custom
// Attribute", and registerWetMap (may be empty) is asked to register a wet
// map for the node. False for a null node, a node without object, or when the
// attribute class is not registered with the host.
bool AddObjectParams(const std::function<void(INode*)>& registerWetMap, INode* node, int collide,
                     float collisionGap, float bounce, float friction, int tracer, int mapRes,
                     float dryingTime, float adherence, bool partKiller);

// Sets "collide" at time 0; false when the node has no attribute.
bool SetObjectCollide(INode* node, int collide);
