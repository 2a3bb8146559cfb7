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
    long tried = 0, survived = 0, dataLost = 0;
};
std::mutex TallyLock;
std::vector<FaultRow> Tally; // in the order the cases were first counted

class FaultTablePrinter : public ::testing::Environment {
  public:
    void TearDown() override {
        std::lock_guard<std::mutex> hold(TallyLock);
        if (Tally.empty())
            return;
        FaultRow total{"faults"};
        std::printf("\n%-48s | tried | survived | data lost\n", "fault case");
        for (const FaultRow& row : Tally) {
            std::printf("%-48s | %5ld | %8ld | %9ld\n", row.faultCase.c_str(), row.tried,
                        row.survived, row.dataLost);
            total.tried += row.tried, total.survived += row.survived,
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

void CountFaultTries(const std::string& faultCase, long tried, long survived, long dataLost) {
    std::lock_guard<std::mutex> hold(TallyLock);
    auto row = std::find_if(Tally.begin(), Tally.end(),
                            [&](const FaultRow& each) { return each.faultCase == faultCase; });
    if (row == Tally.end())
        row = Tally.insert(row, FaultRow{faultCase});
    row->tried += tried, row->survived += survived, row->dataLost += dataLost;
}
