#include "records/record_layouts.h"

#include <cassert>
#include <cstring>

namespace records {

std::string_view FieldText(std::span<const char> buffer, RecordField field) {
  assert(static_cast<size_t>(field.offset) + field.size <= buffer.size());
  return std::string_view(buffer.data() + field.offset, field.size);
}

void SetFieldText(std::span<char> buffer, RecordField field, std::string_view text) {
  assert(static_cast<size_t>(field.offset) + field.size <= buffer.size());
  const size_t n = text.size() < field.size ? text.size() : field.size;
  std::memcpy(buffer.data() + field.offset, text.data(), n);
  std::memset(buffer.data() + field.offset + n, ' ', field.size - n);
}

int32_t FieldInt32(std::span<const char> buffer, RecordField field) {
  assert(field.size == 4 && static_cast<size_t>(field.offset) + 4 <= buffer.size());
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    v |= static_cast<uint32_t>(static_cast<uint8_t>(buffer[field.offset + i])) << (8 * i);
  }
  return static_cast<int32_t>(v);
}

void SetFieldInt32(std::span<char> buffer, RecordField field, int32_t value) {
  assert(field.size == 4 && static_cast<size_t>(field.offset) + 4 <= buffer.size());
  const uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) buffer[field.offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace records
