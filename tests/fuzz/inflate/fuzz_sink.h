// What the inflate fuzz targets share: a collecting OutputFile and the checks every decode
// must pass, whatever its input.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "unpacker/container/shared_state.h"
#include "unpacker/inflate/crc32.h"
#include "unpacker/inflate/native/native_output_file.h"

namespace fuzzing {

struct Sink {
  std::vector<uint8_t> bytes;
  std::vector<uint32_t> writes;
  size_t capacity = SIZE_MAX;
  OutputFile file{&Sink::Write, this};
  static uint32_t Write(void* context, const void* data, uint32_t count) {
    Sink* s = static_cast<Sink*>(context);
    s->writes.push_back(count);
    const size_t room = s->capacity > s->bytes.size() ? s->capacity - s->bytes.size() : 0;
    const uint32_t taken = count < room ? count : uint32_t(room);
    s->bytes.insert(s->bytes.end(), static_cast<const uint8_t*>(data),
                    static_cast<const uint8_t*>(data) + taken);
    return taken;
  }
};

// RunningCrc and BytesDone cover exactly the bytes that reached the file; every write but the
// last hands over a whole window (or piece); nothing comes out that `input` bytes of data could
// not produce (a match of 258 bytes takes at least 2 bits: 1032 bytes per input byte).
inline void CheckOutput(const Sink& sink, size_t input, bool deflated) {
  uint32_t crc = 0xFFFFFFFF;
  UpdateCrcBuffer(sink.bytes.data(), int32_t(sink.bytes.size()), &crc);
  if (crc != RunningCrc || BytesDone != sink.bytes.size()) std::abort();
  for (size_t i = 0; i + 1 < sink.writes.size(); ++i)
    if (sink.writes[i] != 32768) std::abort();
  if (!sink.writes.empty() && (sink.writes.back() == 0 || sink.writes.back() > 32768)) std::abort();
  if (sink.bytes.size() > (deflated ? 1032 * input : input)) std::abort();
}

}  // namespace fuzzing
