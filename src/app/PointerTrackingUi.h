// A UiPort that passes everything on to the window's port and remembers whether the busy
// (hourglass) pointer is up, so that the window's pointer feedback can stand aside meanwhile.
#pragma once

#include "job/ForwardingUi.h"

#include <functional>

namespace vantorell {

class PointerTrackingUi final : public ForwardingUi {
public:
    using ForwardingUi::ForwardingUi;

    bool busy() const { return m_busy; }
    std::function<void()> onBusyChanged;

    void setBusyPointer(bool busy) override
    {
        m_busy = busy;
        target().setBusyPointer(busy);
        if (onBusyChanged) onBusyChanged();
    }

private:
    bool m_busy = false;
};

}  // namespace vantorell
