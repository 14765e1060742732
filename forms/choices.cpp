#include "forms/choices.h"

#include <algorithm>

namespace forms {

std::vector<ChoiceItem> ParseChoices(std::string_view list) {
  std::vector<ChoiceItem> items;
  size_t at = list.find('|');
  while (at != std::string_view::npos) {
    const size_t next = list.find('|', at + 1);
    const std::string_view item = list.substr(
        at + 1, next == std::string_view::npos ? std::string_view::npos : next - at - 1);
    const size_t comma = item.find(',');
    if (comma == std::string_view::npos) {
      items.push_back({item, {}});
    } else {
      items.push_back({item.substr(0, comma), item.substr(comma + 1)});
    }
    at = next;
  }
  return items;
}

size_t WidestDescription(const std::vector<ChoiceItem>& items) {
  size_t widest = 0;
  for (const ChoiceItem& item : items) widest = std::max(widest, item.description.size());
  return widest;
}

}  // namespace forms
