#include "console/calculator.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "console/colour.h"
#include "console/key_wait.h"
#include "console/screen.h"
#include "console/window_stack.h"
#include "format/number_mask.h"
#include "platform/terminal.h"
#include "platform/text_file.h"
#include "session/session.h"

namespace console {
namespace {

constexpr int16_t kLeft = 0x4B00;
constexpr int16_t kRight = 0x4D00;
constexpr int16_t kCtrlLeft = 0x7300;
constexpr int16_t kCtrlRight = 0x7400;
constexpr int16_t kAltF = 0x2100;
constexpr int16_t kEsc = 27;
constexpr int16_t kEnter = 13;
constexpr int16_t kBackspace = 8;

constexpr int16_t kLastColumn = platform::kConsoleColumns - kCalculatorWidth + 1;  // 55
constexpr int kStateFields = 4 + 4 + 2 + 4 * kTapeLines;
constexpr size_t kMaxFieldLength = 64;

constexpr const char* kBaseMask = "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9";

constexpr char kVertical = '\xB3';
constexpr char kHorizontal = '\xC4';
constexpr char kTopLeft = '\xDA';
constexpr char kTopRight = '\xBF';
constexpr char kBottomLeft = '\xC0';
constexpr char kBottomRight = '\xD9';
constexpr char kLeftTee = '\xC3';
constexpr char kRightTee = '\xB4';

double Power10(int n) {
  return std::pow(10.0, n);
}

// ---- The state file ----

struct Field {
  std::string text;
  bool quoted = false;
};

// Reads up to `limit` fields; false when the file cannot be read, a field is too
// long, or there are more than `limit`.
bool ReadFields(std::string_view path, std::vector<Field>& fields, int limit) {
  platform::TextReader reader;
  if (!reader.Open(path)) return false;
  for (;;) {
    int ch = reader.ReadChar();
    while (ch == ' ' || ch == '\r' || ch == '\n') ch = reader.ReadChar();
    if (ch < 0) return true;
    if (static_cast<int>(fields.size()) >= limit) return false;
    Field field;
    if (ch == '"') {
      field.quoted = true;
      for (ch = reader.ReadChar(); ch >= 0 && ch != '"'; ch = reader.ReadChar()) {
        if (field.text.size() >= kMaxFieldLength) return false;
        field.text.push_back(static_cast<char>(ch));
      }
      if (ch < 0) return false;
      ch = reader.ReadChar();
      while (ch == ' ') ch = reader.ReadChar();
      if (ch >= 0 && ch != ',' && ch != '\r' && ch != '\n') return false;
    } else {
      for (; ch >= 0 && ch != ',' && ch != '\r' && ch != '\n'; ch = reader.ReadChar()) {
        if (field.text.size() >= kMaxFieldLength) return false;
        field.text.push_back(static_cast<char>(ch));
      }
      while (!field.text.empty() && field.text.back() == ' ') field.text.pop_back();
    }
    fields.push_back(std::move(field));
    if (ch < 0) return true;
  }
}

bool ParseNumber(const Field& field, double& value) {
  if (field.quoted || field.text.empty()) return false;
  const char* begin = field.text.data();
  const char* end = begin + field.text.size();
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, value);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseWhole(const Field& field, int16_t& value, int low, int high) {
  double v = 0;
  if (!ParseNumber(field, v) || v != std::trunc(v) || v < low || v > high) return false;
  value = static_cast<int16_t>(v);
  return true;
}

std::string NumberField(double value) {
  char buffer[64];
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (ec != std::errc()) return "0";
  return std::string(buffer, ptr);
}

std::string TextField(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) out.push_back(ch == '"' ? '\'' : ch);
  return out + "\"";
}

// ---- Arithmetic ----

// Integer digits of v: 0 for values below 1 (and negative ones).
int IntegerDigits(double v) {
  if (!(v >= 1)) return 0;
  int k = 0;
  for (double w = std::trunc(v); w >= 1 && k < 400; w = std::trunc(w / 10)) ++k;
  return k;
}

// At most 15 significant digits, halves to even, trailing zero decimals dropped.
void Normalise(CalculatorState& s) {
  double v = s.displayValue;
  if (!std::isfinite(v)) v = 0;
  const int k = IntegerDigits(v);
  int d = 0;
  double x = v;
  while (x != std::trunc(x) && d + k < 15) {
    x *= 10;
    ++d;
  }
  x = std::nearbyint(x);
  while (d > 0 && std::fmod(x, 10) == 0) {
    x /= 10;
    --d;
  }
  s.displayValue = d > 0 ? x / Power10(d) : x;
  s.pointTyped = d > 0 ? -1 : 0;
  s.decimals = static_cast<int16_t>(d);
}

void AddTapeLine(CalculatorState& s, double value, int16_t pointTyped, int16_t decimals,
                 std::string op) {
  if (s.firstVisible > 2) --s.firstVisible;
  for (int i = 0; i + 1 < kTapeLines; ++i)
    s.tape[static_cast<size_t>(i)] = s.tape[static_cast<size_t>(i + 1)];
  s.tape[kTapeLines - 1] = TapeLine{value, pointTyped, decimals, std::move(op)};
}

std::string KeyOperator(const std::string& key) {
  return key.empty() ? " " : key.substr(0, 1);
}

void OperatorStep(CalculatorState& s, const std::string& key) {
  s.currentKey = key;
  const std::string& p = s.pendingOperator;
  double result = s.accumulator;
  if (p == "+") {
    result = s.accumulator + s.displayValue;
  } else if (p == "-") {
    result = s.accumulator - s.displayValue;
  } else if (p == "*") {
    result = s.accumulator * s.displayValue;
  } else if (p == "/") {
    // Dividing by zero has no result: the accumulator stays as it was.
    if (s.displayValue != 0) result = s.accumulator / s.displayValue;
  } else if (p.empty()) {
    result = s.displayValue;
  }
  if (std::isfinite(result)) s.accumulator = result;
  AddTapeLine(s, s.displayValue, s.pointTyped, s.decimals, KeyOperator(s.currentKey));
  s.displayValue = s.accumulator;
  Normalise(s);
  if (key == "=") {
    s.currentKey.clear();
    AddTapeLine(s, s.displayValue, s.pointTyped, s.decimals, " ");
  }
  s.entryInProgress = 0;
  s.clearPressed = 0;
  s.pendingOperator = s.currentKey;
}

void StartEntry(CalculatorState& s) {
  if (s.entryInProgress != 0) return;
  s.displayValue = 0;
  s.pointTyped = 0;
  s.decimals = 0;
}

void DrawCalculator(const CalculatorState& s) {
  platform::Terminal& terminal = platform::CurrentTerminal();
  const std::string rule(static_cast<size_t>(kCalculatorWidth - 2), kHorizontal);
  auto line = [&](int16_t row, const std::string& text) {
    terminal.MoveCursor(row, s.column);
    terminal.Write(text);
  };
  const bool tapeShown = s.firstVisible <= kTapeLines;
  if (tapeShown) line(static_cast<int16_t>(s.firstVisible - 1), kTopLeft + rule + kTopRight);
  for (int i = s.firstVisible; i <= kTapeLines; ++i) {
    const TapeLine& t = s.tape[static_cast<size_t>(i - 1)];
    const char op = t.op.empty() ? ' ' : t.op[0];
    line(static_cast<int16_t>(i),
         kVertical + CalculatorNumber(t.value, t.pointTyped, t.decimals) + ' ' + op + kVertical);
  }
  line(23, tapeShown ? kLeftTee + rule + kRightTee : kTopLeft + rule + kTopRight);
  line(25, kBottomLeft + rule + kBottomRight);
}

void DrawEntryLine(const CalculatorState& s) {
  platform::Terminal& terminal = platform::CurrentTerminal();
  terminal.MoveCursor(24, s.column);
  terminal.Write(kVertical + CalculatorNumber(s.displayValue, s.pointTyped, s.decimals) + "  " +
                 kVertical);
}

void OpenWindow(const CalculatorState& s) {
  PushWindow(1, s.column, 25, static_cast<int16_t>(s.column + kCalculatorWidth - 1));
  DrawCalculator(s);
}

}  // namespace

std::string CalculatorFilePath() {
  return session::Session().terminalDir + kCalculatorFileName;
}

CalculatorState LoadCalculatorState(std::string_view path) {
  std::vector<Field> f;
  CalculatorState s;
  if (!ReadFields(path, f, kStateFields) || static_cast<int>(f.size()) != kStateFields) {
    return CalculatorState{};
  }
  bool ok = ParseWhole(f[0], s.column, 1, kLastColumn) &&
            ParseWhole(f[1], s.firstVisible, 2, kNoTapeShown) &&
            ParseNumber(f[2], s.displayValue) && ParseNumber(f[3], s.accumulator) &&
            ParseWhole(f[4], s.clearPressed, -32768, 32767) &&
            ParseWhole(f[5], s.entryInProgress, -32768, 32767) &&
            ParseWhole(f[6], s.pointTyped, -32768, 32767) && ParseWhole(f[7], s.decimals, 0, 99) &&
            f[8].quoted && f[9].quoted;
  s.currentKey = f[8].text;
  s.pendingOperator = f[9].text;
  for (int i = 0; ok && i < kTapeLines; ++i) {
    const size_t at = 10 + 4 * static_cast<size_t>(i);
    TapeLine& t = s.tape[static_cast<size_t>(i)];
    ok = ParseNumber(f[at], t.value) && ParseWhole(f[at + 1], t.pointTyped, -32768, 32767) &&
         ParseWhole(f[at + 2], t.decimals, 0, 99) && f[at + 3].quoted;
    t.op = f[at + 3].text;
  }
  return ok ? s : CalculatorState{};
}

bool SaveCalculatorState(std::string_view path, const CalculatorState& s) {
  platform::TextWriter writer;
  if (!writer.Create(path)) return false;
  auto n = [](double v) { return NumberField(v); };
  writer.WriteLine(n(s.column) + "," + n(s.firstVisible) + "," + n(s.displayValue) + "," +
                   n(s.accumulator));
  writer.WriteLine(n(s.clearPressed) + "," + n(s.entryInProgress) + "," + n(s.pointTyped) + "," +
                   n(s.decimals));
  writer.WriteLine(TextField(s.currentKey) + "," + TextField(s.pendingOperator));
  for (const TapeLine& t : s.tape) {
    writer.WriteLine(n(t.value) + "," + n(t.pointTyped) + "," + n(t.decimals) + "," +
                     TextField(t.op));
  }
  return writer.Close();
}

std::string CalculatorNumber(double value, int16_t pointTyped, int16_t decimals) {
  std::string text = kBaseMask;
  if (pointTyped != 0) text += '.';
  if (decimals > 0) text.append(static_cast<size_t>(decimals), '9');
  return format::FormatMask("-" + text.substr(text.size() - 21), value);
}

bool CalculatorKey(CalculatorState& s, int16_t key) {
  if (key >= '0' && key <= '9') {
    StartEntry(s);
    const int digit = key - '0';
    if (s.pointTyped == 0) {
      s.displayValue = s.displayValue * 10 + digit;
    } else if (s.decimals < 99) {
      ++s.decimals;
      s.displayValue += digit / Power10(s.decimals);
    }
    s.entryInProgress = -1;
    return true;
  }
  switch (key) {
    case '.':
      StartEntry(s);
      if (s.pointTyped == 0) {
        s.pointTyped = -1;
        s.decimals = 0;
      }
      s.entryInProgress = -1;
      return true;
    case kBackspace:
      if (s.pointTyped == 0) {
        s.displayValue = std::trunc(s.displayValue / 10);
      } else if (--s.decimals < 0) {
        s.pointTyped = 0;
        s.decimals = 0;
      } else {
        const double scale = Power10(s.decimals);
        s.displayValue = std::trunc(s.displayValue * scale) / scale;
      }
      s.entryInProgress = s.entryInProgress != 0 && s.displayValue != 0 ? -1 : 0;
      return true;
    case '+':
    case '-':
    case '*':
    case '/':
      OperatorStep(s, std::string(1, static_cast<char>(key)));
      return true;
    case '=':
    case kEnter:
      if (s.entryInProgress != 0) OperatorStep(s, "=");
      return true;
    case '%':
      AddTapeLine(s, s.displayValue, s.pointTyped, s.decimals, "%");
      if (s.pendingOperator == "+" || s.pendingOperator == "-") {
        s.displayValue = s.accumulator / 100 * s.displayValue;
      } else {
        s.displayValue = s.displayValue / 100;
      }
      Normalise(s);
      return true;
    case 'R': {
      const double hundred = 100 * s.displayValue;
      double whole = std::trunc(hundred);
      const double fraction = hundred - whole;
      if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2) != 0)) whole += 1;
      s.displayValue = whole / 100;
      s.accumulator = s.displayValue;
      s.pointTyped = -1;
      s.decimals = 2;
      AddTapeLine(s, s.displayValue, s.pointTyped, s.decimals, "R");
      return true;
    }
    case 'C':
      if (s.entryInProgress != 0) {
        s.entryInProgress = 0;
        s.displayValue = s.accumulator;
        s.pointTyped = 0;
        s.decimals = 0;
        s.currentKey = s.pendingOperator;
      } else if (s.clearPressed != 0) {
        s.firstVisible = kNoTapeShown;
      } else {
        s.displayValue = 0;
        s.accumulator = 0;
        s.pointTyped = 0;
        s.decimals = 0;
        s.currentKey.clear();
        s.clearPressed = -1;
      }
      return true;
    case 'T':
      s.displayValue = -s.displayValue;
      return true;
    default:
      return false;
  }
}

std::string CalculatorResult(const CalculatorState& s) {
  const int e = std::max<int>(s.decimals, 2);
  const double value = s.entryInProgress != 0 ? s.displayValue : s.accumulator;
  const double x = std::nearbyint(std::fabs(value * Power10(e)));
  std::string digits = "0";
  if (std::isfinite(x) && x >= 1) {
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", x);
    digits = buffer;
  }
  const size_t tail = static_cast<size_t>(e - 2);
  if (tail == 0) return digits;
  // Enough leading zeros that the decimals after the point are all there.
  if (digits.size() < tail) digits.insert(0, tail - digits.size(), '0');
  return digits.substr(0, digits.size() - tail) + "." + digits.substr(digits.size() - tail);
}

std::string ShowCalculator() {
  ApplyKeyList("+e", "");
  SetColour("+n");
  platform::Terminal& terminal = platform::CurrentTerminal();
  terminal.ShowCursor(false);

  const std::string path = CalculatorFilePath();
  {
    platform::TextWriter touch;
    if (touch.Append(path)) touch.Close();
  }
  CalculatorState s = LoadCalculatorState(path);
  OpenWindow(s);

  std::string result;
  for (;;) {
    DrawEntryLine(s);
    int16_t key = WaitKeyCode();
    if (key >= 'a' && key <= 'z') key = static_cast<int16_t>(key - 'a' + 'A');
    if (key == 'F' || key == kAltF) {
      result = CalculatorResult(s);
      break;
    }
    if (key == kEsc) break;
    if (key == kLeft || key == kCtrlLeft || key == kRight || key == kCtrlRight) {
      PopWindow();
      if (key == kLeft || key == kCtrlLeft) {
        s.column = s.column <= 1 ? kLastColumn : static_cast<int16_t>(s.column - 1);
      } else {
        s.column = s.column >= kLastColumn ? int16_t{1} : static_cast<int16_t>(s.column + 1);
      }
      OpenWindow(s);
      continue;
    }
    const int16_t shownBefore = s.firstVisible;
    if (!CalculatorKey(s, key)) continue;
    if (s.firstVisible > shownBefore) {
      // The tape display was cleared: put back what lay under it.
      PopWindow();
      OpenWindow(s);
    } else {
      DrawCalculator(s);
    }
  }

  PopWindow();
  SaveCalculatorState(path, s);
  terminal.ShowCursor(true);
  SetColour("-");
  ApplyKeyList("-", "");
  return result;
}

}  // namespace console
