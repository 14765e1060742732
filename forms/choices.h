#pragma once
// Choice lists of choice fields: "|code,description|code,description...". The code
// runs from after the "|" to the item's first comma, the description from after that
// comma to the next "|" or the end (an item without a comma is all code).

#include <string_view>
#include <vector>

namespace forms {

struct ChoiceItem {
  std::string_view code;
  std::string_view description;
};

// The items of the list in order; none for "" or a text without "|".
std::vector<ChoiceItem> ParseChoices(std::string_view list);

// Length of the longest description; 0 without items.
size_t WidestDescription(const std::vector<ChoiceItem>& items);

}  // namespace forms
