#pragma once

class QWidget;

namespace tindrel {

// Makes every control of a window usable from the keyboard and named for
// assistive tools: sliders, spin boxes, pop-ups, check boxes, buttons, line
// edits and tables take focus by Tab, follow one another in the order their
// layouts show them (top to bottom, then left to right within a row), and
// each without an accessible name takes one from its row label (a buddy or
// a form row's label, a label just before it in its row), its own text, or
// the title of the box it sits in. Safe to run again after controls were
// added; names set before are kept.
void makeKeyboardUsable(QWidget &window);

// Whether w is a control the function above looks after.
bool isInteractiveControl(const QWidget &w);

}   // namespace tindrel
