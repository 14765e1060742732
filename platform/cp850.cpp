#include "platform/cp850.h"

#include <array>
#include <unordered_map>

namespace platform {
namespace {

constexpr std::array<char32_t, 128> kHigh = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,  // B0
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,  // C8
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x20AC, 0x00CD, 0x00CE,  // D0 (D5: euro)
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,  // D8
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,  // E0
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,  // E8
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,  // F0
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,  // F8
};

constexpr std::array<char32_t, 32> kLowGlyphs = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

const std::unordered_map<char32_t, uint8_t>& ReverseTable() {
  static const std::unordered_map<char32_t, uint8_t> table = [] {
    std::unordered_map<char32_t, uint8_t> t;
    for (int b = 0; b < 128; ++b) t[static_cast<char32_t>(b)] = static_cast<uint8_t>(b);
    for (int b = 0; b < 128; ++b) t[kHigh[b]] = static_cast<uint8_t>(128 + b);
    return t;
  }();
  return table;
}

}  // namespace

char32_t Cp850ToUnicode(uint8_t byte) {
  return byte < 128 ? byte : kHigh[byte - 128];
}

char32_t Cp850Glyph(uint8_t byte) {
  if (byte < 32) return kLowGlyphs[byte];
  if (byte == 127) return 0x2302;
  return Cp850ToUnicode(byte);
}

bool UnicodeToCp850(char32_t ch, uint8_t& byte) {
  const auto& table = ReverseTable();
  auto it = table.find(ch);
  if (it == table.end()) return false;
  byte = it->second;
  return true;
}

void AppendUtf8(std::string& out, char32_t ch) {
  if (ch < 0x80) {
    out.push_back(static_cast<char>(ch));
  } else if (ch < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (ch >> 6)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else if (ch < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (ch >> 12)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (ch >> 18)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((ch >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (ch & 0x3F)));
  }
}

bool DecodeUtf8(std::string_view text, size_t& pos, char32_t& ch) {
  unsigned char c = static_cast<unsigned char>(text[pos]);
  int extra = 0;
  char32_t value = 0;
  if (c < 0x80) {
    ch = c;
    ++pos;
    return true;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    value = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    value = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    value = c & 0x07;
  } else {
    ++pos;
    return false;
  }
  if (pos + static_cast<size_t>(extra) >= text.size()) {
    ++pos;
    return false;
  }
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(text[pos + static_cast<size_t>(k)]);
    if ((cc & 0xC0) != 0x80) {
      ++pos;
      return false;
    }
    value = (value << 6) | (cc & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++pos;
    return false;
  }
  pos += static_cast<size_t>(extra) + 1;
  ch = value;
  return true;
}

std::string Cp850ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (char c : text) AppendUtf8(out, Cp850ToUnicode(static_cast<uint8_t>(c)));
  return out;
}

std::string Utf8ToCp850(std::string_view utf8, char replacement, bool* lost) {
  std::string out;
  out.reserve(utf8.size());
  bool anyLost = false;
  size_t pos = 0;
  while (pos < utf8.size()) {
    char32_t ch = 0;
    uint8_t byte = 0;
    if (DecodeUtf8(utf8, pos, ch) && UnicodeToCp850(ch, byte)) {
      out.push_back(static_cast<char>(byte));
    } else {
      out.push_back(replacement);
      anyLost = true;
    }
  }
  if (lost != nullptr) *lost = anyLost;
  return out;
}

}  // namespace platform
