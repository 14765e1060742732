#include "app/screen_hook.h"

#include <string>

#include "app/letter_state.h"
#include "app/module_notice.h"
#include "format/number_mask.h"
#include "format/text.h"
#include "forms/form_model.h"
#include "forms/form_runner.h"
#include "forms/keys.h"
#include "session/language.h"

namespace app {
namespace {

// Catalan texts in code page 850; the language file translates them.
constexpr const char* kLabelsPerPageText = "LES ETIQUETES PER P\xB7GINA HAN DE SER DIVISIBLES PER ";
constexpr const char* kLabelWidthText = "L'AMPLADA DE L'ETIQUETA HA DE SER D'1 A 96";
constexpr const char* kLabelLinesText = "LES L\xD6NIES DE L'ETIQUETA HAN DE SER D'1 A 100";

constexpr int16_t kMaxLabelWidth = 96;
constexpr int16_t kMaxLabelLines = 100;

bool Refuse(const std::string& text) {
  ShowNotice(text);
  return true;
}

}  // namespace

SelectionFieldValues SelectionScreenValues() {
  SelectionFieldValues values;
  for (int f = 1; f <= kSelectionFields; ++f) {
    const forms::FormField* field = forms::FindField(kSelectionScreen, static_cast<int16_t>(f));
    values[static_cast<size_t>(f - 1)] = field != nullptr ? field->value : std::string();
  }
  return values;
}

int16_t ModuleScreenHook(int16_t& screen, int16_t& key) {
  if (key == forms::kKeyEsc) return 0;
  if (screen != kSelectionScreen) return 0;

  StoreLetterSelection(SelectionScreenValues());
  const LetterSelection& s = Letters().selection;
  const bool letters = s.outputKind == "C";
  bool refused = (letters && format::IsAllChar(s.templateCode, ' ') != 0) ||
                 s.fromCode > s.toCode || s.minReceipts > s.maxReceipts ||
                 s.minPending > s.maxPending;
  if (s.labelsAcross != 0 && s.labelsPerPage % s.labelsAcross != 0) {
    refused = Refuse(session::Translate(kLabelsPerPageText) + format::NumberText(s.labelsAcross));
  } else if (!letters && (s.labelWidth < 1 || s.labelWidth > kMaxLabelWidth)) {
    refused = Refuse(session::Translate(kLabelWidthText));
  } else if (!letters && (s.labelLines < 1 || s.labelLines > kMaxLabelLines)) {
    refused = Refuse(session::Translate(kLabelLinesText));
  }
  if (refused) return -1;

  forms::FormField* confirm = forms::FindField(kConfirmationScreen, 1);
  if (confirm == nullptr) return -1;
  forms::StoreFieldValue(*confirm, "");
  int16_t confirmScreen = kConfirmationScreen;
  int16_t upExit = 0, downExit = 0;
  forms::RunScreen(confirmScreen, upExit, downExit, key);
  return confirm->value == "S" ? 0 : -1;
}

}  // namespace app
