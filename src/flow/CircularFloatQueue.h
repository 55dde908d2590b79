#pragma once

#include <cassert>
#include <cstddef>
#include <vector>

// A fixed-capacity ring of floats, newest value at index 0. Once full, a push overwrites the oldest
// value, so a trail never allocates after construction.
class CircularFloatQueue {
public:
    explicit CircularFloatQueue(int capacity);

    void pushFront(float value) {
        head = head == 0 ? capacity - 1 : head - 1;
        if (count < capacity) ++count;
        data[static_cast<std::size_t>(head)] = value;
    }
    void dropOldest() {
        if (count > 0) --count;
    }
    // Element i, 0 = newest.
    float get(int i) const {
        assert(i < count && "i < count");
        return data[static_cast<std::size_t>((head + i) % capacity)];
    }
    int size() const { return count; }
    int getCapacity() const { return capacity; }
    bool isEmpty() const { return count == 0; }
    void clear() { count = 0; }

private:
    std::vector<float> data;
    int capacity;
    int head = 0;
    int count = 0;
};
