// The fault groups' tally: each case adds its tries, and the table of every case counted in
// this run is printed when the test program ends.
#pragma once

#include <string>

// Tries of a fault case, how many the product came through, and in how many data was lost
// (what the unit or the file holds afterwards is not what was asked for, or was destroyed).
void CountFaultTries(const std::string& faultCase, long tried, long survived, long dataLost);
