#pragma once
// One tab of the tab control. Its controls are placed relative to the tab control's
// top-left corner, as in the window's design, whatever the height of the tab strip above
// the page; the page works out its own offset whenever it is laid out.

#include <QRect>
#include <QWidget>
#include <vector>

class TabPage : public QWidget {
    Q_OBJECT
public:
    explicit TabPage(QWidget* tabControl);
    // `place` is in pixels relative to the tab control.
    void Place(QWidget* control, const QRect& place);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void PlaceAll();
    QWidget* tabControl_;
    std::vector<std::pair<QWidget*, QRect>> places_;
};
