#pragma once
// The engine's streaming loop: the rest of a file read, run through a
// BodyStream and written to its temporary file.
//
// A file larger than one buffer (about 1 MiB) goes through a pipeline, so
// that it takes about as long as the slowest of reading, transforming and
// writing instead of their sum: a reader thread reads ahead into a fixed ring
// of page-aligned buffers, one worker per processor transforms them (several
// buffers at once), and the calling thread writes them in order, reports
// progress and looks at the cancel flag between buffers. Memory stays the
// ring's, whatever the file's length. A file that fits one buffer goes
// straight through on the calling thread and starts no thread.
#include <cstdint>
#include <functional>
#include <string>

#include "fileenc/body_stream.h"
#include "platform/file_system.h"
#include "platform/status.h"

namespace vellumo {

// Writes `prologue` and then the rest of `source` (`expected` bytes, as far
// as that can be told before reading: the file is read to its end), run
// through `body`, to a new `tempPath`, and puts it on the device. The
// temporary file is created with the first bytes to write (or at the end, for
// an empty result), so bytes the stream refuses at once leave nothing behind.
// After every buffer written `onBuffer` hears the bytes of the source read for
// it so far (rising); when it answers false the run was stopped. On failure,
// on a stop (kCancelled) and when the stream refused what it read (`refused`;
// the status is then not ok either) the temporary file is gone; the status
// says which read or write failed and why.
Status WriteTransformed(FileHandle& source, const std::wstring& tempPath, ByteView prologue, const BodyStream& body,
                        uint64_t expected, const std::function<bool(uint64_t)>& onBuffer, bool& refused);

}  // namespace vellumo
