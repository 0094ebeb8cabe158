// What every benchmark shares: its table, printed aligned on stdout and
// written as CSV, and the helpers that take and summarise its measurements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

class BenchTable {
public:
    explicit BenchTable(std::vector<std::string> columns);

    // One row; `met` is false when the row misses its target. Rows without a
    // target pass true.
    void AddRow(std::vector<std::string> cells, bool met);

    // Prints the table and writes it to `csvPath`; false when the file can't
    // be written.
    bool Report(const std::string &csvPath) const;

    bool AllMet() const { return allMet_; }

private:
    std::vector<std::string> columns_;
    std::vector<std::vector<std::string>> rows_;
    bool allMet_ = true;
};

// `value` with `decimals` digits after the point.
std::string Fixed(double value, int decimals);
// "yes" or "NO", so that a miss stands out in the printed table.
std::string YesNo(bool met);

double Median(std::vector<double> values);

// CPU time the calling thread has used, in seconds.
double ThreadCpuSeconds();
// Seconds since some fixed point.
double WallSeconds();

// The image the benchmarks move: bytes that differ between neighbouring
// units and are seldom 00 or FF, so a lost or misplaced unit shows.
std::vector<std::uint8_t> Pattern(std::size_t size);

// Points the device registry at a fresh folder for this process, so that no
// other simulator on the machine is seen; removed again on destruction.
class IsolatedRegistry {
public:
    IsolatedRegistry();
    ~IsolatedRegistry();
    IsolatedRegistry(const IsolatedRegistry &) = delete;
    IsolatedRegistry &operator=(const IsolatedRegistry &) = delete;

private:
    std::string folder_;
};

}  // namespace bench
