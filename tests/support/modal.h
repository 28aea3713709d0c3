#pragma once

#include <QApplication>
#include <QTimer>

#include <functional>

namespace dv::test {

/// Runs act on the modal window of type W once the event loop shows it, so a test
/// can answer a dialog that its own call opens.
template <typename W>
void whenModal(std::function<void(W*)> act)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* window = qobject_cast<W*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(window);
        }
    });
    poll->start();
}

} // namespace dv::test
