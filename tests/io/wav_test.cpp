// WAV files and sound in a fresh temporary directory: the exact bytes
// written, files made by an independent writer read back, damaged files,
// and the images handed to the wave player.
#include "test_support.hpp"

#include "io/wav.hpp"
#include "temp_dir.hpp"

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

struct wav_reference {
    const char* what;
    const char* hex;
    int channels;
    int fs;
    int bits;
    std::vector<double> samples;
};
const std::vector<wav_reference> references = {
#include "data/wav_reference.inc"
};

std::string unhex(const char* hex)
{
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2)
        out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

std::uint32_t u32(const std::string& b, std::size_t at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
int s16(const std::string& b, std::size_t at)
{
    return static_cast<std::int16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

// The 44 header bytes for the given layout and data size.
std::string header(int channels, std::uint32_t fs, int bits, std::uint32_t data_bytes)
{
    std::string h = "RIFF";
    auto put = [&h](std::uint32_t v, int n) {
        for (int k = 0; k < n; ++k)
            h += static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    put(36 + data_bytes, 4);
    h += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(static_cast<std::uint32_t>(channels), 2);
    put(fs, 4);
    put(fs * static_cast<std::uint32_t>(channels * bits / 8), 4);
    put(static_cast<std::uint32_t>(channels * bits / 8), 2);
    put(static_cast<std::uint32_t>(bits), 2);
    h += "data";
    put(data_bytes, 4);
    return h;
}

std::vector<std::string> warnings;
void record_warning(const char* text) { warnings.emplace_back(text ? text : ""); }

std::vector<std::string> played;
int recording_player(const unsigned char* image, std::size_t bytes)
{
    played.emplace_back(reinterpret_cast<const char*>(image), bytes);
    return 1;
}

class Wav : public ::testing::Test {
protected:
    void SetUp() override
    {
        warnings.clear();
        played.clear();
        previous = qv_set_warning_handler(record_warning);
        saved_player = wave_player;
        wave_player = recording_player;
    }
    void TearDown() override
    {
        qv_set_warning_handler(previous);
        wave_player = saved_player;
    }
    static Mm t(const char* s) { return test::text(s); }

    test::temp_dir tmp;
    qv_text_handler previous = nullptr;
    wave_player_t saved_player = nullptr;
};

TEST_F(Wav, WavwriteWritesTheExactBytes)
{
    wavwrite(test::row({0, 0.5, -0.5}), t("a"));
    const std::string a = tmp.read("a.wav");
    ASSERT_EQ(a.size(), 50u);
    EXPECT_EQ(a.substr(0, 44), header(1, 8000, 16, 6));
    EXPECT_EQ(s16(a, 44), 0);
    EXPECT_EQ(s16(a, 46), 16383);
    EXPECT_EQ(s16(a, 48), -16384);

    wavwrite(test::row({0, 0.5, -1}), Mm(11025.0), Mm(8.0), t("b.wav"));
    const std::string b = tmp.read("b.wav");
    ASSERT_EQ(b.size(), 48u) << "a pad byte follows odd data";
    EXPECT_EQ(u32(b, 4), 39u);
    EXPECT_EQ(b.substr(0, 44), header(1, 11025, 8, 3));
    EXPECT_EQ(b.substr(44), std::string("\x80\xc0\x00\x00", 4));
    EXPECT_TRUE(warnings.empty());
}

TEST_F(Wav, SampleCodesAtTheEdges)
{
    struct Case {
        double y;
        int bits;
        int code;
    };
    const std::vector<Case> cases = {
        {-1, 16, -32768}, {1, 16, 32767}, {0, 16, 0}, {-1, 8, 0}, {0, 8, 128}, {0.5, 8, 192},
        {0.99609375, 8, 255}, {1, 8, 255}, {0.9921875, 8, 255}, {-0.99609375, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.y) + " at " + std::to_string(c.bits));
        const std::vector<unsigned char> image = wave_image(&c.y, 1, 1, 8000, c.bits);
        ASSERT_EQ(image.size(), 44u + c.bits / 8);
        const int code = c.bits == 8 ? image[44] : static_cast<std::int16_t>(image[44] | image[45] << 8);
        EXPECT_EQ(code, c.code);
    }
}

TEST_F(Wav, OutOfRangeSamplesAreClippedWithAWarning)
{
    wavwrite(test::real(2, 2, {1.2, NAN, -3, 0}), t("c"));
    const std::string c = tmp.read("c.wav");
    ASSERT_EQ(c.size(), 44u + 8);
    EXPECT_EQ(c.substr(0, 44), header(2, 8000, 16, 8));
    // Frames interleave the two columns: (1.2, -3), (NaN, 0).
    EXPECT_EQ(s16(c, 44), 32767);
    EXPECT_EQ(s16(c, 46), -32768);
    EXPECT_EQ(s16(c, 48), -32768);
    EXPECT_EQ(s16(c, 50), 0);
    EXPECT_EQ(warnings, std::vector<std::string>{"wavwrite: some data values were outside the [-1,1] range"});
}

TEST_F(Wav, WavwriteRejectsBadShapesAndBitCountsBeforeMakingAFile)
{
    EXPECT_ERROR(wavwrite(test::real(2, 3, {0, 0, 0, 0, 0, 0}), t("d")),
                 "wavwrite: input data is neither mono nor stereo");
    EXPECT_ERROR(wavwrite(test::row({0, 0.1}), Mm(8000.0), Mm(12.0), t("e")),
                 "wavwrite: number of bits per sample must be 8 or 16");
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "d.wav"));
    EXPECT_FALSE(std::filesystem::exists(tmp.path() / "e.wav"));
    EXPECT_ERROR(wavwrite(Mm(0.0), t("no/such/dir/f")), "wavwrite: could not write file");
    EXPECT_ERROR(wavwrite(Mm(0.0)), "wavwrite does not accept 1 input");
}

TEST_F(Wav, FilesOfAnIndependentWriterReadBack)
{
    for (const wav_reference& r : references) {
        SCOPED_TRACE(r.what);
        tmp.write("ref.wav", unhex(r.hex));
        Mm y, fs, bits;
        wavread(t("ref"), i_o, y, fs, bits);
        const int frames = static_cast<int>(r.samples.size()) / r.channels;
        EXPECT_EQ(test::extents(y), (std::vector<int>{frames, r.channels}));
        for (int f = 0; f < frames; ++f)
            for (int c = 0; c < r.channels; ++c)
                EXPECT_BITS_EQ(test::at(y, f + c * frames), r.samples[static_cast<std::size_t>(f * r.channels + c)]);
        EXPECT_EQ(test::at(fs, 0), r.fs);
        EXPECT_EQ(test::at(bits, 0), r.bits);
    }
}

TEST_F(Wav, WhatIsWrittenReadsBack)
{
    const std::vector<double> left = {-1, -0.25, 0, 0.5, 1};
    Mm y = test::real(5, 2, {-1, -0.25, 0, 0.5, 1, 0.125, 0.25, -0.75, 0, 0.9});
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        wavwrite(y, Mm(22050.0), Mm(bits), t("r.wav"));
        Mm back, fs, b;
        wavread(t("r.wav"), i_o, back, fs, b);
        EXPECT_EQ(test::extents(back), (std::vector<int>{5, 2}));
        const double step = bits == 8 ? 1.0 / 128 : 1.0 / 32767.5;
        for (int k = 0; k < 10; ++k)
            EXPECT_NEAR(test::at(back, k), test::at(y, k), step) << k;
        EXPECT_EQ(test::at(fs, 0), 22050);
        EXPECT_EQ(test::at(b, 0), bits);
    }
}

TEST_F(Wav, DamagedFilesRaiseTheirMessages)
{
    const std::string good = header(1, 8000, 8, 2) + "\x80\x80";
    std::string no_channels = good;
    no_channels[22] = 0;
    std::string twelve_bits = good;
    twelve_bits[34] = 12;
    std::string no_data = good.substr(0, 36) + "junk" + std::string("\x02\0\0\0", 4) + "\x80\x80";
    std::string huge_chunk = good.substr(0, 36) + "junk" + std::string("\xff\xff\xff\xff", 4);
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"empty", "", "wavread: 'RIFF' not found"},
        {"not RIFF", "RIFX" + good.substr(4), "wavread: 'RIFF' not found"},
        {"not WAVE", good.substr(0, 8) + "AVI " + good.substr(12), "wavread: 'WAVE' not found"},
        {"no fmt", good.substr(0, 12) + "LIST" + good.substr(16), "wavread: 'fmt ' not found"},
        {"no channels", no_channels, "wavread: 'fmt ' not found"},
        {"12 bits", twelve_bits, "wavread: number of bits per sample must be 8 or 16"},
        {"no data chunk", no_data, "wavread: 'data' not found"},
        {"a chunk past the end", huge_chunk, "wavread: 'data' not found"},
        {"a header cut short", good.substr(0, 30), "wavread: number of bits per sample must be 8 or 16"},
        {"a header without chunks", good.substr(0, 36), "wavread: 'data' not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tmp.write("bad.wav", c.bytes);
        EXPECT_ERROR(wavread(t("bad.wav")), c.message);
    }
    EXPECT_ERROR(wavread(t("missing")), "wavrwad: could not read file");
    // Every file was closed on the way out: the directory can go.
    std::filesystem::remove(tmp.path() / "bad.wav");
}

TEST_F(Wav, DataLongerThanTheFileReadsWhatIsThere)
{
    tmp.write("short.wav", header(2, 8000, 16, 4000) + std::string("\x01\x00\x02\x00\x03\x00", 6));
    Mm y = wavread(t("short.wav"));
    EXPECT_EQ(test::extents(y), (std::vector<int>{2, 2})) << "the partial frame is completed with zeros";
    EXPECT_BITS_EQ(test::at(y, 3), (0 + 32768) / 32767.5 - 1);
}

TEST_F(Wav, SoundHandsThePlayerTheImageWithoutAPadByte)
{
    soundM(test::row({0, 0.5, -1}), Mm(11025.0), Mm(8.0));
    ASSERT_EQ(played.size(), 1u);
    EXPECT_EQ(played[0], header(1, 11025, 8, 3) + std::string("\x80\xc0\x00", 3));
    soundM(Mm(0.0));
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(played[1].substr(0, 44), header(1, 8192, 16, 2)) << "8192 Hz and 16 bits by default";
    EXPECT_ERROR(soundM(Mm(0.0), Mm(8000.0), Mm(12.0)), "sound: number of bits per sample must be 8 or 16");
    EXPECT_ERROR(soundM(test::real(1, 1, {0}), Mm(8000.0), Mm(24.0)), "sound: number of bits per sample must be 8 or 16");
    EXPECT_ERROR(soundM(test::real(2, 3, {0, 0, 0, 0, 0, 0})), "sound: input data is neither mono nor stereo");
    EXPECT_EQ(played.size(), 2u) << "nothing more played";
    soundM(Mm(2.0));
    EXPECT_EQ(warnings, std::vector<std::string>{"sound: some data values were outside the [-1,1] range"});
}

TEST_F(Wav, SoundscScalesOntoTheFullRange)
{
    soundsc(test::row({0, 2, 4}));
    ASSERT_EQ(played.size(), 1u);
    const std::string& a = played[0];
    ASSERT_EQ(a.size(), 50u);
    EXPECT_EQ(s16(a, 44), -32768);
    EXPECT_EQ(s16(a, 46), 0);
    EXPECT_EQ(s16(a, 48), 32767);
    EXPECT_TRUE(warnings.empty());
    soundsc(test::row({3, 3}));
    ASSERT_EQ(played.size(), 2u);
    EXPECT_EQ(s16(played[1], 44), -32768);
    EXPECT_EQ(s16(played[1], 46), -32768);
    EXPECT_EQ(warnings, std::vector<std::string>{"sound: some data values were outside the [-1,1] range"});
}

// Sets an environment variable for the length of a test.
class scoped_env {
public:
    scoped_env(const char* name, const char* value) : name_(name)
    {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~scoped_env()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST_F(Wav, TheDefaultPlayerFeedsTheImageToTheChosenProgram)
{
    wave_player = default_wave_player;
    const std::string out = (tmp.path() / "played.wav").string();
    scoped_env player("VORSENPLAYER", ("cat > '" + out + "'").c_str());
    soundM(test::row({0, 0.5}), Mm(8000.0), Mm(8.0));
    EXPECT_TRUE(warnings.empty());
    const std::string expected = header(1, 8000, 8, 2) + std::string("\x80\xc0", 2);
    std::string got;
    for (int k = 0; k < 200 && got != expected; ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        got = tmp.read("played.wav");
    }
    EXPECT_EQ(got, expected);
}

TEST_F(Wav, WithoutAPlayerTheCallerIsTold)
{
    wave_player = default_wave_player;
    scoped_env player("VORSENPLAYER", nullptr);
    scoped_env path("PATH", tmp.path().c_str());
    soundM(Mm(0.0));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].rfind("sound: no wave player available", 0), 0u);
}

} // namespace
