// Undo records: changes made between Begin and Accept form one named step
// that Undo reverts. Recorded names let tests check which steps were made.
#pragma once
#include <string>
#include <vector>

class RestoreObj {
 public:
  virtual ~RestoreObj() = default;
  virtual void Restore(int isUndo) = 0;
  virtual void Redo() = 0;
  virtual const char* Description() { return ""; }
};

class Hold {
 public:
  ~Hold();
  void Begin();
  // Closes the outermost Begin as one step named name (nested Begins nest).
  void Accept(const char* name);
  // Drops the open step, restoring what it recorded.
  void Cancel();
  bool Holding() const { return depth_ > 0 && suspend_ == 0; }
  // Records a restore object while holding; otherwise deletes it.
  void Put(RestoreObj* rob);
  void Suspend() { ++suspend_; }
  void Resume() { if (suspend_ > 0) --suspend_; }
  bool IsSuspended() const { return suspend_ > 0; }
  // Reverts the last accepted step; false when there is none.
  bool Undo();
  const std::vector<std::string>& AcceptedNames() const { return names_; }
  int NumSteps() const { return int(steps_.size()); }
  // Forgets every step (scene reset).
  void Reset();

 private:
  struct Step {
    std::string name;
    std::vector<RestoreObj*> recs;
  };
  int depth_ = 0;
  int suspend_ = 0;
  std::vector<RestoreObj*> open_;
  std::vector<Step> steps_;
  std::vector<std::string> names_;
};

extern Hold theHold;
