// The whois reply as the output box shows it, read in pieces cut anywhere:
// - the exact text is the same as from one read;
// - the box shows one line per line end, a longer line broken after every
//   LineBreaks::kLongLine characters, never inside a surrogate pair;
// - a selection always stands between two of the box's characters, and a copy takes the exact
//   text between them;
// - after an edit, the box shows the lines of the edited text;
// - the count by which a reply is cut never falls below what the box holds.

#include <cstdint>
#include <memory>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <QApplication>

#include "fuzz/check.h"
#include "whois/whois.h"

namespace {

// The box's memory per character and per line, as the reply bound counts it, and what it may
// take beyond that for a short text, whose string has room for a few characters more.
constexpr qsizetype kBytesPerCharacter = whois::Client::kBoxBytesPerCharacter;
constexpr qsizetype kBytesPerLine = whois::Client::kBoxBytesPerLine;
constexpr qsizetype kShortTextRoom = 1024;

bool IsLineEnd(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// The lines of the exact text, character by character.
QStringList Reference(const QString& exact) {
    QStringList lines{QString()};
    for (qsizetype at = 0; at < exact.size();) {
        if (IsLineEnd(exact[at])) {
            // One or more CRs and an LF behind them make one line end.
            if (exact[at] == u'\r') {
                while (at < exact.size() && exact[at] == u'\r') {
                    ++at;
                }
                at += at < exact.size() && exact[at] == u'\n' ? 1 : 0;
            } else {
                ++at;
            }
            lines.append(QString());
            continue;
        }
        if (lines.back().size() == whois::LineBreaks::kLongLine) {
            const bool cutsPair = exact[at].isLowSurrogate() && exact[at - 1].isHighSurrogate();
            lines.append(cutsPair ? QString(exact[at - 1]) : QString());
            if (cutsPair) {
                lines[lines.size() - 2].chop(1);
            }
        }
        lines.back() += exact[at++];
    }
    return lines;
}

struct Box {
    QObject window;
    whois::OutputBox* text = new whois::OutputBox;
    std::unique_ptr<whois::Client> client;
    Box() {
        whois::Tab tab;
        tab.txtWinsock = text;
        client = std::make_unique<whois::Client>(tab, &window);
        client->SetReplyLimit(whois::Client::kBoxLimit);
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Box box;
    FuzzedDataProvider input(data, size);
    std::vector<std::size_t> cuts(input.ConsumeIntegralInRange(0, 8));
    for (std::size_t& cut : cuts) {
        cut = input.ConsumeIntegral<std::uint16_t>();
    }
    std::vector<std::pair<qsizetype, qsizetype>> selections(4);
    for (auto& [from, to] : selections) {
        from = input.ConsumeIntegral<std::uint16_t>();
        to = input.ConsumeIntegral<std::uint16_t>();
    }
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    // One read, then the same bytes in pieces, through the client as its reads reach it.
    whois::ReplyDecoder whole;
    const QString exact =
        whole.Decode(QByteArrayView(bytes.data(), qsizetype(bytes.size()))) + whole.Finish();
    whois::Client& client = *box.client;
    client.SetOutputText(QString());
    client.StartReply();
    std::size_t start = 0;
    cuts.push_back(bytes.size());
    for (const std::size_t cut : cuts) {
        const std::size_t end = std::clamp(cut, start, bytes.size());
        client.AppendOutput(
            client.DecodeReply(QByteArrayView(bytes.data() + start, qsizetype(end - start))));
        start = end;
    }
    client.AppendOutput(client.FinishReply());
    CHECK(client.OutputText() == exact);

    QStringList shown = Reference(exact);
    for (QString& line : shown) {
        line = whois::ShownLine(line);
    }
    CHECK(box.text->toPlainText().split(u'\n') == shown);

    for (auto [from, to] : selections) {
        box.text->SetSelection(from % (exact.size() + 1), to % (exact.size() + 1));
        // Neither end stands inside a line end (a CR with more CRs or an LF behind it) or a
        // surrogate pair.
        for (const qsizetype at : {box.text->Anchor(), box.text->CursorPosition()}) {
            const bool inside =
                at > 0 && at < exact.size() &&
                ((exact[at - 1] == u'\r' && (exact[at] == u'\r' || exact[at] == u'\n')) ||
                 (exact[at - 1].isHighSurrogate() && exact[at].isLowSurrogate()));
            CHECK(!inside);
        }
        const qsizetype begin = std::min(box.text->Anchor(), box.text->CursorPosition());
        const qsizetype end = std::max(box.text->Anchor(), box.text->CursorPosition());
        CHECK(box.text->SelectedText() == exact.mid(begin, end - begin));
    }

    // An edit anywhere, of a piece of the text itself, leaves the lines of the new text.
    const auto [from, to] = selections.front();
    box.text->Edit(from % (exact.size() + 1), to % (exact.size() + 1), exact.right(from % 7));
    shown = Reference(box.text->Text());
    for (QString& line : shown) {
        line = whois::ShownLine(line);
    }
    CHECK(box.text->toPlainText().split(u'\n') == shown);

    const qsizetype counted =
        box.text->Text().size() * kBytesPerCharacter + box.text->Lines() * kBytesPerLine;
    CHECK(box.text->MemoryNeeded() <= counted + kShortTextRoom);
    return 0;
}
