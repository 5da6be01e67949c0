#pragma once
// What window tests share: the controls' headers, a loaded window, and a person who presses
// OK on message boxes.

#include <memory>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/frmwinsock.h"
#include "platform/controls/controls.h"
#include "tests/qt_printers.h"

// Presses OK on every message box that comes up, as a person would, and keeps what each said:
// "title|text", and "|more buttons" after it unless OK is its only button.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                return;
            }
            seen << box->windowTitle() + "|" + box->text() +
                        (box->standardButtons() == QMessageBox::Ok ? "" : "|more buttons");
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start();
    }
    QStringList seen;

private:
    QTimer timer_;
};

// A window that has run its load steps, unloaded and deleted after each test.
class LoadedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        form = std::make_unique<frmWinsock>();
        ASSERT_TRUE(form->Load());
    }
    void TearDown() override { form.reset(); }

    std::unique_ptr<frmWinsock> form;
};
