#include "platform/record_file_spec.h"

#include "platform/record_status.h"

namespace platform {
namespace {

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Put16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

size_t KeySpec::Length() const {
  size_t total = 0;
  for (const KeySegmentSpec& s : segments) total += s.length;
  return total;
}

int16_t DecodeFileSpec(const uint8_t* data, size_t length, FileSpec& spec) {
  spec = FileSpec{};
  if (data == nullptr || length < kFileSpecHeaderSize) return kStatusDataBufferTooShort;
  spec.recordLength = Get16(data);
  spec.pageSize = Get16(data + 2);
  const uint16_t keyCount = Get16(data + 4);
  spec.fileFlags = Get16(data + 10);

  if (spec.pageSize < 512 || spec.pageSize > 4096 || spec.pageSize % 512 != 0) {
    return kStatusInvalidPageSize;
  }
  if (spec.recordLength < 4 || spec.recordLength + 6 > spec.pageSize) {
    return kStatusInvalidRecordLength;
  }
  if (keyCount < 1 || keyCount > kMaxKeys) return kStatusInvalidKeyCount;

  bool usesAlternate = false;
  size_t offset = kFileSpecHeaderSize;
  size_t segmentCount = 0;
  for (uint16_t k = 0; k < keyCount; ++k) {
    KeySpec key;
    uint16_t keyBits = 0;
    bool more = true;
    while (more) {
      if (segmentCount == kMaxSegments) return kStatusInvalidKeyCount;
      if (offset + kKeySegmentSpecSize > length) return kStatusDataBufferTooShort;
      const uint8_t* s = data + offset;
      KeySegmentSpec seg;
      seg.position = Get16(s);
      seg.length = Get16(s + 2);
      const uint16_t flags = Get16(s + 4);
      const uint8_t extendedType = s[10];
      offset += kKeySegmentSpecSize;
      ++segmentCount;

      if ((flags & ~kSupportedKeyFlags) != 0 || extendedType != 0) {
        return kStatusInconsistentKeyFlags;
      }
      if ((flags & kKeyBinary) && (flags & kKeyAlternate)) return kStatusInconsistentKeyFlags;
      const uint16_t bits = flags & (kKeyDuplicates | kKeyModifiable);
      if (key.segments.empty()) {
        keyBits = bits;
      } else if (bits != keyBits) {
        return kStatusInconsistentKeyFlags;
      }
      if (seg.length == 0) return kStatusInvalidKeyLength;
      if (seg.position == 0 ||
          static_cast<size_t>(seg.position) + seg.length - 1 > spec.recordLength) {
        return kStatusInvalidKeyPosition;
      }
      if (flags & kKeyAlternate) usesAlternate = true;
      more = (flags & kKeySegmented) != 0;
      seg.flags = flags & static_cast<uint16_t>(~kKeySegmented);
      key.segments.push_back(seg);
      if (key.Length() > kMaxKeyLength) return kStatusInvalidKeyLength;
    }
    spec.keys.push_back(std::move(key));
  }

  if (usesAlternate) {
    if (offset + kAlternateSequenceSize > length) return kStatusInvalidAlternateSequence;
    const uint8_t* a = data + offset;
    if (a[0] != kAlternateSequenceSignature) return kStatusInvalidAlternateSequence;
    AlternateSequence seq;
    seq.name.assign(reinterpret_cast<const char*>(a + 1), 8);
    for (size_t i = 0; i < 256; ++i) seq.table[i] = a[9 + i];
    spec.alternate = std::move(seq);
  }
  return kStatusSuccess;
}

std::string EncodeFileSpec(const FileSpec& spec, uint32_t recordCount) {
  size_t segmentCount = 0;
  for (const KeySpec& k : spec.keys) segmentCount += k.segments.size();
  std::string out(kFileSpecHeaderSize + segmentCount * kKeySegmentSpecSize, '\0');
  Put16(out, 0, spec.recordLength);
  Put16(out, 2, spec.pageSize);
  Put16(out, 4, static_cast<uint16_t>(spec.keys.size()));
  Put32(out, 6, recordCount);
  Put16(out, 10, spec.fileFlags);
  size_t at = kFileSpecHeaderSize;
  for (const KeySpec& k : spec.keys) {
    for (size_t i = 0; i < k.segments.size(); ++i) {
      const KeySegmentSpec& s = k.segments[i];
      uint16_t flags = s.flags & static_cast<uint16_t>(~kKeySegmented);
      if (i + 1 < k.segments.size()) flags |= kKeySegmented;
      Put16(out, at, s.position);
      Put16(out, at + 2, s.length);
      Put16(out, at + 4, flags);
      at += kKeySegmentSpecSize;
    }
  }
  if (spec.alternate) {
    std::string name = spec.alternate->name;
    name.resize(8, ' ');
    out.push_back(static_cast<char>(kAlternateSequenceSignature));
    out += name;
    for (uint8_t b : spec.alternate->table) out.push_back(static_cast<char>(b));
  }
  return out;
}

}  // namespace platform
