#include "app/tabpage.h"

TabPage::TabPage(QWidget* tabControl) : QWidget(tabControl), tabControl_(tabControl) {}

void TabPage::Place(QWidget* control, const QRect& place) {
    places_.emplace_back(control, place);
    control->setGeometry(place);
}

void TabPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceAll();
}

void TabPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    PlaceAll();
}

void TabPage::PlaceAll() {
    const QPoint origin = mapTo(tabControl_, QPoint(0, 0));
    for (const auto& [control, place] : places_) {
        control->setGeometry(place.translated(-origin));
    }
}
