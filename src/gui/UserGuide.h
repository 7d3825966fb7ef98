// The user guide in a window of its own: docs/user-guide.md and the screenshots it shows,
// compiled into the program as resources, rendered by a QTextBrowser.
#pragma once

class QWidget;

namespace vantorell {

// Opens the guide's window ("Vantorell User Guide"), or raises it when it is open already. The
// window is the parent's child (closed with it) but not modal: the main window stays usable.
// Object name for tests: userGuideWindow, its browser userGuideText.
QWidget* openUserGuide(QWidget* parent);

}  // namespace vantorell
