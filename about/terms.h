#pragma once
// The terms of use shown on the "About" tab. The texts need no widget (terms.cpp); the two
// commands that write them into the box live with the tab's other commands (show_terms.cpp).

#include <QString>

class QPlainTextEdit;

namespace Moodule {
// The terms text: seventeen blocks with an empty line between them.
QString TermsText();
// The same text with a copyright notice at the end of the rights paragraph.
QString TermsTextWithNotice();

// Start-up step: the terms text into the box (mooinfo).
void ShowTerms(QPlainTextEdit* mooinfo);
// The text with the notice into the box (a click on the "Local Host IP" label).
void ShowTermsWithNotice(QPlainTextEdit* mooinfo);
}  // namespace Moodule
