#pragma once
// Windows of many settings on a short screen (a laptop's 768 or 800 pixels): each page of a
// tab widget scrolls instead of pushing the window's buttons off the screen.
#include <QSize>

class QTabWidget;
class QWidget;

// Puts the contents of every page of `tabs` into a scroll area of its own (the page keeps
// its name and place, its controls their parents' page). Call once every page is filled.
void MakePagesScroll(QTabWidget& tabs);

// Gives `window` the size `natural` (what it wanted before its pages scrolled), as high as
// the screen it is on allows; moved up where it would reach past the screen's bottom. Call
// it again when the window is first shown (its place is known then).
void FitToScreen(QWidget& window, QSize natural);
