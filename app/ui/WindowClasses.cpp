#include "app/ui/WindowClasses.h"

#include <map>

namespace velmo {

namespace {

// The registered classes are process-wide, as on the handheld.
std::map<QString, WindowFactory>& Classes() {
    static std::map<QString, WindowFactory> classes;
    return classes;
}

}  // namespace

bool RegisterWindowClass(const QString& className, WindowFactory factory) {
    return Classes().emplace(className, std::move(factory)).second;
}

bool UnregisterWindowClass(const QString& className) { return Classes().erase(className) == 1; }

QWidget* CreateWindowOfClass(const QString& className, QWidget* parent) {
    auto found = Classes().find(className);
    if (found == Classes().end()) return nullptr;
    QWidget* window = found->second(parent);
    if (window != nullptr) window->setProperty("windowClass", className);
    return window;
}

}  // namespace velmo
