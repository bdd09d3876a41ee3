// resgen_sounds OUTDIR
//
// Synthesises the five interface sounds of the presentation as RIFF WAVE
// files. Everything is computed from fixed formulas and a fixed noise seed,
// so the files come out the same on every run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// Deterministic noise in [-1, 1] (xorshift32 with a fixed seed).
struct Noise {
    uint32_t state = 0x2F6B1D35u;
    double next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state / 2147483647.5 - 1.0;
    }
};

// A partial that starts at `start` seconds: sine of `freq` Hz gliding to
// `freqEnd`, with a short linear attack and an exponential decay.
void addTone(std::vector<double>& s, int rate, double start, double freq, double freqEnd, double amp,
             double decay, double attack = 0.002)
{
    double phase = 0;
    int first = int(start * rate);
    int n = int(s.size()) - first;
    for (int i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double f = freq + (freqEnd - freq) * i / std::max(1, n - 1);
        phase += 2 * M_PI * f / rate;
        double env = std::min(1.0, t / attack) * std::exp(-t / decay);
        s[size_t(first + i)] += amp * env * std::sin(phase);
    }
}

// Short fades at both ends so that no clip starts or stops with a click.
void fadeEnds(std::vector<double>& s, int rate, double in, double out)
{
    int nin = int(in * rate), nout = int(out * rate), n = int(s.size());
    for (int i = 0; i < nin && i < n; ++i)
        s[size_t(i)] *= double(i) / nin;
    for (int i = 0; i < nout && i < n; ++i)
        s[size_t(n - 1 - i)] *= double(i) / nout;
}

int16_t toPcm16(double v)
{
    return int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
}

// G.711 mu-law of a 16-bit sample.
uint8_t toMuLaw(int16_t sample)
{
    const int bias = 0x84, clip = 32635;
    int sign = sample < 0 ? 0x80 : 0;
    int magnitude = std::min(sample < 0 ? -int(sample) : int(sample), clip) + bias;
    int exponent = 7;
    for (int mask = 0x4000; (magnitude & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    int mantissa = (magnitude >> (exponent + 3)) & 0x0F;
    return uint8_t(~(sign | (exponent << 4) | mantissa));
}

void put16(std::vector<uint8_t>& b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void putTag(std::vector<uint8_t>& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// RIFF WAVE: 16-bit PCM (tag 1, 16-byte format chunk), or 8-bit mu-law
// (tag 7, 18-byte format chunk and the "fact" chunk that compressed formats
// carry). `channels` holds one sample vector per channel, all one length.
std::vector<uint8_t> wave(const std::vector<std::vector<double>>& channels, int rate, bool muLaw)
{
    const unsigned nch = unsigned(channels.size());
    const uint32_t frames = uint32_t(channels[0].size());
    const unsigned bytesPerSample = muLaw ? 1 : 2;
    std::vector<uint8_t> data;
    for (uint32_t i = 0; i < frames; ++i)
        for (const auto& ch : channels) {
            int16_t v = toPcm16(ch[i]);
            if (muLaw)
                data.push_back(toMuLaw(v));
            else
                put16(data, uint16_t(v));
        }
    std::vector<uint8_t> b;
    putTag(b, "RIFF");
    put32(b, 0); // patched below
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, muLaw ? 18 : 16);
    put16(b, muLaw ? 7 : 1);
    put16(b, nch);
    put32(b, uint32_t(rate));
    put32(b, uint32_t(rate) * nch * bytesPerSample);
    put16(b, nch * bytesPerSample);
    put16(b, bytesPerSample * 8);
    if (muLaw) {
        put16(b, 0);
        putTag(b, "fact");
        put32(b, 4);
        put32(b, frames);
    }
    putTag(b, "data");
    put32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2)
        b.push_back(0); // chunks are padded to an even length
    uint32_t riffSize = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + size_t(i)] = uint8_t(riffSize >> (8 * i));
    return b;
}

size_t samples(double seconds, int rate) { return size_t(std::lround(seconds * rate)); }

// 118: a soft tick as the first picture appears (50 ms).
std::vector<uint8_t> showSound()
{
    const int rate = 22050;
    std::vector<double> s(samples(0.05, rate));
    addTone(s, rate, 0, 1760, 1500, 0.30, 0.008, 0.0008);
    addTone(s, rate, 0, 880, 860, 0.22, 0.012, 0.0008);
    Noise noise;
    for (size_t i = 0; i < s.size(); ++i)
        s[i] += 0.08 * noise.next() * std::exp(-double(i) / rate / 0.002);
    fadeEnds(s, rate, 0.0005, 0.01);
    return wave({s}, rate, true);
}

// 114: a rounded click as the document is selected (180 ms): a woody
// "tock" with a faint higher partial.
std::vector<uint8_t> selectSound()
{
    const int rate = 44100;
    std::vector<double> s(samples(0.18, rate));
    addTone(s, rate, 0, 1180, 1040, 0.42, 0.018);
    addTone(s, rate, 0, 2360, 2100, 0.12, 0.010);
    addTone(s, rate, 0, 590, 560, 0.20, 0.035);
    fadeEnds(s, rate, 0.001, 0.03);
    return wave({s}, rate, false);
}

// 115: a two-note chime that asks for attention as the confirmation box
// opens (300 ms): a fifth up, soft bell-like partials.
std::vector<uint8_t> promptSound()
{
    const int rate = 44100;
    std::vector<double> s(samples(0.30, rate));
    for (auto [start, f] : {std::pair{0.0, 659.26}, {0.09, 987.77}}) {
        addTone(s, rate, start, f, f, 0.30, 0.09, 0.004);
        addTone(s, rate, start, 2 * f, 2 * f, 0.08, 0.05, 0.004);
        addTone(s, rate, start, 3.01 * f, 3.01 * f, 0.03, 0.03, 0.004);
    }
    fadeEnds(s, rate, 0.001, 0.04);
    return wave({s}, rate, false);
}

// 116: a busy whirr as the progress window starts (250 ms): four quick
// rising blips over a soft band of noise, like a drive at work.
std::vector<uint8_t> busySound()
{
    const int rate = 44100;
    std::vector<double> s(samples(0.25, rate));
    for (int k = 0; k < 4; ++k)
        addTone(s, rate, 0.012 + k * 0.055, 700 + 90 * k, 900 + 90 * k, 0.18, 0.02, 0.002);
    Noise noise;
    double low = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        double t = double(i) / rate;
        low += 0.08 * (noise.next() - low); // one-pole low pass: a soft rush
        double swell = std::sin(M_PI * t / 0.25);
        s[i] += 0.35 * low * swell * (0.6 + 0.4 * std::sin(2 * M_PI * 36 * t));
    }
    fadeEnds(s, rate, 0.004, 0.03);
    return wave({s}, rate, false);
}

// 117: a short falling click as the progress window closes (20 ms), a
// little wider on the right than on the left.
std::vector<uint8_t> closeSound()
{
    const int rate = 22050;
    std::vector<double> left(samples(0.02, rate)), right(left.size());
    addTone(left, rate, 0, 1400, 700, 0.35, 0.006, 0.0005);
    addTone(right, rate, 0, 1400, 700, 0.35, 0.006, 0.0005);
    addTone(right, rate, 0.001, 2100, 1100, 0.10, 0.004, 0.0005);
    fadeEnds(left, rate, 0.0005, 0.004);
    fadeEnds(right, rate, 0.0005, 0.004);
    return wave({left, right}, rate, true);
}

bool save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f)
        ok = std::fclose(f) == 0 && ok;
    if (!ok)
        std::fprintf(stderr, "resgen_sounds: cannot write %s\n", path.c_str());
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: resgen_sounds OUTDIR\n");
        return 2;
    }
    std::string out = argv[1];
    bool ok = save(out + "/show.wav", showSound());
    ok = save(out + "/select.wav", selectSound()) && ok;
    ok = save(out + "/prompt.wav", promptSound()) && ok;
    ok = save(out + "/busy.wav", busySound()) && ok;
    ok = save(out + "/close.wav", closeSound()) && ok;
    return ok ? 0 : 1;
}
