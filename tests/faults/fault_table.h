// The fault groups' tally: each case adds its tries, and the table of every case counted in
// this run is printed when the test program ends.
#pragma once

#include <string>

// One try of a fault case: whether the product came through it, and whether data was lost
// (what the unit or the file holds afterwards is not what was asked for, or was destroyed).
void CountFaultTry(const std::string& faultCase, bool survived, bool dataLost);
// Many tries of one case at once.
void CountFaultTries(const std::string& faultCase, long tried, long survived, long dataLost);
