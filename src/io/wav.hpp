// The WAV image builder and reader shared by wavread, wavwrite and sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

// The 44 header bytes and the coded samples (channels interleaved), little
// endian, no pad byte.
std::vector<unsigned char> wave_image(const double* samples, std::size_t count, int channels, double fs, int bits);

struct wav_contents {
    int channels = 0;  // 0 when reading failed
    std::size_t frames = 0;
    std::uint32_t fs = 0;
    int bits = 0;
    std::vector<double> samples;  // decoded, frame by frame
};

// Reads a WAV file from its start; damaged files raise the wavread errors.
wav_contents read_wav(std::FILE* f);
