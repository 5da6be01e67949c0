// The whois reply as the output box shows it, read in pieces cut anywhere:
// - the exact text is the same as from one read;
// - what the box shows is the exact text with one break per line end and one after every
//   ShownText::kLongLine characters of a longer line, and the copy of any selection of it is
//   the part of the exact text that the selection stands for;
// - the box's cost estimate, by which a reply is cut, never falls below what the box holds.

#include <cstdint>
#include <memory>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <QApplication>
#include <QPlainTextEdit>

#include "fuzz/check.h"
#include "whois/whois.h"

namespace {

// The box's memory per character and per line, as its estimate counts it.
constexpr qsizetype kBytesPerCharacter = whois::Client::kBoxBytesPerCharacter;
constexpr qsizetype kBytesPerLine = whois::Client::kBoxBytesPerLine;

bool IsLineEnd(QChar c) {
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// What the box shows of the exact text, position by position: where in the exact text each
// shown character begins, whether it is a break, and past the end the exact text's size.
struct Shown {
    std::vector<qsizetype> from;
    std::vector<bool> isBreak;
};

Shown Reference(const QString& exact) {
    Shown shown;
    qsizetype column = 0;
    for (qsizetype at = 0; at < exact.size();) {
        if (IsLineEnd(exact[at])) {
            shown.from.push_back(at);
            shown.isBreak.push_back(true);
            // One or more CRs and an LF behind them make one line end.
            if (exact[at] == u'\r') {
                while (at < exact.size() && exact[at] == u'\r') {
                    ++at;
                }
                at += at < exact.size() && exact[at] == u'\n' ? 1 : 0;
            } else {
                ++at;
            }
            column = 0;
            continue;
        }
        if (column == whois::ShownText::kLongLine) {
            shown.from.push_back(at);
            shown.isBreak.push_back(true);
            column = 0;
        }
        shown.from.push_back(at);
        shown.isBreak.push_back(false);
        ++column;
        ++at;
    }
    shown.from.push_back(exact.size());
    return shown;
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

    client.CatchUp();
    const QString shown = box.text->toPlainText();
    const Shown reference = Reference(exact);
    CHECK(shown.size() + 1 == qsizetype(reference.from.size()));
    for (qsizetype i = 0; i < shown.size(); ++i) {
        CHECK((shown[i] == u'\n') == reference.isBreak[std::size_t(i)]);
    }
    selections.emplace_back(0, shown.size());
    for (auto [from, to] : selections) {
        from %= shown.size() + 1;
        to %= shown.size() + 1;
        const qsizetype begin = reference.from[std::size_t(from)];
        const qsizetype end = reference.from[std::size_t(std::max(from, to))];
        CHECK(whois::ExactSelection(exact, shown, from, to) == exact.mid(begin, end - begin));
    }

    // Room is left only for what the estimate leaves: never more than what the box holds
    // leaves.
    const qsizetype counted =
        shown.size() * kBytesPerCharacter + shown.count(u'\n') * kBytesPerLine;
    CHECK(client.ReplyRoom() <=
          (whois::Client::kBoxLimit - counted) / (kBytesPerCharacter + kBytesPerLine));
    return 0;
}
