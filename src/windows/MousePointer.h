#pragma once
// The application-wide mouse pointer while the program works.
namespace MousePointer {

enum class Shape {
  Default,  // the widget's own pointer (a link's hand, say)
  Wait,     // busy, nothing can be done meanwhile
  Busy,     // working in the background, the window still answers
};

// One shape at a time: setting twice and then Default restores the default.
void Set(Shape shape);
Shape Current();

}  // namespace MousePointer
