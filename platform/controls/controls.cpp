#include "platform/controls/controls.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// Hands Return and Enter to `handle` as the Space key that a button knows, any other key as
// it is.
template <typename Handler>
void EnterAsSpace(QKeyEvent* event, Handler handle) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        handle(event);
        return;
    }
    QKeyEvent space(event->type(), Qt::Key_Space, event->modifiers(), QStringLiteral(" "),
                    event->isAutoRepeat(), event->count());
    handle(&space);
    event->setAccepted(space.isAccepted());
}

// A picture box as screen readers see it: a button, since a click on it does something,
// which their press action clicks.
class AccessiblePictureBox : public QAccessibleWidget {
public:
    explicit AccessiblePictureBox(PictureBox* box) : QAccessibleWidget(box, QAccessible::Button) {}
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << pressAction();
    }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            emit static_cast<PictureBox*>(widget())->clicked();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

QAccessibleInterface* AccessibleControl(const QString& className, QObject* object) {
    if (className == QLatin1String("PictureBox")) {
        return new AccessiblePictureBox(static_cast<PictureBox*>(object));
    }
    return nullptr;
}

}  // namespace

void CommandButton::keyPressEvent(QKeyEvent* event) {
    EnterAsSpace(event, [this](QKeyEvent* key) { QPushButton::keyPressEvent(key); });
}

void CommandButton::keyReleaseEvent(QKeyEvent* event) {
    EnterAsSpace(event, [this](QKeyEvent* key) { QPushButton::keyReleaseEvent(key); });
}

void VbLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void VbLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    static const bool accessible = (QAccessible::installFactory(AccessibleControl), true);
    Q_UNUSED(accessible);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setAutoFillBackground(false);
}

void PictureBox::EnsureImageSize() {
    const QSize inside = contentsRect().size().expandedTo(QSize(1, 1));
    if (image_.size() == inside) {
        return;
    }
    QImage grown(inside, QImage::Format_RGB32);
    grown.fill(BackColor());
    QPainter painter(&grown);
    painter.drawImage(0, 0, image_.isNull() ? picture_ : image_);
    painter.end();
    image_ = std::move(grown);
    picture_ = QImage();
}

QImage& PictureBox::Image() {
    EnsureImageSize();
    return image_;
}

void PictureBox::SetPicture(const QImage& picture) {
    image_ = QImage();
    picture_ = picture;
    update();
}

void PictureBox::ClearPicture() {
    SetPicture(QImage());
}

void PictureBox::Refresh() {
    repaint();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    const QRect inside = contentsRect();
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(inside, BackColor());
        painter.setClipRect(inside);
        painter.drawImage(inside.topLeft(), picture_);
    } else {
        painter.drawImage(inside.topLeft(), image_);
    }
    painter.end();
    QFrame::paintEvent(event);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (!image_.isNull()) {
        EnsureImageSize();
    }
}

VbTimer::VbTimer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &VbTimer::Timer);
}

void VbTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds < 0 ? 0 : milliseconds;
    Restart();
}

void VbTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) {
        return;
    }
    enabled_ = enabled;
    Restart();
}

void VbTimer::Restart() {
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}
