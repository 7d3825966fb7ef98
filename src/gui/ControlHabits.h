// Habits every control of a window shares, applied over all its child widgets at once (so a
// control added to a group later gets them with the rest):
// - lists, spin boxes and sliders change with the wheel only while they have the keyboard
//   focus, and a wheel never gives them the focus; otherwise the wheel scrolls the panel;
// - every control has an accessible name and a tooltip (derived from its caption, its label,
//   its group's title or its tooltip where none was given);
// - Tab goes through the controls in the order of the layouts: top to bottom, left to right.
#pragma once

#include <QList>

class QWidget;

namespace vantorell {

void settleControls(QWidget* root);

// The parts of settleControls, for tests and for windows that want only some of them.
void guardWheel(QWidget* root);
void nameControls(QWidget* root);
void orderTabsByLayout(QWidget* root);

// The controls under root in the order of the layouts (what Tab follows).
QList<QWidget*> controlsInLayoutOrder(QWidget* root);
// A widget the user operates (buttons, boxes, lists, sliders), not a container or a label.
bool isControl(const QWidget* widget);

}  // namespace vantorell
