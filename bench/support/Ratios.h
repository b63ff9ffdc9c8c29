#pragma once
// Runs the registered benchmarks with the console reporter, keeps every repetition's time per
// benchmark, and prints ratios and growth exponents between benchmarks of the same run, so each
// target is read against a baseline measured beside it.

#include <string>
#include <vector>

namespace Ratios {

// Runs the benchmarks selected by the command line; the repetitions of each are kept.
void run(int argc, char** argv);

// Median seconds per iteration of a benchmark run by run() ("BM_Name/arg"), or a negative number.
double median(const std::string& name);

// Prints "label: numerator / denominator = r (target)" with both medians.
void printRatio(
    const std::string& label, const std::string& numerator, const std::string& denominator, const std::string& target);

// Prints the times of benchmarks at growing input sizes and the exponent of each step:
// log(time ratio) / log(size ratio).
void printGrowth(const std::string& label, const std::vector<std::string>& names, const std::vector<double>& sizes);

} // namespace Ratios
