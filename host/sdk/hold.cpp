#include "host/sdk/hold.h"

Hold theHold;

Hold::~Hold() { Reset(); }

void Hold::Begin() {
  if (suspend_ > 0) return;
  ++depth_;
}

void Hold::Accept(const char* name) {
  if (suspend_ > 0 || depth_ == 0) return;
  if (--depth_ > 0) return;
  Step s;
  s.name = name ? name : "";
  s.recs.swap(open_);
  steps_.push_back(std::move(s));
  names_.push_back(steps_.back().name);
}

void Hold::Cancel() {
  if (suspend_ > 0 || depth_ == 0) return;
  depth_ = 0;
  std::vector<RestoreObj*> recs;
  recs.swap(open_);
  ++suspend_;
  for (auto it = recs.rbegin(); it != recs.rend(); ++it) (*it)->Restore(0);
  --suspend_;
  for (RestoreObj* r : recs) delete r;
}

void Hold::Put(RestoreObj* rob) {
  if (!rob) return;
  if (!Holding()) {
    delete rob;
    return;
  }
  open_.push_back(rob);
}

bool Hold::Undo() {
  if (steps_.empty() || depth_ > 0) return false;
  Step s = std::move(steps_.back());
  steps_.pop_back();
  ++suspend_;
  for (auto it = s.recs.rbegin(); it != s.recs.rend(); ++it) (*it)->Restore(1);
  --suspend_;
  for (RestoreObj* r : s.recs) delete r;
  return true;
}

void Hold::Reset() {
  for (Step& s : steps_)
    for (RestoreObj* r : s.recs) delete r;
  steps_.clear();
  for (RestoreObj* r : open_) delete r;
  open_.clear();
  depth_ = 0;
}
