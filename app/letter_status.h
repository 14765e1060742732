#pragma once
// What can stop a batch of letters or labels, and the operator's message for it.
// A stopped batch has written part of its output to the spool; the module shows the
// message, does not print that spool, and sends the operator back to the selection.

#include <cstdint>
#include <string>

namespace app {

inline constexpr int16_t kLetterOk = 0;
// A letter template, or a template it includes, cannot be opened. name: the template.
inline constexpr int16_t kTemplateNotFound = 2001;
// Includes nest deeper than kMaxIncludeDepth (a template that includes itself, for
// example). name: the template whose include was refused.
inline constexpr int16_t kIncludesTooDeep = 2002;
// The field file cannot be created or written whole (missing work folder, full disk).
// name: the field file's path.
inline constexpr int16_t kFieldFileNotWritten = 2003;
// Label mode with a label width outside 1 .. 96 or label lines outside 1 .. 100.
// name: empty.
inline constexpr int16_t kBadLabelGeometry = 2004;

// Includes may nest this deep below a letter's outermost template.
inline constexpr int kMaxIncludeDepth = 16;

// The outcome of a step of the letter run: kLetterOk, or a status above and the name
// it concerns.
struct LetterProblem {
  int16_t status = kLetterOk;
  std::string name;
};

// The operator's message for a problem, in the session language (the Catalan text
// translated through the language file), followed by the name. "" for kLetterOk.
std::string LetterProblemMessage(const LetterProblem& problem);

}  // namespace app
