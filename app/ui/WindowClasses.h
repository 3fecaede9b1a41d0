#pragma once
// The program's own window classes: a dialog creates a custom control by class name, and
// only a class registered at start-up can be created.

#include <QString>
#include <QWidget>
#include <functional>

namespace velmo {

using WindowFactory = std::function<QWidget*(QWidget* parent)>;

// False when the class is already registered.
bool RegisterWindowClass(const QString& className, WindowFactory factory);
bool UnregisterWindowClass(const QString& className);
// A new window of the class, or null when the class is not registered or refuses.
QWidget* CreateWindowOfClass(const QString& className, QWidget* parent);

}  // namespace velmo
