#pragma once

#include <QWidget>
#include <functional>
#include <memory>

// Acts on the next application-modal window once it is shown: the real dialog
// is driven, as a user would, from a timer while its own event loop runs.
// Returns false from `wasCalled()` when no modal window appeared.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> action, int timeoutMs = 10000);
    ~ModalDriver();
    bool wasCalled() const { return *called; }

private:
    std::shared_ptr<bool> called = std::make_shared<bool>(false);
    class QTimer* timer;
};
