#pragma once
// The random source of the generator. The distributions are written out here instead of taken
// from <random>, whose distributions differ between standard libraries; only the engine, whose
// output the standard fixes, is borrowed.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace karvona::synth {

/// splitmix64: spreads consecutive seeds (photo numbers) over the whole seed space.
inline std::uint64_t MixSeed(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

class Random {
public:
    explicit Random(std::uint64_t seed) : engine_(MixSeed(seed)) {}

    std::uint64_t Bits() { return engine_(); }

    /// Uniform in [0, 1) with 53 random bits.
    double Unit() { return static_cast<double>(engine_() >> 11) * (1.0 / 9007199254740992.0); }

    /// Uniform in [lo, hi).
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }

    /// Uniform integer in [lo, hi] (both included), by rejection so that no value is favoured.
    int Int(int lo, int hi) {
        if (hi <= lo) {
            return lo;
        }
        const std::uint64_t range = static_cast<std::uint64_t>(hi - lo) + 1;
        const std::uint64_t limit = UINT64_MAX - UINT64_MAX % range;
        std::uint64_t v = engine_();
        while (v >= limit) {
            v = engine_();
        }
        return lo + static_cast<int>(v % range);
    }

    bool Chance(double p) { return Unit() < p; }

    /// Standard normal by the Box-Muller transform (one value per call, the twin dropped).
    double Normal() {
        double u = Unit();
        while (u <= 1e-300) {
            u = Unit();
        }
        const double v = Unit();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

    template <typename T>
    const T& Pick(const std::vector<T>& items) {
        return items[static_cast<std::size_t>(Int(0, static_cast<int>(items.size()) - 1))];
    }

    /// Index drawn with the given non-negative weights.
    int Weighted(const std::vector<double>& weights) {
        double total = 0.0;
        for (double w : weights) {
            total += w;
        }
        double r = Uniform(0.0, total);
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (r < weights[i]) {
                return static_cast<int>(i);
            }
            r -= weights[i];
        }
        return static_cast<int>(weights.size()) - 1;
    }

private:
    std::mt19937_64 engine_;
};

}  // namespace karvona::synth
