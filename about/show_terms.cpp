#include <QPlainTextEdit>

#include "about/terms.h"

namespace Moodule {

void ShowTerms(QPlainTextEdit* mooinfo) {
    mooinfo->setPlainText(TermsText());
}

void ShowTermsWithNotice(QPlainTextEdit* mooinfo) {
    mooinfo->setPlainText(TermsTextWithNotice());
}

}  // namespace Moodule
