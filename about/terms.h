#pragma once
// The terms of use shown on the "About" tab.

#include <QString>

class frmWinsock;

namespace Moodule {
// The terms text: seventeen blocks with an empty line between them.
QString TermsText();
// The same text with a copyright notice at the end of the rights paragraph.
QString TermsTextWithNotice();

// Start-up step: the terms text into mooinfo.
void ShowTerms(frmWinsock& form);
// The text with the notice into mooinfo (a click on the "Local Host IP" label).
void ShowTermsWithNotice(frmWinsock& form);
}  // namespace Moodule
