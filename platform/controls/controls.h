#pragma once
// The few control kinds the window needs beyond Qt's own: a command button that Return
// presses, a label that can be clicked, a picture box that keeps what is drawn into it, and a
// timer that follows the old Interval/Enabled rules.

#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QTimer>

// A command button that Return and the keypad's Enter press as Space does: it shows pressed
// while the key is held and is clicked once when the key is let go.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};

class VbLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A framed box with a persistent image the size of its inside. Drawing goes into Image();
// Refresh() shows it. The picture set with SetPicture() is drawn at the top-left corner.
// Until something asks for the image, the box holds none: it paints its back colour and
// its picture, which costs no memory beyond the picture itself.
class PictureBox : public QFrame {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    // The colour an empty picture shows; set it before drawing.
    QColor BackColor() const { return backColor_; }
    void SetBackColor(const QColor& color) { backColor_ = color; }
    // The persistent image, as large as the box's inside, read and written pixel by pixel.
    QImage& Image();
    void SetPicture(const QImage& picture);
    // Setting the empty picture: the image is cleared to the back colour.
    void ClearPicture();
    void Refresh();

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void EnsureImageSize();
    QColor backColor_ = Qt::white;
    QImage image_;    // none until asked for
    QImage picture_;  // what SetPicture() set while there was no image
};

// Ticks every Interval() milliseconds while enabled, the first tick one interval after it
// was enabled; an interval of 0 never ticks. Changing the interval starts the count again.
class VbTimer : public QObject {
    Q_OBJECT
public:
    explicit VbTimer(QObject* parent = nullptr);
    int Interval() const { return interval_; }
    void SetInterval(int milliseconds);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    // True while ticks are due, i.e. enabled with a non-zero interval.
    bool Ticking() const { return timer_.isActive(); }

signals:
    void Timer();

private:
    void Restart();
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = true;
};
