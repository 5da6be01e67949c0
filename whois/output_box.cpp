#include "whois/output_box.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBoundaryFinder>
#include <QTextLayout>

namespace whois {

namespace {

constexpr int kMargin = 4;              // around the text, as other text boxes leave
constexpr int kFrameMilliseconds = 16;  // the box shows what was added at most this often
// The layouts kept for lines that come back on screen, up to this many characters.
constexpr qsizetype kLaidOutCharacters = 1 << 16;
constexpr qreal kTabStop = 80;

// What screen readers are given of the box: its exact text, with offsets in it.
class Accessible : public QAccessibleWidget,
                   public QAccessibleTextInterface,
                   public QAccessibleEditableTextInterface {
public:
    explicit Accessible(OutputBox* box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        if (type == QAccessible::EditableTextInterface) {
            return static_cast<QAccessibleEditableTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.multiLine = true;
        state.editable = true;
        state.selectableText = true;
        return state;
    }
    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Value ? Box()->Text() : QAccessibleWidget::text(t);
    }

    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        if (index == 0 && Box()->Anchor() != Box()->CursorPosition()) {
            *start = int(std::min(Box()->Anchor(), Box()->CursorPosition()));
            *end = int(std::max(Box()->Anchor(), Box()->CursorPosition()));
        }
    }
    int selectionCount() const override { return Box()->Anchor() != Box()->CursorPosition(); }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override {
        Box()->SetSelection(Box()->CursorPosition(), Box()->CursorPosition());
    }
    void setSelection(int, int start, int end) override { Box()->SetSelection(start, end); }
    int cursorPosition() const override { return int(Box()->CursorPosition()); }
    void setCursorPosition(int position) override { Box()->SetSelection(position, position); }
    QString text(int start, int end) const override {
        return Box()->Text().mid(start, std::max(0, end - start));
    }
    int characterCount() const override { return int(Box()->Text().size()); }
    QRect characterRect(int offset) const override {
        const QRect caret = Box()->PositionRect(offset);
        const QRect next =
            Box()->PositionRect(std::min<qsizetype>(offset + 1, Box()->Text().size()));
        const int width = next.top() == caret.top() ? std::max(1, next.left() - caret.left()) : 1;
        const QPoint corner = Box()->viewport()->mapToGlobal(caret.topLeft());
        return QRect(corner.x() + 1, corner.y(), width, caret.height());
    }
    int offsetAtPoint(const QPoint& point) const override {
        return int(Box()->PositionAt(Box()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int start, int end) override {
        Box()->EnsureVisible(end);
        Box()->EnsureVisible(start);
    }
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return QString();
    }

    void deleteText(int start, int end) override { Box()->Edit(start, end, QString()); }
    void insertText(int offset, const QString& text) override { Box()->Edit(offset, offset, text); }
    void replaceText(int start, int end, const QString& text) override {
        Box()->Edit(start, end, text);
    }

private:
    OutputBox* Box() const { return static_cast<OutputBox*>(widget()); }
};

QAccessibleInterface* AccessibleFactory(const QString& className, QObject* object) {
    return className == QLatin1String(OutputBox::staticMetaObject.className())
               ? new Accessible(static_cast<OutputBox*>(object))
               : nullptr;
}

}  // namespace

OutputBox::OutputBox(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool accessible = (QAccessible::installFactory(&AccessibleFactory), true);
    Q_UNUSED(accessible);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, [this] {
        SyncScrollBar();
        viewport()->update();
    });
    connect(&blink_, &QTimer::timeout, this, [this] {
        caretOn_ = !caretOn_;
        viewport()->update(PositionRect(cursor_));
    });
    verticalScrollBar()->setSingleStep(1);
    breaks_.Read(text_);
}

OutputBox::~OutputBox() = default;

QString OutputBox::toPlainText() const {
    QString shown;
    shown.reserve(text_.size());
    for (qsizetype line = 0; line < Lines(); ++line) {
        if (line > 0) {
            shown += QLatin1Char('\n');
        }
        shown += ShownLine(QStringView(text_)
                               .sliced(breaks_.Start(line))
                               .first(breaks_.End(text_, line) - breaks_.Start(line)));
    }
    return shown;
}

qsizetype OutputBox::MemoryNeeded() const {
    return text_.capacity() * qsizetype(sizeof(QChar)) + breaks_.MemoryNeeded();
}

// ---- the text -------------------------------------------------------------------------------

void OutputBox::SetText(const QString& text) {
    const QString before = text_;
    text_ = text;
    text_.truncate(LineBreaks::kMostCharacters);
    Reread();
    TellTextUpdated(before);
    undo_.clear();
    redo_.clear();
    cursor_ = anchor_ = 0;
    top_ = {};
    followEnd_ = false;
    verticalScrollBar()->setValue(0);
    Flush();
    emit cursorPositionChanged();
    emit selectionChanged();
}

void OutputBox::ReplaceText(const QString& text) {
    const auto lineAndColumn = [this](qsizetype position) {
        const qsizetype line = breaks_.LineOf(position);
        return std::pair(line, position - breaks_.Start(line));
    };
    const auto [cursorLine, cursorColumn] = lineAndColumn(cursor_);
    const auto [anchorLine, anchorColumn] = lineAndColumn(anchor_);
    const QString before = text_;
    text_ = text;
    text_.truncate(LineBreaks::kMostCharacters);
    Reread();
    TellTextUpdated(before);
    const auto position = [this](qsizetype line, qsizetype column) {
        line = std::min(line, Lines() - 1);
        return Snap(breaks_.Start(line) + column);
    };
    cursor_ = position(cursorLine, cursorColumn);
    anchor_ = position(anchorLine, anchorColumn);
    undo_.clear();
    redo_.clear();
    Flush();
}

void OutputBox::Append(QStringView text) {
    text = text.first(std::min(text.size(), LineBreaks::kMostCharacters - text_.size()));
    const qsizetype lastLine = Lines() - 1;
    const qsizetype at = text_.size();
    text_ += text;
    breaks_.Read(text_);
    // The last line may have grown; the lines after it are new.
    if (const auto laid = layouts_.find(lastLine); laid != layouts_.end()) {
        laidOut_ -= laid->second->text().size();
        layouts_.erase(laid);
    }
    endKnown_ = false;
    const bool moved = cursor_ != text_.size() || anchor_ != cursor_;
    const bool hadSelection = anchor_ != cursor_;
    cursor_ = anchor_ = text_.size();
    followEnd_ = true;
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent inserted(this, int(at), text.toString());
        QAccessible::updateAccessibility(&inserted);
    }
    if (moved) {
        emit cursorPositionChanged();
    }
    if (hadSelection) {
        emit selectionChanged();
    }
    RequestFrame();
}

void OutputBox::TellTextUpdated(const QString& before) {
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent updated(this, 0, before, text_);
        QAccessible::updateAccessibility(&updated);
    }
}

void OutputBox::Flush() {
    frame_.stop();
    SyncScrollBar();
    viewport()->update();
}

void OutputBox::Reread() {
    breaks_ = LineBreaks();
    breaks_.Read(text_);
    Forget();
}

void OutputBox::Forget() const {
    layouts_.clear();
    laidOut_ = 0;
    endKnown_ = false;
}

void OutputBox::Edit(qsizetype from, qsizetype to, const QString& text) {
    from = std::clamp<qsizetype>(from, 0, text_.size());
    to = std::clamp<qsizetype>(to, from, text_.size());
    const QString kept = text.first(
        std::min(text.size(), LineBreaks::kMostCharacters - (text_.size() - (to - from))));
    if (from == to && kept.isEmpty()) {
        return;
    }
    undo_.push_back({from, text_.mid(from, to - from), kept});
    redo_.clear();
    Replace(from, to, kept);
}

void OutputBox::Replace(qsizetype from, qsizetype to, const QString& text) {
    const bool hadSelection = anchor_ != cursor_;
    if (QAccessible::isActive() && to > from) {
        QAccessibleTextRemoveEvent removed(this, int(from), text_.mid(from, to - from));
        QAccessible::updateAccessibility(&removed);
    }
    wantedX_ = -1;
    text_.replace(from, to - from, text);
    if (text_.capacity() > 2 * text_.size()) {
        text_.squeeze();  // much was taken out: its room is given back
    }
    breaks_.ReadFrom(text_, from);
    Forget();
    cursor_ = anchor_ = Snap(from + text.size());
    followEnd_ = false;
    if (QAccessible::isActive() && !text.isEmpty()) {
        QAccessibleTextInsertEvent inserted(this, int(from), text);
        QAccessible::updateAccessibility(&inserted);
    }
    EnsureVisible(cursor_);
    emit cursorPositionChanged();
    if (hadSelection) {
        emit selectionChanged();
    }
}

void OutputBox::undo() {
    if (undo_.empty()) {
        return;
    }
    Change change = std::move(undo_.back());
    undo_.pop_back();
    Replace(change.at, change.at + change.inserted.size(), change.removed);
    redo_.push_back(std::move(change));
}

void OutputBox::redo() {
    if (redo_.empty()) {
        return;
    }
    Change change = std::move(redo_.back());
    redo_.pop_back();
    Replace(change.at, change.at + change.removed.size(), change.inserted);
    undo_.push_back(std::move(change));
}

// ---- the caret and the selection ------------------------------------------------------------

qsizetype OutputBox::Snap(qsizetype position) const {
    position = std::clamp<qsizetype>(position, 0, text_.size());
    const qsizetype line = breaks_.LineOf(position);
    position = std::min(position, breaks_.End(text_, line));
    if (position > breaks_.Start(line) && position < text_.size() &&
        text_[position].isLowSurrogate() && text_[position - 1].isHighSurrogate()) {
        --position;
    }
    return position;
}

void OutputBox::SetSelection(qsizetype anchor, qsizetype cursor) {
    anchor = Snap(anchor);
    cursor = Snap(cursor);
    const bool selectionChanges = anchor != anchor_ || cursor != cursor_;
    const bool cursorMoves = cursor != cursor_;
    if (!selectionChanges) {
        return;
    }
    const bool hadSelection = anchor_ != cursor_;
    viewport()->update(PositionRect(cursor_));
    anchor_ = anchor;
    cursor_ = cursor;
    caretOn_ = true;
    if (hadSelection || anchor_ != cursor_) {
        viewport()->update();
        emit selectionChanged();
        if (QAccessible::isActive()) {
            QAccessibleTextSelectionEvent selected(this, int(std::min(anchor_, cursor_)),
                                                   int(std::max(anchor_, cursor_)));
            selected.setCursorPosition(int(cursor_));
            QAccessible::updateAccessibility(&selected);
        }
    }
    if (cursorMoves) {
        viewport()->update(PositionRect(cursor_));
        emit cursorPositionChanged();
        if (QAccessible::isActive()) {
            QAccessibleTextCursorEvent moved(this, int(cursor_));
            QAccessible::updateAccessibility(&moved);
        }
    }
}

QString OutputBox::SelectedText() const {
    const qsizetype from = std::min(anchor_, cursor_);
    return text_.mid(from, std::max(anchor_, cursor_) - from);
}

void OutputBox::selectAll() {
    SetSelection(0, text_.size());
    SetSelectionClipboard();
}

void OutputBox::copy() const {
    if (anchor_ != cursor_) {
        QGuiApplication::clipboard()->setText(SelectedText());
    }
}

void OutputBox::cut() {
    if (anchor_ != cursor_) {
        copy();
        Edit(std::min(anchor_, cursor_), std::max(anchor_, cursor_), QString());
    }
}

void OutputBox::paste() {
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty()) {
        Edit(std::min(anchor_, cursor_), std::max(anchor_, cursor_), text);
    }
}

void OutputBox::SetSelectionClipboard() const {
    if (anchor_ != cursor_ && QGuiApplication::clipboard()->supportsSelection()) {
        QGuiApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
    }
}

void OutputBox::MoveCursor(qsizetype position, bool select) {
    SetSelection(select ? anchor_ : position, position);
    EnsureVisible(cursor_);
}

qsizetype OutputBox::Moved(qsizetype position, Move move) {
    const qsizetype line = breaks_.LineOf(position);
    const qsizetype start = breaks_.Start(line);
    const qsizetype end = breaks_.End(text_, line);
    QTextLayout* layout = Layout(line);
    const auto withinLine = [&](qsizetype at) { return start + at; };
    if (move != Move::Up && move != Move::Down && move != Move::PageUp && move != Move::PageDown) {
        wantedX_ = -1;
    }
    switch (move) {
        case Move::Right:
        case Move::WordRight:
            if (position < end) {
                return withinLine(layout->nextCursorPosition(
                    int(position - start),
                    move == Move::Right ? QTextLayout::SkipCharacters : QTextLayout::SkipWords));
            }
            return line + 1 < Lines() ? breaks_.Start(line + 1) : position;
        case Move::Left:
        case Move::WordLeft: {
            const auto mode =
                move == Move::Left ? QTextLayout::SkipCharacters : QTextLayout::SkipWords;
            if (position > start) {
                return withinLine(layout->previousCursorPosition(int(position - start), mode));
            }
            if (line == 0) {
                return position;
            }
            // Behind the line end, or into a long line broken here.
            const qsizetype previousEnd = breaks_.End(text_, line - 1);
            if (previousEnd < position) {
                return previousEnd;
            }
            const qsizetype previousStart = breaks_.Start(line - 1);
            return previousStart +
                   Layout(line - 1)->previousCursorPosition(int(previousEnd - previousStart), mode);
        }
        case Move::RowStart:
        case Move::RowEnd: {
            const QTextLine row = layout->lineForTextPosition(int(position - start));
            if (move == Move::RowStart) {
                return withinLine(row.textStart());
            }
            const qsizetype rowEnd = withinLine(row.textStart() + row.textLength());
            // A wrapped row ends before the blank at which it wraps.
            return row.lineNumber() + 1 < layout->lineCount() && rowEnd > start &&
                           text_[rowEnd - 1].isSpace()
                       ? rowEnd - 1
                       : std::min(rowEnd, end);
        }
        case Move::Start:
            return 0;
        case Move::End:
            return text_.size();
        case Move::Up:
        case Move::Down:
        case Move::PageUp:
        case Move::PageDown: {
            const QTextLine row = layout->lineForTextPosition(int(position - start));
            if (wantedX_ < 0) {
                wantedX_ = row.cursorToX(int(position - start));
            }
            const qsizetype rows = move == Move::Up       ? -1
                                   : move == Move::Down   ? 1
                                   : move == Move::PageUp ? -qsizetype(RowsOnScreen())
                                                          : qsizetype(RowsOnScreen());
            const Place from{line, row.lineNumber()};
            const Place to = Advance(from, rows);
            if (to == from) {
                return rows < 0 ? 0 : text_.size();
            }
            if (move == Move::PageUp || move == Move::PageDown) {
                SetTop(Advance(Top(), rows));  // the page turns with the caret
            }
            const QTextLine target = Layout(to.line)->lineAt(to.row);
            return Snap(breaks_.Start(to.line) + target.xToCursor(wantedX_));
        }
    }
    return position;
}

// ---- layout and scrolling -------------------------------------------------------------------

int OutputBox::RowHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int OutputBox::RowsOnScreen() const {
    return std::max(1, (viewport()->height() - 2 * kMargin) / RowHeight());
}

QTextLayout* OutputBox::Layout(qsizetype line) const {
    if (const auto laid = layouts_.find(line); laid != layouts_.end()) {
        return laid->second.get();
    }
    if (laidOut_ > kLaidOutCharacters) {
        layouts_.clear();
        laidOut_ = 0;
    }
    const qsizetype start = breaks_.Start(line);
    auto layout = std::make_unique<QTextLayout>(
        ShownLine(QStringView(text_).sliced(start, breaks_.End(text_, line) - start)), font(),
        viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(kTabStop);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (!preedit_.isEmpty() && breaks_.LineOf(cursor_) == line) {
        layout->setPreeditArea(int(cursor_ - start), preedit_);
    }
    const qreal width = std::max(1, viewport()->width() - 2 * kMargin);
    layout->beginLayout();
    for (int row = 0;; ++row) {
        QTextLine textLine = layout->createLine();
        if (!textLine.isValid()) {
            break;
        }
        textLine.setLineWidth(width);
        textLine.setPosition(QPointF(0, row * RowHeight()));
    }
    layout->endLayout();
    laidOut_ += layout->text().size();
    return layouts_.emplace(line, std::move(layout)).first->second.get();
}

OutputBox::Place OutputBox::EndTop() const {
    if (!endKnown_) {
        // Back from the end until the rows fill the screen.
        qsizetype rows = RowsOnScreen();
        endTop_ = {};
        for (qsizetype line = Lines() - 1; line >= 0; --line) {
            const int count = Layout(line)->lineCount();
            if (count >= rows) {
                endTop_ = {line, int(count - rows)};
                break;
            }
            rows -= count;
        }
        endKnown_ = true;
    }
    return endTop_;
}

OutputBox::Place OutputBox::Top() const {
    return followEnd_ ? EndTop() : std::min(top_, EndTop());
}

OutputBox::Place OutputBox::Advance(Place place, qsizetype rows) const {
    for (; rows > 0; --rows) {
        if (place.row + 1 < Layout(place.line)->lineCount()) {
            ++place.row;
        } else if (place.line + 1 < Lines()) {
            place = {place.line + 1, 0};
        } else {
            break;
        }
    }
    for (; rows < 0; ++rows) {
        if (place.row > 0) {
            --place.row;
        } else if (place.line > 0) {
            place = {place.line - 1, Layout(place.line - 1)->lineCount() - 1};
        } else {
            break;
        }
    }
    return place;
}

qsizetype OutputBox::RowsBetween(Place from, Place to, qsizetype most) const {
    qsizetype rows = -from.row;
    for (qsizetype line = from.line; line < to.line && rows < most; ++line) {
        rows += Layout(line)->lineCount();
    }
    return std::min(rows + to.row, most);
}

OutputBox::Place OutputBox::PlaceOf(qsizetype position) const {
    const qsizetype line = breaks_.LineOf(position);
    return {line,
            Layout(line)->lineForTextPosition(int(position - breaks_.Start(line))).lineNumber()};
}

void OutputBox::SetTop(Place top) {
    top_ = std::min(top, EndTop());
    followEnd_ = top_ == EndTop() && top_ != Place{};
    SyncScrollBar();
    viewport()->update();
}

void OutputBox::SyncScrollBar() {
    syncing_ = true;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, int(std::min<qsizetype>(EndTop().line, INT_MAX)));
    bar->setPageStep(RowsOnScreen());
    bar->setValue(int(Top().line));
    syncing_ = false;
}

void OutputBox::scrollContentsBy(int, int) {
    if (syncing_) {
        return;
    }
    const QScrollBar* bar = verticalScrollBar();
    followEnd_ = bar->value() == bar->maximum() && bar->maximum() > 0;
    top_ = {bar->value(), 0};
    viewport()->update();
}

void OutputBox::EnsureVisible(qsizetype position) {
    const Place place = PlaceOf(position);
    const Place top = Top();
    const qsizetype rows = RowsOnScreen();
    if (place < top) {
        SetTop(place);
    } else if (RowsBetween(top, place, rows) >= rows) {
        SetTop(Advance(place, 1 - rows));
    } else {
        SyncScrollBar();
    }
}

void OutputBox::RequestFrame() {
    if (frame_.isActive()) {
        return;
    }
    const qint64 since = sincePaint_.isValid() ? sincePaint_.elapsed() : kFrameMilliseconds;
    frame_.start(int(std::max<qint64>(0, kFrameMilliseconds - since)));
}

QRect OutputBox::PositionRect(qsizetype position) const {
    const Place top = Top();
    const Place place = PlaceOf(position);
    const qsizetype rows = RowsOnScreen() + 1;
    const qsizetype row = place < top ? -1 : RowsBetween(top, place, rows);
    const qsizetype line = place.line;
    const QTextLine textLine = Layout(line)->lineAt(place.row);
    const qreal x = textLine.cursorToX(int(position - breaks_.Start(line)));
    return QRect(kMargin + int(x) - 1, kMargin + int(row) * RowHeight(), 3, RowHeight());
}

qsizetype OutputBox::PositionAt(QPoint point) const {
    Place place = Advance(Top(), std::max(0, point.y() - kMargin) / RowHeight());
    if (point.y() >= kMargin + RowsOnScreen() * RowHeight()) {
        place = Advance(Top(), RowsOnScreen());  // the row below the screen
    }
    const QTextLine row = Layout(place.line)->lineAt(place.row);
    return Snap(breaks_.Start(place.line) + row.xToCursor(point.x() - kMargin));
}

// ---- painting -------------------------------------------------------------------------------

void OutputBox::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    sincePaint_.start();
    const Place top = Top();
    const qsizetype from = std::min(anchor_, cursor_);
    const qsizetype to = std::max(anchor_, cursor_);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    painter.setPen(palette().color(QPalette::Text));
    const bool showCaret = hasFocus() && caretOn_ && from == to;
    qreal y = kMargin - top.row * RowHeight();
    for (qsizetype line = top.line; line < Lines() && y < viewport()->height(); ++line) {
        QTextLayout* layout = Layout(line);
        const qsizetype start = breaks_.Start(line);
        const qsizetype end = breaks_.End(text_, line);
        const QPointF origin(kMargin, y);
        y += layout->lineCount() * RowHeight();
        if (y < event->rect().top()) {
            continue;
        }
        QList<QTextLayout::FormatRange> selections;
        if (from < to && from <= end && to >= start) {
            const qsizetype first = std::max(from, start) - start;
            selections.append({int(first), int(std::min(to, end) - start - first), selected});
            // A selected line end shows as a blank's width behind the line.
            if (to > end && end < (line + 1 < Lines() ? breaks_.Start(line + 1) : end)) {
                const QTextLine last = layout->lineAt(layout->lineCount() - 1);
                painter.fillRect(
                    QRectF(origin.x() + last.naturalTextWidth(), origin.y() + last.y(),
                           fontMetrics().horizontalAdvance(QLatin1Char(' ')), RowHeight()),
                    palette().brush(QPalette::Highlight));
            }
        }
        layout->draw(&painter, origin, selections);
        if (showCaret && cursor_ >= start && cursor_ <= end && breaks_.LineOf(cursor_) == line) {
            layout->drawCursor(&painter, origin, int(cursor_ - start + preedit_.size()), 1);
        }
    }
}

void OutputBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Forget();
    SyncScrollBar();
}

void OutputBox::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        Forget();
        SyncScrollBar();
    }
}

// ---- the user's input -----------------------------------------------------------------------

bool OutputBox::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // The keys that edit and move in the box are the box's, not a shortcut's.
        auto* key = static_cast<QKeyEvent*>(event);
        if (key == QKeySequence::Copy || key == QKeySequence::SelectAll ||
            key == QKeySequence::Paste || key == QKeySequence::Cut || key == QKeySequence::Undo ||
            key == QKeySequence::Redo ||
            (!key->text().isEmpty() && key->text().front().isPrint() &&
             (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0)) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

bool OutputBox::TakeStandardKey(QKeyEvent* event) {
    struct Binding {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    };
    static constexpr Binding kMoves[] = {
        {QKeySequence::MoveToNextChar, Move::Right, false},
        {QKeySequence::MoveToPreviousChar, Move::Left, false},
        {QKeySequence::MoveToNextWord, Move::WordRight, false},
        {QKeySequence::MoveToPreviousWord, Move::WordLeft, false},
        {QKeySequence::MoveToNextLine, Move::Down, false},
        {QKeySequence::MoveToPreviousLine, Move::Up, false},
        {QKeySequence::MoveToStartOfLine, Move::RowStart, false},
        {QKeySequence::MoveToEndOfLine, Move::RowEnd, false},
        {QKeySequence::MoveToStartOfDocument, Move::Start, false},
        {QKeySequence::MoveToEndOfDocument, Move::End, false},
        {QKeySequence::MoveToNextPage, Move::PageDown, false},
        {QKeySequence::MoveToPreviousPage, Move::PageUp, false},
        {QKeySequence::SelectNextChar, Move::Right, true},
        {QKeySequence::SelectPreviousChar, Move::Left, true},
        {QKeySequence::SelectNextWord, Move::WordRight, true},
        {QKeySequence::SelectPreviousWord, Move::WordLeft, true},
        {QKeySequence::SelectNextLine, Move::Down, true},
        {QKeySequence::SelectPreviousLine, Move::Up, true},
        {QKeySequence::SelectStartOfLine, Move::RowStart, true},
        {QKeySequence::SelectEndOfLine, Move::RowEnd, true},
        {QKeySequence::SelectStartOfDocument, Move::Start, true},
        {QKeySequence::SelectEndOfDocument, Move::End, true},
        {QKeySequence::SelectNextPage, Move::PageDown, true},
        {QKeySequence::SelectPreviousPage, Move::PageUp, true},
    };
    for (const Binding& binding : kMoves) {
        if (event->matches(binding.key)) {
            MoveCursor(Moved(cursor_, binding.move), binding.select);
            return true;
        }
    }
    const qsizetype from = std::min(anchor_, cursor_);
    const qsizetype to = std::max(anchor_, cursor_);
    if (event == QKeySequence::SelectAll) {
        selectAll();
    } else if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::Cut) {
        cut();
    } else if (event == QKeySequence::Paste) {
        paste();
    } else if (event == QKeySequence::Undo) {
        undo();
    } else if (event == QKeySequence::Redo) {
        redo();
    } else if (event == QKeySequence::Delete || event->key() == Qt::Key_Backspace) {
        if (from < to) {
            Edit(from, to, QString());
        } else if (event->key() == Qt::Key_Backspace) {
            Edit(Moved(cursor_, Move::Left), cursor_, QString());
        } else {
            Edit(cursor_, Moved(cursor_, Move::Right), QString());
        }
    } else {
        return false;
    }
    return true;
}

void OutputBox::keyPressEvent(QKeyEvent* event) {
    if (TakeStandardKey(event)) {
        event->accept();
        return;
    }
    const qsizetype from = std::min(anchor_, cursor_);
    const qsizetype to = std::max(anchor_, cursor_);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Edit(from, to, QStringLiteral("\n"));
    } else if (const QString typed = event->text();
               !typed.isEmpty() && typed.front().isPrint() &&
               (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0) {
        Edit(from, to, typed);
    } else {
        event->ignore();
        return;
    }
    event->accept();
}

void OutputBox::mousePressEvent(QMouseEvent* event) {
    const qsizetype at = PositionAt(event->position().toPoint());
    const qsizetype from = std::min(anchor_, cursor_);
    const qsizetype to = std::max(anchor_, cursor_);
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ShiftModifier) == 0 &&
        from <= at && at < to) {
        // In the selection: a drag may take it away.
        dragFrom_ = event->position().toPoint();
    } else if (event->button() == Qt::LeftButton) {
        selecting_ = true;
        wantedX_ = -1;
        SetSelection((event->modifiers() & Qt::ShiftModifier) != 0 ? anchor_ : at, at);
    } else if (event->button() == Qt::MiddleButton &&
               QGuiApplication::clipboard()->supportsSelection()) {
        SetSelection(at, at);
        Edit(at, at, QGuiApplication::clipboard()->text(QClipboard::Selection));
    }
}

void OutputBox::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0) {
        return;
    }
    if (dragFrom_ && (event->position().toPoint() - *dragFrom_).manhattanLength() >=
                         QApplication::startDragDistance()) {
        dragFrom_.reset();
        auto* data = new QMimeData;
        data->setText(SelectedText());  // the exact text
        QDrag* drag = new QDrag(this);
        drag->setMimeData(data);
        // Moved elsewhere, the selection leaves the box; moved within it, the drop took it.
        const qsizetype from = std::min(anchor_, cursor_);
        const qsizetype to = std::max(anchor_, cursor_);
        if (drag->exec(Qt::CopyAction | Qt::MoveAction) == Qt::MoveAction &&
            drag->target() != viewport()) {
            Edit(from, to, QString());
        }
    } else if (selecting_) {
        MoveCursor(PositionAt(event->position().toPoint()), true);
    }
}

void OutputBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (dragFrom_) {
        // A click in the selection, not a drag: the caret goes there.
        const qsizetype at = PositionAt(*dragFrom_);
        dragFrom_.reset();
        SetSelection(at, at);
    }
    if (selecting_) {
        selecting_ = false;
        SetSelectionClipboard();
    }
}

void OutputBox::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasText()) {
        event->acceptProposedAction();
    }
}

void OutputBox::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasText()) {
        event->acceptProposedAction();
    }
}

void OutputBox::dropEvent(QDropEvent* event) {
    qsizetype at = PositionAt(event->position().toPoint());
    const QString text = event->mimeData()->text();
    const qsizetype from = std::min(anchor_, cursor_);
    const qsizetype to = std::max(anchor_, cursor_);
    if (event->source() == this && event->dropAction() == Qt::MoveAction) {
        if (at >= from && at <= to) {
            return;  // onto itself
        }
        Edit(from, to, QString());
        at -= at > to ? to - from : 0;
    }
    SetSelection(at, at);
    Edit(at, at, text);
    event->acceptProposedAction();
}

void OutputBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The word under the pointer.
    const qsizetype at = PositionAt(event->position().toPoint());
    const qsizetype line = breaks_.LineOf(at);
    const qsizetype start = breaks_.Start(line);
    const QString text = Layout(line)->text();
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
    words.setPosition(int(at - start));
    const qsizetype wordStart = words.isAtBoundary() ? at - start : words.toPreviousBoundary();
    words.setPosition(int(at - start));
    const qsizetype wordEnd = words.toNextBoundary();
    if (wordStart >= 0 && wordEnd > wordStart) {
        SetSelection(start + wordStart, start + wordEnd);
        SetSelectionClipboard();
    }
}

void OutputBox::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 40;  // three rows a notch
    if (steps != 0) {
        SetTop(Advance(Top(), -steps));
    }
    event->accept();
}

void OutputBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool selection = anchor_ != cursor_;
    const auto add = [&](const QString& text, QKeySequence::StandardKey key, bool enabled,
                         auto slot) {
        QAction* action = menu->addAction(text, this, slot);
        action->setShortcut(key);
        action->setEnabled(enabled);
    };
    add(tr("&Undo"), QKeySequence::Undo, !undo_.empty(), &OutputBox::undo);
    add(tr("&Redo"), QKeySequence::Redo, !redo_.empty(), &OutputBox::redo);
    menu->addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, selection, &OutputBox::cut);
    add(tr("&Copy"), QKeySequence::Copy, selection, &OutputBox::copy);
    add(tr("&Paste"), QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
        &OutputBox::paste);
    add(tr("Delete"), QKeySequence::Delete, selection,
        [this] { Edit(std::min(anchor_, cursor_), std::max(anchor_, cursor_), QString()); });
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, !text_.isEmpty(), &OutputBox::selectAll);
    menu->popup(event->globalPos());
}

void OutputBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    caretOn_ = true;
    if (const int flash = QGuiApplication::styleHints()->cursorFlashTime(); flash > 0) {
        blink_.start(flash / 2);
    }
    viewport()->update();
}

void OutputBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blink_.stop();
    viewport()->update();
}

void OutputBox::inputMethodEvent(QInputMethodEvent* event) {
    layouts_.erase(breaks_.LineOf(cursor_));
    preedit_ = event->preeditString();
    if (!event->commitString().isEmpty() || event->replacementLength() > 0) {
        qsizetype from = std::min(anchor_, cursor_);
        qsizetype to = std::max(anchor_, cursor_);
        if (event->replacementLength() > 0) {
            from = Snap(cursor_ + event->replacementStart());
            to = Snap(from + event->replacementLength());
        }
        Edit(from, to, event->commitString());
    }
    layouts_.erase(breaks_.LineOf(cursor_));
    endKnown_ = false;
    viewport()->update();
    event->accept();
}

QVariant OutputBox::inputMethodQuery(Qt::InputMethodQuery query) const {
    const qsizetype line = breaks_.LineOf(cursor_);
    const qsizetype start = breaks_.Start(line);
    switch (query) {
        case Qt::ImEnabled:
            return true;
        case Qt::ImCursorRectangle:
            return PositionRect(cursor_);
        case Qt::ImFont:
            return font();
        case Qt::ImCursorPosition:
            return int(cursor_ - start);
        case Qt::ImAnchorPosition:
            return int(std::clamp(anchor_, start, breaks_.End(text_, line)) - start);
        case Qt::ImSurroundingText:
            return text_.mid(start, breaks_.End(text_, line) - start);
        case Qt::ImCurrentSelection:
            return SelectedText();
        default:
            return QAbstractScrollArea::inputMethodQuery(query);
    }
}

}  // namespace whois
