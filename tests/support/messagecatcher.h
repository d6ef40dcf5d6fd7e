// Closes every message box that shows while it lives and remembers the title
// and text of the last one. Its timer dies with it, so nothing outlives a test.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace velmora::testkit {

struct MessageCatcher {
    QString title, text;
    int count = 0;
    QTimer timer;
    MessageCatcher() {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
                    title = box->windowTitle();
                    text = box->text();
                    ++count;
                    box->close();
                }
        });
        timer.start(10);
    }
};

} // namespace velmora::testkit
