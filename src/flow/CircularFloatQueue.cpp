#include "CircularFloatQueue.h"

// A ring needs at least one place; a smaller request would make every index computation divide by 0.
CircularFloatQueue::CircularFloatQueue(int cap) : data(static_cast<std::size_t>(cap > 0 ? cap : 1)), capacity(cap > 0 ? cap : 1) {}
