#include "BenchTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace bench {

BenchTable::BenchTable(std::vector<std::string> columns) : columns_(std::move(columns)) {}

void BenchTable::AddRow(std::vector<std::string> cells, bool met) {
    cells.resize(columns_.size());
    rows_.push_back(std::move(cells));
    allMet_ = allMet_ && met;
}

bool BenchTable::Report(const std::string &csvPath) const {
    std::vector<std::size_t> widths(columns_.size());
    for (std::size_t column = 0; column < columns_.size(); ++column) {
        widths[column] = columns_[column].size();
        for (const auto &row : rows_) widths[column] = std::max(widths[column], row[column].size());
    }
    // The first column names the row and reads best left-aligned; the figures right-aligned.
    const auto printRow = [&widths](const std::vector<std::string> &cells) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const int width = static_cast<int>(widths[column]);
            std::printf(column == 0 ? "%-*s" : "  %*s", width, cells[column].c_str());
        }
        std::printf("\n");
    };
    printRow(columns_);
    for (const auto &row : rows_) printRow(row);
    std::fflush(stdout);

    FILE *csv = std::fopen(csvPath.c_str(), "w");
    if (csv == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", csvPath.c_str());
        return false;
    }
    const auto writeRow = [csv](const std::vector<std::string> &cells) {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            std::fprintf(csv, column == 0 ? "%s" : ",%s", cells[column].c_str());
        }
        std::fprintf(csv, "\n");
    };
    writeRow(columns_);
    for (const auto &row : rows_) writeRow(row);
    return std::fclose(csv) == 0;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string YesNo(bool met) { return met ? "yes" : "NO"; }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t index = 0; index < size; ++index) {
        bytes[index] = static_cast<std::uint8_t>(index * 7 + (index >> 9));
    }
    return bytes;
}

IsolatedRegistry::IsolatedRegistry() {
    char folder[] = "/tmp/kestro-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("kestro bench: mkdtemp");
        std::exit(2);
    }
    folder_ = folder;
    setenv("XDG_RUNTIME_DIR", folder, 1);
}

IsolatedRegistry::~IsolatedRegistry() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

}  // namespace bench
