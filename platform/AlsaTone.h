// A sine tone on the system's default sound output, through the ALSA library
// (libasound.so.2) loaded at run time: no build dependency, and a system without it
// simply has no tone.
#pragma once

namespace kq::platform {

// Plays the tone and returns when it has been played. False, at once, when there is
// no ALSA library or no output device that takes the tone.
bool PlayTone(int frequencyHz, int ms);

} // namespace kq::platform
