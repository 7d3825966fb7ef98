// Keeps a widget enabled exactly while another one is: the option rows of the Fade follow the
// Fade choice this way.
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace vantorell {

class EnabledWith final : public QObject {
public:
    // Owned by the follower; the leader's enabled changes are watched from then on.
    EnabledWith(QWidget* leader, QWidget* follower) : QObject(follower), m_follower(follower)
    {
        leader->installEventFilter(this);
        follower->setEnabled(leader->isEnabled());
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            m_follower->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

private:
    QWidget* m_follower;
};

}  // namespace vantorell
