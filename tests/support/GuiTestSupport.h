// Helpers for driving the program's windows in tests under the offscreen
// platform: modal dialogs are handled from a timer inside their own loop.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <gtest/gtest.h>

#include "comm/Trans.h"

// Port index, baud index, mode and link type as the link reports them.
inline std::array<int, 4> LinkSettings(const TModbusPort& port) {
  int index, baud, mode, link, ioBase;
  port.GetSettings(index, baud, mode, link, ioBase);
  return {index, baud, mode, link};
}
using Link = std::array<int, 4>;

// Runs act on the next modal widget of type T once it is up, from inside its
// event loop (act must end the dialog). A dialog that never comes is a test
// failure; a modal widget of another type is closed so the test cannot hang.
template <class T>
void OnNextModal(std::function<void(T*)> act, int timeoutMs = 10000) {
  auto* timer = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, clock, act, timeoutMs] {
    QWidget* modal = QApplication::activeModalWidget();
    T* wanted = qobject_cast<T*>(modal);
    if (wanted && wanted->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      act(wanted);
    } else if (clock->elapsed() > timeoutMs) {
      timer->stop();
      timer->deleteLater();
      delete clock;
      ADD_FAILURE() << "the expected dialog did not appear";
      if (modal) modal->close();
    }
  });
  timer->start();
}
