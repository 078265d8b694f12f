#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

namespace ntfs::bench {

// Wall time of one call, in microseconds.
template <typename Call>
double microseconds(Call&& call)
{
    auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

// Times the calls one after the other, round by round, so that whatever else the machine does
// falls on all of them alike; returns each call's median.
template <typename... Calls>
std::vector<double> alternatingMedians(int rounds, Calls&&... calls)
{
    std::vector<std::vector<double>> times(sizeof...(Calls));
    for (int round = 0; round < rounds; ++round) {
        std::size_t index = 0;
        ((times[index++].push_back(microseconds(calls))), ...);
    }
    std::vector<double> medians;
    for (auto& samples : times) {
        std::nth_element(samples.begin(), samples.begin() + static_cast<long>(samples.size() / 2), samples.end());
        medians.push_back(samples[samples.size() / 2]);
    }
    return medians;
}

}  // namespace ntfs::bench
