// What every benchmark reports: a row of timings as median, p90 and maximum, with the runs that
// never got there counted apart (shown at zero too, so that no row hides them); and the
// spin-wait the timings are taken with.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Stats {
    std::vector<double> v;  // milliseconds
    int missed = 0;

    // Sorts the samples; NaN without any.
    double median() { return at(0.5); }
    double p90() { return at(0.9); }

    std::string summary() {
        if (v.empty()) return "no samples" + missedText();
        double mid = median(), high = p90();  // sorted from here on
        char s[160];
        std::snprintf(s, sizeof s, "median %8.3f ms  p90 %8.3f ms  max %8.3f ms  (n=%zu%s)", mid,
                      high, v.back(), v.size(), missedText().c_str());
        return s;
    }
    void print(const std::string& row, int width = 58) {
        std::printf("%-*s %s\n", width, row.c_str(), summary().c_str());
        std::fflush(stdout);
    }

  private:
    double at(double q) {
        if (v.empty()) return std::nan("");
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, size_t(double(v.size()) * q))];
    }
    std::string missedText() const { return ", " + std::to_string(missed) + " missed"; }
};

// Spins (no sleep: a sleep's wake-up would be in the figure) until `done` or `limit`.
inline bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done())
        if (std::chrono::steady_clock::now() > end) return false;
    return true;
}

}  // namespace bench
