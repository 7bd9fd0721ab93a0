#pragma once

namespace tq::ui {

class MainForm;

// Gives every control of the main window an accessible name that tells it from its
// neighbours ("CLR pin", "Drive D1 pin"); captions on screen stay as they are, and labels
// that show a value keep exposing it (their name is their text, what they are is their
// description).
void NameForAssistiveTechnology(MainForm& form);

} // namespace tq::ui
