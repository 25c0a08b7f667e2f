// What other plug-ins may call on a Pelliqor particle wrapper: its class id
// and its function-published node interface. The main plug-in creates a
// wrapper through the host by class id and calls addNode straight through
// the interface pointer, so the order of the seven operations below is a
// binary contract between separately built libraries: never reorder them.
#pragma once
#include "host/sdk/ifnpub.h"
#include "host/sdk/inode.h"

inline Class_ID PELLIQOR_CLASS_ID() { return Class_ID(0x5944D962, 0x369BB1C6); }
inline Interface_ID BLOBNODE_INTERFACE_ID() { return Interface_ID(0xDE17A66A, 0x8A41E45D); }

class IBlobNode : public FPMixinInterface {
 public:
  // Function ids of the published table, in declaration order.
  enum : FunctionID {
    kAddNode = 0,
    kRemoveNode = 1,
    kAddPFnode = 2,
    kRemovePFnode = 3,
    kPick = 4,
    kAdd = 5,
    kAddPF = 6,
  };
  // A null node or one already listed changes nothing; otherwise the node
  // joins the wrapper's particle nodes as one undo step.
  virtual void addNode(INode* node) = 0;
  virtual void removeNode(INode* node) = 0;
  // The same on the list of chosen Particle Flow events.
  virtual void addPFnode(INode* node) = 0;
  virtual void removePFnode(INode* node) = 0;
  // Viewport pick mode, select-by-name dialog, event dialog.
  virtual void pick() = 0;
  virtual void add() = 0;
  virtual void addPF() = 0;
};

// The wrapper's interface of an object made by the host, or null (another
// class, or the wrapper plug-in is missing). Only the wrapper answers this
// interface id, and it answers with its IBlobNode part; a static cast keeps
// the call free of run-time type data, which separately loaded libraries do
// not share.
inline IBlobNode* GetBlobNodeInterface(Animatable* obj) {
  return obj ? static_cast<IBlobNode*>(obj->GetInterface(BLOBNODE_INTERFACE_ID())) : nullptr;
}
