#include "about/terms.h"

#include "app/frmwinsock.h"

namespace Moodule {
void ShowTerms(frmWinsock&) {}
void ShowTermsWithNotice(frmWinsock&) {}
}  // namespace Moodule
