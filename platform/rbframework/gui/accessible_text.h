// What screen readers are told of a text area whose spelling is checked: its text, caret and
// selection as Qt tells them of any editor, and, among the text's attributes, "invalid" as
// "spelling" over each misspelt word, as the desktop's own editors mark theirs.
#pragma once

class QPlainTextEdit;

namespace rb {

// Makes what screen readers are told of `edit` the above, from now on; `edit` has its
// SpellMarks already. [main]
void AttachTextAccessibility(QPlainTextEdit* edit);

}  // namespace rb
