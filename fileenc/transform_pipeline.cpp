#include "fileenc/transform_pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "fileenc/body_transform.h"
#include "platform/io_buffer.h"

namespace vellumo {
namespace {

// About this much per buffer: large enough that system calls and hand-overs
// between threads are few per byte, small enough that the ring stays small.
constexpr size_t kBufferTarget = size_t{1} << 20;
// Buffers in the ring at most: one being read, one read ahead to see whether
// the file ends, one being written and the rest transformed, several at once.
// A ring of six sealed buffers (with their output space) is 12 MiB.
constexpr size_t kMaxSlots = 6;

// Whole units of the stream, about kBufferTarget bytes.
size_t PipelineBufferSize(const BodyStream& body) {
  const size_t unit = body.Unit();
  return std::max<size_t>(1, kBufferTarget / unit) * unit;
}

// One buffer of the ring with what happened to it.
struct Slot {
  IoBuffer bytes;
  IoBuffer space;  // the stream's output, when it does not work in place
  BodyBuffer buffer;
  Status readError;
  bool transformed = false;
  bool refused = false;
  ByteView out;

  Slot(size_t size, const BodyStream& body) : bytes(size) {
    if (const size_t need = body.SpaceFor(size)) space = IoBuffer(need);
  }
};

// Reads the buffer that begins at body byte `offset` into `slot`, as much of
// it as the file holds.
void ReadSlot(FileHandle& source, Slot& slot, uint64_t offset) {
  slot.buffer = {offset, slot.bytes.data(), 0, false};
  slot.readError = Status();
  const int64_t n = source.Read(slot.bytes.data(), slot.bytes.size());
  if (n < 0) {
    slot.readError = source.error();
  } else {
    slot.buffer.length = static_cast<size_t>(n);
  }
}

void TransformSlot(const BodyStream& body, Slot& slot, unsigned threads) {
  slot.out = {};
  slot.refused = slot.readError.ok() && !body.Transform(slot.buffer, slot.space.data(), slot.out, threads);
}

// The temporary file: created with the first bytes to write and, for a file
// of many buffers, given its final length then (on Windows the file system
// finds the space once instead of write by write, and a full disk shows before
// anything is written); cut back when less was written, put on the device
// once at the end, and gone if the run did not end well.
class TemporaryWriter {
 public:
  TemporaryWriter(const std::wstring& path, uint64_t preallocate) : path_(path), preallocate_(preallocate) {}

  Status Write(ByteView bytes) {
    if (!created_) {
      if (Status made = CreateTemporary(out_, path_); !made) return made;
      created_ = true;
      if (preallocate_ > 0) {
        if (Status reserved = out_.Preallocate(preallocate_); !reserved) return reserved;
      }
    }
    if (bytes.size == 0) return Status();
    written_ += bytes.size;
    return out_.Write(bytes.data, bytes.size);
  }

  // After the last write, or after a failure (`status` not ok): the status of the whole.
  Status Finish(Status status) {
    if (!created_) return status;
    if (status.ok() && preallocate_ > 0 && written_ != preallocate_) status = out_.SetLength(written_);
    if (status.ok()) status = out_.Sync();
    const Status closed = out_.Close();
    if (status.ok()) status = closed;
    if (!status) DeleteFilePath(path_);
    return status;
  }

 private:
  FileHandle out_;
  std::wstring path_;
  uint64_t preallocate_;
  uint64_t written_ = 0;
  bool created_ = false;
};

// What the writing end does with a transformed buffer; false when the run
// ends here (the last buffer, a failure, a refusal or a stop).
class WritingEnd {
 public:
  WritingEnd(TemporaryWriter& out, ByteView prologue, const std::function<bool(uint64_t)>& onBuffer)
      : out_(out), prologue_(prologue), onBuffer_(onBuffer) {}

  // Writes `slot`'s output; false when the run ends with it. The slot may be
  // reused once this has returned.
  bool Take(const Slot& slot) {
    if (!slot.readError.ok()) {
      status_ = slot.readError;
      return false;
    }
    if (slot.refused) {
      refused_ = true;
      status_ = Status(StatusCode::kIoError, 0);
      return false;
    }
    if (prologue_.size > 0) {
      status_ = out_.Write(prologue_);
      prologue_ = {};
      if (!status_) return false;
    }
    status_ = out_.Write(slot.out);  // creates the file of an empty result
    if (!status_) return false;
    done_ += slot.buffer.length;
    if (!onBuffer_(done_)) {
      status_ = Status(StatusCode::kCancelled, 0);
      return false;
    }
    return !slot.buffer.last;
  }

  Status Finish(bool& refused) {
    refused = refused_;
    return out_.Finish(status_);
  }

 private:
  TemporaryWriter& out_;
  ByteView prologue_;
  const std::function<bool(uint64_t)>& onBuffer_;
  Status status_;
  bool refused_ = false;
  uint64_t done_ = 0;
};

// A file that fits one buffer of `size` bytes, on the calling thread; should
// it have grown since it was measured, the rest follows buffer by buffer.
void RunInline(FileHandle& source, const BodyStream& body, size_t size, WritingEnd& end) {
  const unsigned threads = BodyTransformer::DefaultThreads();
  Slot slot(size, body);
  ReadSlot(source, slot, 0);
  std::vector<Slot> next;  // the buffer after this one, should there be one
  for (;;) {
    // A full buffer is the last only if nothing follows it.
    if (slot.readError.ok() && slot.buffer.length == size) {
      if (next.empty()) next.emplace_back(size, body);
      ReadSlot(source, next.front(), slot.buffer.offset + size);
      slot.buffer.last = next.front().readError.ok() && next.front().buffer.length == 0;
    } else {
      slot.buffer.last = true;
    }
    TransformSlot(body, slot, threads);
    if (!end.Take(slot)) return;
    std::swap(slot, next.front());
  }
}

// The ring shared by the reader, the transform workers and the writing end
// (the calling thread). Buffer n lives in slot n % size; it is read, then
// published, claimed by one transform, transformed, and written, in that
// order, and its slot is free again once it has been written.
class Ring {
 public:
  Ring(FileHandle& source, const BodyStream& body, size_t bufferSize, size_t slots)
      : source_(source), body_(body), bufferSize_(bufferSize) {
    slots_.reserve(slots);
    for (size_t i = 0; i < slots; ++i) slots_.emplace_back(bufferSize, body);
  }

  void Read() {
    uint64_t n = 0;
    Slot* held = nullptr;  // a full buffer, published once the next read shows whether the file ends with it
    for (;; ++n) {
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || n - written_ < slots_.size(); });
        if (stop_) return;
      }
      Slot& slot = At(n);
      ReadSlot(source_, slot, n * bufferSize_);
      // Dropped while the other stages work, rather than all at once when
      // the temporary file replaces the source.
      source_.ForgetRead(slot.buffer.length);
      const bool endsHere = !slot.readError.ok() || slot.buffer.length < bufferSize_;
      if (held) {
        if (slot.readError.ok() && slot.buffer.length == 0) {
          held->buffer.last = true;  // the file ends on a whole buffer
          return Publish();
        }
        Publish();
      }
      if (endsHere) {
        slot.buffer.last = true;
        return Publish();
      }
      held = &slot;
    }
  }

  void Transform() {
    for (;;) {
      uint64_t k = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stop_ || claimed_ < published_; });
        if (stop_) return;
        k = claimed_++;
      }
      TransformSlot(body_, At(k), 1);
      Transformed(At(k));
    }
  }

  // The calling thread: writes every buffer in order until the run ends. A
  // buffer no worker has taken yet it transforms itself.
  void Write(WritingEnd& end) {
    for (uint64_t k = 0;; ++k) {
      Slot& slot = At(k);
      bool mine = false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return slot.transformed || (claimed_ == k && published_ > k); });
        if (!slot.transformed) {
          ++claimed_;
          mine = true;
        }
      }
      if (mine) {
        TransformSlot(body_, slot, 1);
        Transformed(slot);
      }
      const bool more = end.Take(slot);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slot.transformed = false;
        written_ = k + 1;
        if (!more) stop_ = true;
      }
      changed_.notify_all();
      if (!more) return;
    }
  }

  // Ends every thread's loop, whatever it is waiting for.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
  }

 private:
  Slot& At(uint64_t n) { return slots_[n % slots_.size()]; }

  // The oldest buffer read and not yet handed on is ready for a transform.
  void Publish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++published_;
    }
    changed_.notify_all();
  }

  void Transformed(Slot& slot) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot.transformed = true;
    }
    changed_.notify_all();
  }

  FileHandle& source_;
  const BodyStream& body_;
  const size_t bufferSize_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t published_ = 0;  // buffers read and handed on
  uint64_t claimed_ = 0;    // buffers a transform has taken
  uint64_t written_ = 0;    // buffers written: their slots are free
  bool stop_ = false;
};

// The ring's threads: stopped and joined when it goes, however the writing
// end left.
class RingThreads {
 public:
  explicit RingThreads(Ring& ring) : ring_(ring) {}
  ~RingThreads() {
    ring_.Stop();
    for (std::thread& thread : threads_) thread.join();
  }
  RingThreads(const RingThreads&) = delete;
  RingThreads& operator=(const RingThreads&) = delete;

  // Starts `loop` on a thread of its own; false when the system has none to give.
  bool Start(void (Ring::*loop)()) {
    try {
      threads_.emplace_back(loop, &ring_);
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

 private:
  Ring& ring_;
  std::vector<std::thread> threads_;
};

// A file of many buffers through the ring; false when no ring or reader could
// be had (nothing has been read then).
bool RunPipelined(FileHandle& source, const BodyStream& body, WritingEnd& end) {
  const unsigned workers = BodyTransformer::DefaultThreads();
  std::unique_ptr<Ring> ring;
  try {
    ring = std::make_unique<Ring>(source, body, PipelineBufferSize(body), std::min<size_t>(workers + 3, kMaxSlots));
  } catch (const std::bad_alloc&) {
    return false;
  }
  RingThreads threads(*ring);
  if (!threads.Start(&Ring::Read)) return false;
  // Without workers the writing end transforms every buffer itself.
  for (unsigned i = 0; i < workers && threads.Start(&Ring::Transform); ++i) {
  }
  ring->Write(end);
  return true;
}

}  // namespace

Status WriteTransformed(FileHandle& source, const std::wstring& tempPath, ByteView prologue, const BodyStream& body,
                        uint64_t expected, const std::function<bool(uint64_t)>& onBuffer, bool& refused) {
  const size_t unit = body.Unit();
  const size_t pipelineBuffer = PipelineBufferSize(body);
  // One buffer a little longer than the file, so that one read finds its end.
  const bool fits = expected < pipelineBuffer;
  const uint64_t preallocate = fits ? 0 : prologue.size + body.OutputLength(expected);
  TemporaryWriter out(tempPath, preallocate);
  WritingEnd end(out, prologue, onBuffer);
  if (fits || !RunPipelined(source, body, end)) {
    const size_t size = fits ? static_cast<size_t>((expected / unit + 1) * unit) : pipelineBuffer;
    RunInline(source, body, size, end);
  }
  return end.Finish(refused);
}

}  // namespace vellumo
