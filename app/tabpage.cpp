#include "app/tabpage.h"

#include <QAccessibleWidget>

namespace {

// A page as screen readers see it: the controls on it that are not hidden. A hidden control
// (the octet separator is never shown) is not presented at all.
class AccessiblePage : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;
    int childCount() const override { return static_cast<int>(Shown().size()); }
    QAccessibleInterface* child(int index) const override { return Shown().value(index); }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return static_cast<int>(Shown().indexOf(child));
    }

private:
    QList<QAccessibleInterface*> Shown() const {
        QList<QAccessibleInterface*> shown;
        for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
            QAccessibleInterface* control = QAccessibleWidget::child(i);
            const auto* widget = qobject_cast<const QWidget*>(control->object());
            if (widget == nullptr || widget->isVisibleTo(this->widget())) {
                shown << control;
            }
        }
        return shown;
    }
};

QAccessibleInterface* AccessibleTabPage(const QString& className, QObject* object) {
    if (className == QLatin1String("TabPage")) {
        return new AccessiblePage(static_cast<QWidget*>(object));
    }
    return nullptr;
}

}  // namespace

TabPage::TabPage(QWidget* tabControl) : QWidget(tabControl), tabControl_(tabControl) {
    static const bool accessible = (QAccessible::installFactory(AccessibleTabPage), true);
    Q_UNUSED(accessible);
}

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
