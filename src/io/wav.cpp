// WAV files and sound: RIFF/WAVE files of 8- or 16-bit PCM read and
// written, and sounds played from an image of the same format built in
// memory.
#include "io/wav.hpp"

#include "host/search_path.hpp"
#include "io/files.hpp"
#include "platform/files.hpp"
#include "platform/wave_player.hpp"
#include "velkor/array.h"
#include "velkor/checks.h"
#include "velkor/io.h"
#include "velkor/report.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

constexpr double machine_eps = 2.220446049250313e-16;  // 2^-52

std::string wav_name(const Mm& file)
{
    return with_default_extension(value_text(file), ".wav");
}

// The language's round: halves away from zero.
inline double round_half_away(double x) { return std::round(x); }

inline unsigned char code8(double y)
{
    const double u = round_half_away((y + 1) * 128);
    return u >= 255 ? 255 : static_cast<unsigned char>(u);
}

inline std::int16_t code16(double y)
{
    return static_cast<std::int16_t>(round_half_away((y + 1) * 32767.5) - 32768);
}

// Samples ready for coding: a column per channel, interleaved frame by
// frame, clipped to [-1, 1] (NaN to -1) with the range warning.
struct prepared_samples {
    std::vector<double> interleaved;
    int channels = 0;
};

bool prepare(const Mm& y, const char* who, prepared_samples& out)
{
    Mm x = y;
    if (y.gettype() != qv_double || y.issparse() || y.isc())
        x.deepcopy(0, 0, y, qv_double);
    if (x.issparse())
        return false;  // "Out of memory!" went to a hook that returned
    if (x.gettype() != qv_double) {
        error("%s: input data is neither mono nor stereo", who);
        return false;
    }
    int rows = x.rows(), cols = x.cols();
    if (x.getndims() > 2)
        cols = 0;
    else if (rows == 1) {
        rows = cols;
        cols = 1;
    }
    if (cols != 1 && cols != 2) {
        error("%s: input data is neither mono nor stereo", who);
        return false;
    }
    out.channels = cols;
    out.interleaved.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    const double* p = x.addr();
    bool clipped = false;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            double v = p[r + static_cast<std::ptrdiff_t>(c) * rows];
            if (!(v >= -1)) {
                clipped = true;
                v = -1;
            } else if (v > 1) {
                clipped = true;
                v = 1;
            }
            out.interleaved[static_cast<std::size_t>(r) * cols + c] = v;
        }
    }
    if (clipped)
        warning("%s: some data values were outside the [-1,1] range", who);
    return true;
}

void put16(std::vector<unsigned char>& out, std::uint32_t v)
{
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(std::vector<unsigned char>& out, std::uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t as_uint32(double v)
{
    if (!std::isfinite(v))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::trunc(std::fmax(std::fmin(v, 9e18), -9e18))));
}

} // namespace

std::vector<unsigned char> wave_image(const double* samples, std::size_t count, int channels, double fs, int bits)
{
    const std::uint32_t bytes_per_sample = static_cast<std::uint32_t>(bits / 8);
    const std::uint32_t data_bytes = static_cast<std::uint32_t>(count * bytes_per_sample);
    const std::uint32_t rate = as_uint32(fs);
    std::vector<unsigned char> image = {'R', 'I', 'F', 'F'};
    image.reserve(44 + static_cast<std::size_t>(data_bytes));
    put32(image, 36 + data_bytes);
    image.insert(image.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(image, 16);
    put16(image, 1);
    put16(image, static_cast<std::uint32_t>(channels));
    put32(image, rate);
    put32(image, rate * static_cast<std::uint32_t>(channels) * bytes_per_sample);
    put16(image, static_cast<std::uint32_t>(channels) * bytes_per_sample);
    put16(image, static_cast<std::uint32_t>(bits));
    image.insert(image.end(), {'d', 'a', 't', 'a'});
    put32(image, data_bytes);
    if (bits == 8) {
        for (std::size_t k = 0; k < count; ++k)
            image.push_back(code8(samples[k]));
    } else {
        for (std::size_t k = 0; k < count; ++k)
            put16(image, static_cast<std::uint16_t>(code16(samples[k])));
    }
    return image;
}

// ---- reading ----

namespace {

bool read_exact(std::FILE* f, void* out, std::size_t n) { return std::fread(out, 1, n, f) == n; }

std::uint32_t read_u32(std::FILE* f)
{
    unsigned char b[4] = {};
    read_exact(f, b, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::uint16_t read_u16(std::FILE* f)
{
    unsigned char b[2] = {};
    read_exact(f, b, 2);
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

bool read_tag(std::FILE* f, const char* expected)
{
    char tag[4] = {};
    return read_exact(f, tag, 4) && std::memcmp(tag, expected, 4) == 0;
}

long long bytes_left(std::FILE* f)
{
    const off_t here = ftello(f);
    if (here < 0 || fseeko(f, 0, SEEK_END) != 0)
        return 0;
    const off_t end = ftello(f);
    fseeko(f, here, SEEK_SET);
    return end > here ? end - here : 0;
}

} // namespace

wav_contents read_wav(std::FILE* f)
{
    wav_contents w;
    if (!read_tag(f, "RIFF")) {
        error("wavread: 'RIFF' not found");
        return w;
    }
    read_u32(f);
    if (!read_tag(f, "WAVE")) {
        error("wavread: 'WAVE' not found");
        return w;
    }
    if (!read_tag(f, "fmt ")) {
        error("wavread: 'fmt ' not found");
        return w;
    }
    const std::uint32_t fmt_size = read_u32(f);
    read_u16(f);  // format tag: not checked
    const int channels = read_u16(f);
    w.fs = read_u32(f);
    read_u32(f);  // byte rate
    read_u16(f);  // block align
    w.bits = read_u16(f);
    if (channels < 1) {
        error("wavread: 'fmt ' not found");
        return w;
    }
    if (w.bits != 8 && w.bits != 16) {
        error("wavread: number of bits per sample must be 8 or 16");
        return w;
    }
    fseeko(f, static_cast<off_t>(fmt_size) - 16, SEEK_CUR);
    for (;;) {
        char id[4] = {};
        read_exact(f, id, 4);
        const std::uint32_t size = read_u32(f);
        if (std::feof(f)) {
            error("wavread: 'data' not found");
            return w;
        }
        if (std::memcmp(id, "data", 4) == 0) {
            const std::size_t bytes = static_cast<std::size_t>(w.bits / 8);
            const std::size_t samples = static_cast<std::size_t>(size) * 8 / static_cast<std::size_t>(w.bits);
            std::size_t frames = samples / static_cast<std::size_t>(channels);
            // As many frames as the file holds, the last one completed
            // with zeros.
            const std::size_t frame_bytes = bytes * static_cast<std::size_t>(channels);
            const std::size_t present = (static_cast<std::size_t>(bytes_left(f)) + frame_bytes - 1) / frame_bytes;
            if (frames > present)
                frames = present;
            std::vector<unsigned char> raw(frames * frame_bytes, 0);
            std::fread(raw.data(), 1, raw.size(), f);
            w.channels = channels;
            w.frames = frames;
            w.samples.resize(frames * static_cast<std::size_t>(channels));
            for (std::size_t k = 0; k < w.samples.size(); ++k) {
                if (w.bits == 8) {
                    w.samples[k] = raw[k] / 128.0 - 1;
                } else {
                    const std::int16_t s = static_cast<std::int16_t>(raw[2 * k] | (raw[2 * k + 1] << 8));
                    w.samples[k] = (s + 32768) / 32767.5 - 1;
                }
            }
            return w;
        }
        // Chunks are padded to an even size.
        if (fseeko(f, static_cast<off_t>(size) + (size & 1), SEEK_CUR) != 0) {
            error("wavread: 'data' not found");
            return w;
        }
    }
}

namespace {

Mm samples_value(const wav_contents& w)
{
    const int frames = static_cast<int>(w.frames);
    Mm y(0, 0, 0, frames, w.channels, qv_double);
    if (y.size() != frames * w.channels)
        return x_M;
    double* p = y.addr();
    for (std::size_t f = 0; f < w.frames; ++f)
        for (int c = 0; c < w.channels; ++c)
            p[f + static_cast<std::size_t>(c) * w.frames] = w.samples[f * static_cast<std::size_t>(w.channels) + c];
    return y;
}

void wavread_all(const Mm& file, Mm& y, Mm& fs, Mm& bits)
{
    std::string name = wav_name(file);
    file_ptr f(open_on_path(static_cast<const search_path*>(mpath_pointer), nullptr, name, 0));
    if (!f) {
        error("wavrwad: could not read file");
        return;
    }
    const wav_contents w = read_wav(f.get());
    f.reset();
    if (w.channels < 1)
        return;
    if (w.frames > 2147483647u) {
        error("Out of memory!");
        return;
    }
    y = samples_value(w);
    fs = Mm(static_cast<double>(w.fs));
    bits = Mm(static_cast<double>(w.bits));
}

} // namespace

Mm wavread(const Mm& file)
{
    Mm y, fs, bits;
    wavread_all(file, y, fs, bits);
    return y;
}

Mm wavread(const Mm& file, i_o_t, Mm& y, Mm& fs)
{
    Mm bits;
    wavread_all(file, y, fs, bits);
    return x_M;
}

Mm wavread(const Mm& file, i_o_t, Mm& y, Mm& fs, Mm& bits)
{
    wavread_all(file, y, fs, bits);
    return x_M;
}

// ---- writing ----

namespace {

// Bits rounded half up (0 at or below 0).
int bit_count(const Mm& bits)
{
    const double b = bits.size() > 0 && bits.gettype() == qv_double ? *bits.addr() : 0;
    return b > 0 && b < 1e9 ? static_cast<int>(std::floor(b + 0.5)) : 0;
}

double first_number(const Mm& x)
{
    if (x.size() < 1)
        return 0;
    if (x.gettype() == qv_uint8)
        return *x.getpr(static_cast<unsigned char*>(nullptr));
    return x.gettype() == qv_double && !x.issparse() ? *x.addr() : 0;
}

} // namespace

Mm wavwrite(const Mm&) { return Mm(error_input("wavwrite", 1)); }
Mm wavwrite(const Mm& y, const Mm& file) { return wavwrite(y, Mm(8000.0), Mm(16.0), file); }
Mm wavwrite(const Mm& y, const Mm& fs, const Mm& file) { return wavwrite(y, fs, Mm(16.0), file); }

Mm wavwrite(const Mm& y, const Mm& fs, const Mm& bits, const Mm& file)
{
    const std::string name = wav_name(file);
    prepared_samples s;
    if (!prepare(y, "wavwrite", s))
        return x_M;
    const int b = bit_count(bits);
    if (b != 8 && b != 16) {
        error("%s: number of bits per sample must be 8 or 16", "wavwrite");
        return x_M;
    }
    std::vector<unsigned char> image = wave_image(s.interleaved.data(), s.interleaved.size(), s.channels,
                                                  first_number(fs), b);
    if ((image.size() - 44) & 1)
        image.push_back(0);
    int error_number = 0;
    const whole_file outcome = write_whole_file(name, "wb", [&](std::FILE* f) {
        return std::fwrite(image.data(), 1, image.size(), f) == image.size();
    }, error_number);
    if (outcome != whole_file::written)
        error("%s: could not write file", "wavwrite");
    return x_M;
}

// ---- sound ----

int default_wave_player(const unsigned char* image, std::size_t bytes)
{
    return platform::play_wave_async(image, bytes) ? 1 : 0;
}

wave_player_t wave_player = default_wave_player;

Mm soundM(const Mm& y) { return soundM(y, Mm(8192.0), Mm(16.0)); }
Mm soundM(const Mm& y, const Mm& fs) { return soundM(y, fs, Mm(16.0)); }

Mm soundM(const Mm& y, const Mm& fs, const Mm& bits)
{
    const double bv = first_number(bits);
    const int b = std::isfinite(bv) && std::fabs(bv) < 1e9 ? static_cast<int>(bv) : 0;
    if (b != 8 && b != 16) {
        error("%s: number of bits per sample must be 8 or 16", "sound");
        return x_M;
    }
    prepared_samples s;
    if (!prepare(y, "sound", s))
        return x_M;
    const std::vector<unsigned char> image =
        wave_image(s.interleaved.data(), s.interleaved.size(), s.channels, std::trunc(first_number(fs)), b);
    if (!wave_player(image.data(), image.size()))
        warning("sound: no wave player available; set VORSENPLAYER to a program that plays a WAV image from "
                "its standard input");
    return x_M;
}

Mm soundsc(const Mm& y) { return soundsc(y, Mm(8192.0), Mm(16.0)); }
Mm soundsc(const Mm& y, const Mm& fs) { return soundsc(y, fs, Mm(16.0)); }

Mm soundsc(const Mm& y, const Mm& fs, const Mm& bits)
{
    Mm r = y;
    if (y.gettype() != qv_double || y.issparse() || y.isc())
        r.deepcopy(0, 0, y, qv_double);
    if (r.issparse())
        return x_M;  // "Out of memory!" went to a hook that returned
    if (r.gettype() != qv_double || r.size() < 1)
        return soundM(r, fs, bits);
    // The extremes of a vector, or of the first column of a matrix.
    const int n = r.rows() == 1 ? r.size() : r.rows();
    const double* p = r.addr();
    double hi = p[0], lo = p[0];
    for (int k = 1; k < n; ++k) {
        if (p[k] > hi || std::isnan(hi))
            hi = p[k];
        if (p[k] < lo || std::isnan(lo))
            lo = p[k];
    }
    const double s = 2 * (1 - machine_eps) / (hi - lo);
    Mm scaled(0, 0, 0, r.rows(), r.cols(), qv_double);
    if (scaled.size() != r.size())
        return x_M;
    double* q = scaled.addr();
    for (int k = 0, total = r.size(); k < total; ++k)
        q[k] = s * p[k] + (1 - machine_eps) - s * hi;
    return soundM(scaled, fs, bits);
}
