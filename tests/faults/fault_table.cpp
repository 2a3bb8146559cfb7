// The tally behind fault_table.h, printed by a test environment after the last test.
#include "faults/fault_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct FaultRow {
    std::string faultCase;
    long tried = 0;
    long survived = 0;
    long dataLost = 0;
};

std::mutex TallyLock;
std::vector<FaultRow> Tally; // in the order the cases were first counted

class FaultTablePrinter : public ::testing::Environment {
  public:
    void TearDown() override {
        std::lock_guard<std::mutex> hold(TallyLock);
        if (Tally.empty())
            return;
        size_t width = 10;
        for (const FaultRow& row : Tally)
            width = std::max(width, row.faultCase.size());
        int w = static_cast<int>(width);
        std::printf("\n%-*s | tried | survived | data lost\n", w, "fault case");
        std::printf("%s-|-------|----------|----------\n", std::string(width, '-').c_str());
        FaultRow total;
        for (const FaultRow& row : Tally) {
            std::printf("%-*s | %5ld | %8ld | %9ld\n", w, row.faultCase.c_str(), row.tried,
                        row.survived, row.dataLost);
            total.tried += row.tried;
            total.survived += row.survived;
            total.dataLost += row.dataLost;
        }
        std::printf("faults: %ld tried, %ld survived, %ld data lost\n", total.tried, total.survived,
                    total.dataLost);
        std::fflush(stdout);
    }
};

[[maybe_unused]] ::testing::Environment* const Printer =
    ::testing::AddGlobalTestEnvironment(new FaultTablePrinter);

} // namespace

void CountFaultTry(const std::string& faultCase, bool survived, bool dataLost) {
    CountFaultTries(faultCase, 1, survived ? 1 : 0, dataLost ? 1 : 0);
}

void CountFaultTries(const std::string& faultCase, long tried, long survived, long dataLost) {
    std::lock_guard<std::mutex> hold(TallyLock);
    FaultRow* row = nullptr;
    for (FaultRow& each : Tally)
        if (each.faultCase == faultCase)
            row = &each;
    if (row == nullptr) {
        Tally.push_back(FaultRow{faultCase});
        row = &Tally.back();
    }
    row->tried += tried;
    row->survived += survived;
    row->dataLost += dataLost;
}
