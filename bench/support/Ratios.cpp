#include "Ratios.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdio>
#include <map>

namespace Ratios {
namespace {

std::map<std::string, std::vector<double>>& times()
{
    static std::map<std::string, std::vector<double>> map;
    return map;
}

class Recorder : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations <= 0)
                continue;
            std::string name = run.run_name.function_name;
            if (!run.run_name.args.empty())
                name.append(1, '/').append(run.run_name.args);
            times()[name].push_back(run.real_accumulated_time / double(run.iterations));
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

std::string format(double seconds)
{
    char text[32];
    if (seconds < 1e-3)
        std::snprintf(text, sizeof text, "%.1f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    return text;
}

} // namespace

void run(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    std::printf("\n");
}

double median(const std::string& name)
{
    const auto found = times().find(name);
    if (found == times().end() || found->second.empty())
        return -1;
    std::vector<double> values = found->second;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void printRatio(
    const std::string& label, const std::string& numerator, const std::string& denominator, const std::string& target)
{
    const double a = median(numerator);
    const double b = median(denominator);
    if (a < 0 || b <= 0) {
        std::printf("%s: not measured in this run\n", label.c_str());
        return;
    }
    std::printf("%s: %s / %s = %.2f  (%s; %s over %s, medians)\n", label.c_str(), format(a).c_str(), format(b).c_str(),
        a / b, target.c_str(), numerator.c_str(), denominator.c_str());
}

void printGrowth(const std::string& label, const std::vector<std::string>& names, const std::vector<double>& sizes)
{
    std::string line = label;
    line.append(1, ':');
    double previous = -1;
    for (size_t k = 0; k < names.size(); ++k) {
        const double t = median(names[k]);
        if (t < 0) {
            std::printf("%s: not measured in this run\n", label.c_str());
            return;
        }
        line.append(1, ' ').append(format(t));
        if (k > 0 && previous > 0) {
            char step[48];
            std::snprintf(step, sizeof step, " (x%.2f, exponent %.2f)", t / previous,
                std::log(t / previous) / std::log(sizes[k] / sizes[k - 1]));
            line += step;
        }
        previous = t;
    }
    std::printf("%s\n", line.c_str());
}

} // namespace Ratios
