#pragma once

namespace murmo {

// An eventfd that any thread signals and one thread waits on in poll(2).
// Signals made before the wait are kept until acknowledged.
class Wakeup {
public:
    // Throws std::system_error when the process is out of descriptors.
    Wakeup();
    ~Wakeup();
    Wakeup(const Wakeup&) = delete;
    Wakeup& operator=(const Wakeup&) = delete;

    // Any thread.
    void signal();
    // Clears the signals so far; the descriptor stops being readable.
    void acknowledge();
    int fd() const { return fd_; }

private:
    int fd_;
};

}  // namespace murmo
