#pragma once

#include "app/ToneSink.h"

// The program's beeps: a real tone on the sound output where the system has one,
// else the desktop's bell (QApplication::beep) and the tone's length in silence, so
// that beeps and pauses keep their timing either way.
class SystemToneSink : public IToneSink {
public:
    void Beep(int frequencyHz, int ms) override;
};
