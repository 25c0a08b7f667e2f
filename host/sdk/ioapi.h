// Scene files are trees of chunks: a chunk is a 16-bit id, a 32-bit length
// and either data or further chunks. Objects write their own chunks through
// ISave and read them back through ILoad, in any order.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/sdk/ref.h"

class ILoad;

// Work that needs the whole scene loaded (nodes and blocks resolved). The
// host calls proc once, in ascending priority (0 first, 5 by default), and
// the callback deletes itself in proc when it was allocated for the load.
class PostLoadCallback {
 public:
  virtual ~PostLoadCallback() = default;
  virtual void proc(ILoad* iload) = 0;
  virtual int Priority() { return 5; }
};

// Calls (object->*member)() once the scene is whole, unless the object was
// deleted by then; allocated for the load, it deletes itself.
template <class T>
class MemberPostLoadCallback : public PostLoadCallback {
 public:
  MemberPostLoadCallback(T* object, void (T::*member)()) : object_(object), member_(member) {}
  void proc(ILoad*) override {
    if (Animatable::IsAlive(object_)) (object_->*member_)();
    delete this;
  }

 private:
  T* object_;
  void (T::*member_)();
};

class ParamBlockDesc2;
// Updates blocks saved by older versions of a class. Saved blocks carry
// every parameter by id, so there is nothing to convert: it deletes itself.
class ParamBlock2PLCB : public PostLoadCallback {
 public:
  ParamBlock2PLCB(const void* versions, int count, ParamBlockDesc2* curdesc, ReferenceTarget* targ,
                  int refNumber)
      : desc(curdesc), target(targ), ref(refNumber) {
    (void)versions; (void)count;
  }
  void proc(ILoad* iload) override {
    (void)iload;
    delete this;
  }
  int Priority() override { return 0; }
  ParamBlockDesc2* desc;
  ReferenceTarget* target;
  int ref;
};

class ISave {
 public:
  ISave() = default;
  virtual ~ISave() = default;
  void BeginChunk(uint16_t id);
  void EndChunk();
  IOResult Write(const void* buf, uint32_t nbytes, uint32_t* nwrit = nullptr);
  IOResult WriteCString(const char* s);  // with its terminating zero
  int CurChunkDepth() const { return int(open_.size()); }
  // Handle of a target in this save (the host saves references by number);
  // -1 when the target is not part of the scene.
  virtual int GetRefID(ReferenceTarget* rt) { (void)rt; return -1; }
  const std::vector<uint8_t>& Bytes() const { return buf_; }
  bool Balanced() const { return open_.empty(); }

 private:
  std::vector<uint8_t> buf_;
  std::vector<size_t> open_;  // offsets of the open chunk headers
};

class ILoad {
 public:
  // Reads the chunks of a byte range; the structure is checked first, so a
  // truncated or inconsistent tree fails before any object sees it.
  explicit ILoad(std::vector<uint8_t> bytes);
  // A loader over one chunk's payload of root's bytes; post-load callbacks
  // and reference lookups go to root.
  ILoad(ILoad* root, size_t begin, size_t end);
  virtual ~ILoad() = default;
  bool StructureValid() const { return valid_; }

  // Opens the next chunk at the current level: IO_OK, IO_END when there is
  // none, IO_ERROR when the current chunk holds data rather than chunks.
  IOResult OpenChunk();
  uint16_t CurChunkID() const;
  uint32_t CurChunkLength() const;  // payload bytes of the open chunk
  uint16_t PeekNextChunkID();
  IOResult CloseChunk();
  // Reads from the open chunk: IO_OK when all nbytes came, IO_ERROR when the
  // chunk ended first (nread tells how many did).
  IOResult Read(void* buf, uint32_t nbytes, uint32_t* nread = nullptr);
  IOResult ReadCStringChunk(std::string& s);  // the rest of the chunk as text
  virtual void RegisterPostLoadCallback(PostLoadCallback* cb, int priority = -1);
  const std::vector<std::pair<int, PostLoadCallback*>>& PostLoadCallbacks() const { return plcbs_; }
  // Why a reader refused its data (kept by the root loader, so the host can
  // say it); empty when nobody said.
  void SetRefusal(const std::string& why);
  const std::string& Refusal() const { return root_ ? root_->Refusal() : refusal_; }
  // The target saved under this number (host references); null if unknown.
  virtual ReferenceTarget* GetRefTarget(int id) { return root_ ? root_->GetRefTarget(id) : nullptr; }
  int CurChunkDepth() const { return int(frames_.size()) - 1; }
  // Byte range of the open chunk's payload in the file (for sub-loaders).
  size_t CurChunkBegin() const { return frames_.back().begin; }
  size_t CurChunkEnd() const { return frames_.back().end; }

 private:
  struct Frame {
    size_t begin, end;  // payload range
    size_t pos;         // next child header or data cursor
    bool container;
    uint16_t id;
  };
  static bool CheckRange(const std::vector<uint8_t>& b, size_t begin, size_t end, int depth);
  std::shared_ptr<const std::vector<uint8_t>> bytes_;
  ILoad* root_ = nullptr;
  std::vector<Frame> frames_;
  std::vector<std::pair<int, PostLoadCallback*>> plcbs_;
  bool valid_ = false;
  std::string refusal_;
};

// Chunk files open with an 8-byte magic and a 32-bit version, then the
// chunks. True when `file` starts with `magic` and `version`; otherwise
// false with err "<path> is not <kind>" or "<path>: unsupported <name>
// version <v>" (kind: "a Vorel scene file", name: "scene file").
bool CheckChunkFileHeader(const std::vector<uint8_t>& file, const char (&magic)[8], uint32_t version,
                          const std::string& path, const std::string& kind, const std::string& name,
                          std::string& err);

// Test hook: from now on the n-th ILoad::Read (1 = the next one) and every
// later one fails; 0 switches the failure off.
void SetLoadReadFailure(int nth);
int LoadReadFailureArmed();
