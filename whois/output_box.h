#pragma once
// The whois output box: a multi-line text box that holds the exact text of the output and
// shows it with one line break per line end.
//
// A reply can run to many megabytes, so the box keeps the text in one string beside the
// positions where its lines begin, and lays out only the lines on screen. It shows what was
// added at most once a frame. Every position, the caret's and the selection's, is one in the
// exact text, so a copy takes the exact text of what is selected.

#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include "whois/text.h"

class QTextLayout;

namespace whois {

class OutputBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit OutputBox(QWidget* parent = nullptr);
    ~OutputBox() override;

    // The exact text, CRs and all.
    const QString& Text() const { return text_; }
    // The text as the box shows it: every line end, and every break of a long line, an LF;
    // the characters that would turn the text around, marks.
    QString toPlainText() const;
    qsizetype Lines() const { return breaks_.Lines(); }
    // What the box needs in memory for the text it holds, in bytes.
    qsizetype MemoryNeeded() const;

    // A new text: the caret at its start and the first line at the top.
    void SetText(const QString& text);
    // A new text with the same lines, such as the text with other line ends: the caret and the
    // lines on screen stay where they are.
    void ReplaceText(const QString& text);
    // Adds text at the end and puts the caret behind it with nothing selected; the box shows
    // the end within a frame.
    void Append(QStringView text);
    // Shows at once what the box would show at the next frame.
    void Flush();

    // The caret and the selection, which runs from the anchor to the caret.
    qsizetype CursorPosition() const { return cursor_; }
    qsizetype Anchor() const { return anchor_; }
    void SetSelection(qsizetype anchor, qsizetype cursor);
    QString SelectedText() const;
    // The user's edit: replaces [from, to) by `text`, which undo takes back.
    void Edit(qsizetype from, qsizetype to, const QString& text);

    // Where the caret stands at a position, in the viewport, and the position nearest to a point.
    QRect PositionRect(qsizetype position) const;
    qsizetype PositionAt(QPoint point) const;
    // Scrolls the least that brings the position on screen.
    void EnsureVisible(qsizetype position);
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

public slots:
    void selectAll();
    void copy() const;
    void cut();
    void paste();
    void undo();
    void redo();

signals:
    void cursorPositionChanged();
    void selectionChanged();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // A row on screen: the line, and the row of the line's layout.
    struct Place {
        qsizetype line = 0;
        int row = 0;
        auto operator<=>(const Place&) const = default;
    };
    struct Change {
        qsizetype at;
        QString removed;
        QString inserted;
    };
    enum class Move {
        Left,
        Right,
        WordLeft,
        WordRight,
        Up,
        Down,
        RowStart,
        RowEnd,
        Start,
        End,
        PageUp,
        PageDown
    };

    // The line laid out in the box's width, kept while it may come back on screen.
    QTextLayout* Layout(qsizetype line) const;
    void Forget() const;  // every layout and the end's place
    int RowHeight() const;
    int RowsOnScreen() const;
    // The top row on screen, and the one that shows the end at the bottom.
    Place Top() const;
    Place EndTop() const;
    Place PlaceOf(qsizetype position) const;
    // The row `rows` rows after (before) `place`, within the text.
    Place Advance(Place place, qsizetype rows) const;
    // The rows from one row down to another, counted to `most` at most.
    qsizetype RowsBetween(Place from, Place to, qsizetype most) const;
    void SetTop(Place top);
    void SyncScrollBar();
    // Shows what changed at the next frame.
    void RequestFrame();

    // The caret's place nearest to a position: not inside a line end or a surrogate pair.
    qsizetype Snap(qsizetype position) const;
    // Where a key that moves the caret takes it.
    qsizetype Moved(qsizetype position, Move move);
    void MoveCursor(qsizetype position, bool select);
    void Replace(qsizetype from, qsizetype to, const QString& text);
    void Reread();
    // Tells screen readers that the whole text changed.
    void TellTextUpdated(const QString& before);
    // Offers the selection to the middle button, as X11 programs do.
    void SetSelectionClipboard() const;
    bool TakeStandardKey(QKeyEvent* event);

    QString text_;
    LineBreaks breaks_;
    qsizetype cursor_ = 0;
    qsizetype anchor_ = 0;
    Place top_;
    bool followEnd_ = false;          // the box shows the end, whatever is added
    bool syncing_ = false;            // the box itself moves the scroll bar
    bool selecting_ = false;          // the mouse drags a selection
    std::optional<QPoint> dragFrom_;  // pressed in the selection, which may be dragged away
    bool caretOn_ = true;
    qreal wantedX_ = -1;  // where Up and Down keep the caret
    QString preedit_;     // what an input method composes at the caret
    std::vector<Change> undo_, redo_;

    mutable std::unordered_map<qsizetype, std::unique_ptr<QTextLayout>> layouts_;
    mutable qsizetype laidOut_ = 0;  // characters in layouts_
    mutable bool endKnown_ = false;
    mutable Place endTop_;

    QTimer frame_;
    QElapsedTimer sincePaint_;
    QTimer blink_;
};

}  // namespace whois
