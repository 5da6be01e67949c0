#include "about/terms.h"

#include <QStringList>

namespace Moodule {
namespace {

const char kCopyrightNotice[] = "Copyright (C) The Norvane authors. All rights reserved.";

// The blocks in order. A paragraph is several pieces; where a sentence runs on from one
// piece to the next, the earlier piece ends in a blank.
QStringList TermsBlocks() {
    return {
        QStringLiteral("Norvane 1.0"),
        QStringLiteral("Right of use to the Enduser:"),
        QStringLiteral("Norvane is free to use on the conditions that follow. ") +
            QStringLiteral("Whoever cannot or will not accept every one of them may not use, "
                           "distribute or possess this program, even where the law of the "
                           "land would grant more rights."),
        QStringLiteral(" Instead of paying for Norvane, we ask one small favour: the next time "
                       "you pass a farm, stop and feed a cow a handful of fresh hay. ") +
            QStringLiteral("If there is no farm nearby, then the next time a beef burger is on "
                           "the menu, ") +
            QStringLiteral("choose the meatless dish instead and think of the cow who gets to "
                           "go on grazing. ") +
            QStringLiteral("We have always been fond of cows, and this is our way of saying so."),
        QStringLiteral("Disclaimer of Warrantee: "),
        QStringLiteral("Norvane comes as it is, without any warranty, express or implied, as to "
                       "its performance or its merchantability."),
        QStringLiteral("Limitations:"),
        QStringLiteral("You may make one backup copy of Norvane, in the form in which it was "
                       "distributed to you."),
        QStringLiteral("Distribution "),
        QStringLiteral("Once you have told the author by e-mail that you wish to pass Norvane "
                       "on ") +
            QStringLiteral("and have received a release in reply, you may give away exact "
                           "copies of it, ") +
            QStringLiteral("complete and unchanged, free of charge."),
        QStringLiteral("You may not charge for copies of Norvane or ask for donations for "
                       "them, ") +
            QStringLiteral("nor distribute it together with any other product without the "
                           "author's written permission."),
        QStringLiteral("Norvane may not be used by anyone employed by a government, or drawing "
                       "more than 30% of their yearly income from one, ") +
            QStringLiteral("nor by the members of their immediate families. ") +
            QStringLiteral("This covers national, regional and local governments, their "
                           "ministries, agencies, armed forces and police, ") +
            QStringLiteral("and every body owned or funded mainly by them. ") +
            QStringLiteral("Public schools, libraries and hospitals are excepted, and so are "
                           "volunteer fire brigades."),
        QStringLiteral("Norvane may not be used by the users or the staff of Bramblewick "
                       "Software ") +
            QStringLiteral("unless they have also tried at least one competing web browser ") +
            QStringLiteral("besides Bramblewick Wayfarer."),
        QStringLiteral("Decompiling and Alteration Restrictions"),
        QStringLiteral("You may not reverse engineer, decompile or alter Norvane or any of its "
                       "files. ") +
            QStringLiteral("Its source code is not available."),
        QStringLiteral("Norvane was made with the Qt toolkit and may contain Qt's "
                       "redistributable libraries, ") +
            QStringLiteral("which remain the property of The Qt Company and the other holders "
                           "of their copyrights, under their own licences. ") +
            QStringLiteral("All other questions of rights go to the author. "),
        QStringLiteral("If you have read all of this, click on the cow in the \"About\" tab "
                       ":-) "),
    };
}

constexpr int kRightsBlock = 15;  // counting from 0

QString Join(const QStringList& blocks) {
    return blocks.join(QStringLiteral("\r\n\r\n"));
}

}  // namespace

QString TermsText() {
    return Join(TermsBlocks());
}

QString TermsTextWithNotice() {
    QStringList blocks = TermsBlocks();
    blocks[kRightsBlock] += QLatin1String(kCopyrightNotice);
    return Join(blocks);
}

}  // namespace Moodule
