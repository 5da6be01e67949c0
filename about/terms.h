#pragma once
// The terms of use shown on the "About" tab.

class frmWinsock;

namespace Moodule {
// Start-up step: the terms text.
void ShowTerms(frmWinsock& form);
// The same text with a copyright notice added (a click on the "Local Host IP" label).
void ShowTermsWithNotice(frmWinsock& form);
}  // namespace Moodule
