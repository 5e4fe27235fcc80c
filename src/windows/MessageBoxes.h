#pragma once
// Message boxes with an OK button, through one door so that tests can see
// and answer them. A box without a title of its own carries "Tarnwick".
#include <functional>
#include <string>

class QWidget;

namespace MessageBoxes {

enum class Icon { None, Information, Warning, Error };

struct Box {
  std::string text;
  std::string title;
  Icon icon = Icon::None;
};

void Show(QWidget* parent, const Box& box);

// Receives every box instead of the screen; an empty function restores it.
void SetHandlerForTesting(std::function<void(const Box&)> handler);

}  // namespace MessageBoxes
