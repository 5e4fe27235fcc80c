#include "Waiter.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

void Waiter::Wait(double seconds) {
  // Whatever is already queued is handled even by a wait of 0.
  QCoreApplication::processEvents();
  if (seconds <= 0) return;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(std::chrono::milliseconds(static_cast<long long>(seconds * 1000.0)));
  QEventLoop* outer = loop_;
  loop_ = &loop;
  loop.exec();
  loop_ = outer;
}

void Waiter::WakeEarly() {
  if (loop_ != nullptr) loop_->quit();
}
