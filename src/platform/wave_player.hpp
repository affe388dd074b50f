// The wave player under soundM: plays a WAV image in the background and
// returns at once. Linux has no system wave player, so the default hands
// the image to a program of the user's choice (the environment's
// VORSENPLAYER, else "aplay -q -" when installed), which reads it from its
// standard input; without one nothing plays and the caller is told.
#pragma once

#include <cstddef>

namespace platform {

// Starts playing the image (a copy is kept as long as the player needs
// it). False when no player is available.
bool play_wave_async(const unsigned char* image, std::size_t bytes);

} // namespace platform
