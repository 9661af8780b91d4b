#pragma once

// Where the program's beeps go. Beep sounds a tone and returns only when it has
// ended, so that callers can lay out beeps and pauses in time.
class IToneSink {
public:
    virtual ~IToneSink() = default;
    // Nothing for ms <= 0.
    virtual void Beep(int frequencyHz, int ms) = 0;
};
