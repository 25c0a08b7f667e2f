#include "host/sdk/ioapi.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kContainer = 0x80000000u;
constexpr size_t kHeader = 6;
int g_fail_at = 0;   // 0: off; else the read number that starts failing
int g_reads = 0;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
}  // namespace

void SetLoadReadFailure(int nth) {
  g_fail_at = nth;
  g_reads = 0;
}
int LoadReadFailureArmed() { return g_fail_at; }

// ------------------------------------------------------------------ ISave

void ISave::BeginChunk(uint16_t id) {
  if (!open_.empty()) {
    // The enclosing chunk now holds chunks.
    uint8_t* h = buf_.data() + open_.back();
    Put32(h + 2, Get32(h + 2) | kContainer);
  }
  open_.push_back(buf_.size());
  uint8_t h[kHeader] = {uint8_t(id), uint8_t(id >> 8), 0, 0, 0, 0};
  buf_.insert(buf_.end(), h, h + kHeader);
}

void ISave::EndChunk() {
  if (open_.empty()) return;
  size_t at = open_.back();
  open_.pop_back();
  uint8_t* h = buf_.data() + at;
  uint32_t flag = Get32(h + 2) & kContainer;
  Put32(h + 2, uint32_t(buf_.size() - at - kHeader) | flag);
}

IOResult ISave::Write(const void* buf, uint32_t nbytes, uint32_t* nwrit) {
  if (nwrit) *nwrit = 0;
  if (nbytes && !buf) return IO_ERROR;
  const auto* p = static_cast<const uint8_t*>(buf);
  buf_.insert(buf_.end(), p, p + nbytes);
  if (nwrit) *nwrit = nbytes;
  return IO_OK;
}

IOResult ISave::WriteCString(const char* s) {
  if (!s) s = "";
  return Write(s, uint32_t(std::strlen(s) + 1));
}

// ------------------------------------------------------------------ ILoad

bool ILoad::CheckRange(const std::vector<uint8_t>& b, size_t begin, size_t end, int depth) {
  if (depth > 64) return false;
  size_t pos = begin;
  while (pos < end) {
    if (end - pos < kHeader) return false;
    uint32_t raw = Get32(b.data() + pos + 2);
    size_t len = raw & ~kContainer;
    size_t body = pos + kHeader;
    if (len > end - body) return false;
    if ((raw & kContainer) && !CheckRange(b, body, body + len, depth + 1)) return false;
    pos = body + len;
  }
  return true;
}

ILoad::ILoad(std::vector<uint8_t> bytes)
    : bytes_(std::make_shared<const std::vector<uint8_t>>(std::move(bytes))) {
  valid_ = CheckRange(*bytes_, 0, bytes_->size(), 0);
  frames_.push_back({0, bytes_->size(), 0, true, 0});
}

void ILoad::SetRefusal(const std::string& why) {
  if (root_) root_->SetRefusal(why);
  else refusal_ = why;
}

ILoad::ILoad(ILoad* root, size_t begin, size_t end) : bytes_(root->bytes_), root_(root) {
  valid_ = root->valid_;
  // The payload of a container holds chunks; anything else is data.
  bool container = begin >= kHeader && (Get32(bytes_->data() + begin - 4) & kContainer);
  frames_.push_back({begin, end, begin, container, 0});
}

IOResult ILoad::OpenChunk() {
  if (!valid_) return IO_ERROR;
  Frame& f = frames_.back();
  if (!f.container) return f.begin == f.end ? IO_END : IO_ERROR;
  if (f.pos >= f.end) return IO_END;
  const uint8_t* h = bytes_->data() + f.pos;
  uint32_t raw = Get32(h + 2);
  size_t body = f.pos + kHeader;
  Frame c{body, body + (raw & ~kContainer), body, (raw & kContainer) != 0, Get16(h)};
  frames_.push_back(c);
  return IO_OK;
}

uint16_t ILoad::CurChunkID() const { return frames_.size() > 1 ? frames_.back().id : 0; }

uint32_t ILoad::CurChunkLength() const {
  return uint32_t(frames_.back().end - frames_.back().begin);
}

uint16_t ILoad::PeekNextChunkID() {
  const Frame& f = frames_.back();
  if (!valid_ || !f.container || f.pos >= f.end) return 0;
  return Get16(bytes_->data() + f.pos);
}

IOResult ILoad::CloseChunk() {
  if (frames_.size() < 2) return IO_ERROR;
  size_t end = frames_.back().end;
  frames_.pop_back();
  frames_.back().pos = end;
  return IO_OK;
}

IOResult ILoad::Read(void* buf, uint32_t nbytes, uint32_t* nread) {
  if (nread) *nread = 0;
  if (g_fail_at > 0 && ++g_reads >= g_fail_at) return IO_ERROR;
  Frame& f = frames_.back();
  if (f.container || !valid_) return IO_ERROR;
  size_t avail = f.end - f.pos;
  size_t n = std::min<size_t>(avail, nbytes);
  if (n) std::memcpy(buf, bytes_->data() + f.pos, n);
  f.pos += n;
  if (nread) *nread = uint32_t(n);
  return n == nbytes ? IO_OK : IO_ERROR;
}

IOResult ILoad::ReadCStringChunk(std::string& s) {
  Frame& f = frames_.back();
  if (f.container) return IO_ERROR;
  std::string out(f.end - f.pos, '\0');
  if (!out.empty() && Read(&out[0], uint32_t(out.size())) != IO_OK) return IO_ERROR;
  size_t z = out.find('\0');
  if (z != std::string::npos) out.resize(z);
  s = out;
  return IO_OK;
}

void ILoad::RegisterPostLoadCallback(PostLoadCallback* cb, int priority) {
  if (root_) {
    root_->RegisterPostLoadCallback(cb, priority);
    return;
  }
  if (!cb) return;
  plcbs_.push_back({priority >= 0 ? priority : cb->Priority(), cb});
}

bool CheckChunkFileHeader(const std::vector<uint8_t>& file, const char (&magic)[8], uint32_t version,
                          const std::string& path, const std::string& kind, const std::string& name,
                          std::string& err) {
  if (file.size() < 12 || std::memcmp(file.data(), magic, 8) != 0) {
    err = path + " is not " + kind;
    return false;
  }
  uint32_t stored = 0;
  std::memcpy(&stored, file.data() + 8, 4);
  if (stored != version) {
    err = path + ": unsupported " + name + " version " + std::to_string(stored);
    return false;
  }
  return true;
}
