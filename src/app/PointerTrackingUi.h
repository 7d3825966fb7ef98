// A UiPort that passes everything on to the window's port and remembers whether the busy
// (hourglass) pointer is up, so that the window's pointer feedback can stand aside meanwhile.
// A job's status message goes to onStatus when it is set (the window model keeps it).
#pragma once

#include "job/ForwardingUi.h"

#include <functional>
#include <string_view>

namespace vantorell {

class PointerTrackingUi final : public ForwardingUi {
public:
    using ForwardingUi::ForwardingUi;

    bool busy() const { return m_busy; }
    std::function<void()> onBusyChanged;
    std::function<void(std::string_view)> onStatus;

    void statusMessage(std::string_view text, std::string_view title) override
    {
        if (onStatus)
            onStatus(text);
        else
            target().statusMessage(text, title);
    }

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
