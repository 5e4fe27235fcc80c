#pragma once
// Enter presses the button that has the focus, as users of these small
// dialogs expect; Qt leaves that to Space alone.
class QWidget;

namespace ButtonKeys {

// For every push button of `window` (now there): Enter or the keypad's
// Enter on it clicks it, before any default button of a dialog hears it.
void EnterPressesFocusedButton(QWidget& window);

}  // namespace ButtonKeys
