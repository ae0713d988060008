#pragma once

// Accessible interfaces of the widget kit, for screen readers and desktop
// automation (AT-SPI on Linux):
//   SegmentedControl  a group whose children are its segments, each a push
//                     button named by its label or, without one, its tool tip,
//                     with enabled, focused, pressed and checked states and a
//                     Press action (Toggle too when checkable) that clicks it;
//   ButtonBar         a tool bar; SplitView a splitter whose dividers carry
//                     their position as a value and collapse with Toggle;
//   Stepper           a spin box: value, range, Increase and Decrease;
//   BusyIndicator     a busy progress bar; HyperlinkButton a link with Press;
//   ElidedLabel       static text with its whole text, not the shortened one;
//   key-letter buttons push buttons, check boxes and radio buttons whose
//                     letter's key is the key binding of their action.
// NumberField keeps Qt's line-edit interface (editable text, named by its
// buddy label): a replacement would lose the text editing it offers.
//
// Actions that click run from the event loop, never inside the call, so a
// command that opens a modal dialog does not hold up the caller (an AT-SPI
// request would time out).

// Installs the interfaces; once is enough, more calls do nothing. Needs the
// QApplication; before the first window shows.
void installWidgetAccessibility();
