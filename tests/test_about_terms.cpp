// The terms of use on the "About" tab and its variant with the copyright notice.

#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include "about/terms.h"
#include "platform/controls.h"
#include "app/frmwinsock.h"

namespace {

const QString kBetweenBlocks = QStringLiteral("\r\n\r\n");

// The box keeps paragraphs, and gives its text back with LF line ends.
QString AsTheBoxHoldsIt(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

TEST(Terms, SeventeenBlocksWithTheirFixedTitleAndHeadings) {
    const QString text = Moodule::TermsText();
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("Norvane 1.0\r\n\r\nRight of use to the Enduser:\r\n\r\n")));
    EXPECT_FALSE(text.endsWith(QLatin1Char('\n')));
    EXPECT_FALSE(text.contains(QStringLiteral("\r\n\r\n\r\n")));
    // No line end other than the separators.
    EXPECT_EQ(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));

    const QStringList blocks = text.split(kBetweenBlocks);
    ASSERT_EQ(blocks.size(), 17);
    EXPECT_EQ(blocks[0], QStringLiteral("Norvane 1.0"));
    EXPECT_EQ(blocks[1], QStringLiteral("Right of use to the Enduser:"));
    EXPECT_TRUE(blocks[3].startsWith(QLatin1Char(' ')));
    EXPECT_FALSE(blocks[3].startsWith(QStringLiteral("  ")));
    EXPECT_EQ(blocks[4], QStringLiteral("Disclaimer of Warrantee: "));
    EXPECT_EQ(blocks[6], QStringLiteral("Limitations:"));
    EXPECT_EQ(blocks[8], QStringLiteral("Distribution "));
    EXPECT_EQ(blocks[13], QStringLiteral("Decompiling and Alteration Restrictions"));
    EXPECT_TRUE(blocks[15].endsWith(QLatin1Char(' ')));
    EXPECT_TRUE(blocks[16].endsWith(QLatin1Char(' ')));
    EXPECT_TRUE(blocks[16].contains(QStringLiteral("\"About\"")));
    for (const QString& block : blocks) {
        EXPECT_FALSE(block.isEmpty());
        EXPECT_FALSE(block.contains(QLatin1Char('\n'))) << block.toStdString();
    }
}

TEST(Terms, TheNoticeVariantDiffersOnlyInsideTheRightsParagraph) {
    const QStringList plain = Moodule::TermsText().split(kBetweenBlocks);
    const QStringList noticed = Moodule::TermsTextWithNotice().split(kBetweenBlocks);
    ASSERT_EQ(noticed.size(), 17);
    for (int k = 0; k < 17; ++k) {
        if (k != 15) {
            EXPECT_EQ(noticed[k], plain[k]) << "block " << k + 1;
        }
    }
    ASSERT_TRUE(noticed[15].startsWith(plain[15]));
    const QString notice = noticed[15].mid(plain[15].size());
    EXPECT_TRUE(notice.startsWith(QStringLiteral("Copyright"))) << notice.toStdString();
}

TEST(Terms, StartUpFillsTheBoxAndTheLocalHostIpLabelAddsTheNotice) {
    frmWinsock form;
    EXPECT_TRUE(form.mooinfo->toPlainText().isEmpty());
    ASSERT_TRUE(form.Load());
    EXPECT_EQ(form.mooinfo->toPlainText(), AsTheBoxHoldsIt(Moodule::TermsText()));
    EXPECT_TRUE(form.mooinfo->isReadOnly());

    QTest::mouseClick(form.Label7, Qt::LeftButton);
    const QString first = form.mooinfo->toPlainText();
    EXPECT_EQ(first, AsTheBoxHoldsIt(Moodule::TermsTextWithNotice()));
    QTest::mouseClick(form.Label7, Qt::LeftButton);
    EXPECT_EQ(form.mooinfo->toPlainText(), first);
}

}  // namespace
