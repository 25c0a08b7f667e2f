// Creation by mouse in a viewport, and the edit-params flags. A script
// creates an object of a class by a sequence of clicks: the object's
// creation callback sees the messages a person's presses and drags send.
#pragma once
#include <vector>

#include "host/sdk/interface.h"
#include "host/ui/viewport.h"

// Flags of BeginEditParams / EndEditParams.
enum : uint32_t { BEGIN_EDIT_CREATE = 1 << 0, BEGIN_EDIT_MOTION = 1 << 1, END_EDIT_REMOVEUI = 1 << 0 };

// Mouse messages of a creation callback.
enum : int {
  MOUSE_ABORT = 0,
  MOUSE_POINT = 1,
  MOUSE_MOVE = 2,
  MOUSE_DBLCLICK = 3,
  MOUSE_INIT = 4,
  MOUSE_UNINIT = 5,
  MOUSE_FREEMOVE = 6,
  MOUSE_KEYBOARD = 7,
  MOUSE_PROPCLICK = 8,
  MOUSE_SNAPCLICK = 9,
};
// Results of a creation callback.
enum : int { CREATE_CONTINUE = 1, CREATE_STOP = 0, CREATE_ABORT = -1 };

class CreateMouseCallBack {
 public:
  virtual ~CreateMouseCallBack() = default;
  // point: the index of the click in the creation; m: the screen point;
  // mat: the new node's transform, which the callback places.
  virtual int proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) = 0;
  virtual int override(int mode) { return mode; }
  virtual BOOL StartNewCreation() { return TRUE; }
  virtual BOOL TolerateOrthoMode() { return FALSE; }
};

// Draws polylines for an object (through the viewport's graphics window).
class PolyLineProc {
 public:
  virtual ~PolyLineProc() = default;
  virtual int proc(Point3* p, int n) = 0;
  virtual void SetLineColor(float r, float g, float b) { (void)r; (void)g; (void)b; }
  virtual void SetLineColor(const Point3& c) { SetLineColor(c.x, c.y, c.z); }
  virtual void Marker(Point3* p, MarkerType type) { (void)p; (void)type; }
};

namespace vorel_ui {

// Creates an object of the class by clicks at the given screen points: the
// descriptor's BeginCreate (a descriptor that answers 1 handled creation
// itself: null is returned), a new object with its automatic blocks and a
// node, then per click k a drag (MOUSE_MOVE, from the second click on) and a
// press (MOUSE_POINT) to the callback until it stops or aborts. A callback
// still asking for points when the clicks run out, or one that aborts,
// loses its node and object. The new node's transform is what the callback
// placed; an object without a callback stands at the first click's point on
// the construction plane. EndCreate ends it. A free move before the first
// click shows the snap preview (MOUSE_FREEMOVE).
INode* ScriptCreate(ClassDesc* cd, const std::vector<IPoint2>& clicks);

}  // namespace vorel_ui
