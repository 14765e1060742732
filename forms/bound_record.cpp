#include "forms/bound_record.h"

#include "records/record_access.h"

namespace forms {

std::span<const char> BoundRecord(int16_t fileNumber, size_t minSize) {
  const int16_t slot = records::FindFileSlot(fileNumber);
  if (slot < 1) return {};
  const std::span<char> buffer =
      records::RecordFileTable().slots[static_cast<size_t>(slot)].recordBuffer;
  if (buffer.size() < minSize) return {};
  return buffer;
}

}  // namespace forms
