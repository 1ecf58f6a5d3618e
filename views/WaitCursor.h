// Shows the wait cursor for as long as the object lives: put one on the stack
// around a blocking transaction (group reads, parameter writes) that holds the
// GUI thread, so the user sees why the window does not answer.
#pragma once

#include <QApplication>
#include <QCursor>

class TWaitCursor {
public:
  TWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;
};
