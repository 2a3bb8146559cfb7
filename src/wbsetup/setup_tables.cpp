// Storage of the output tables; they stay plain text for the program's whole life, since the
// setup write enciphers copies of them.
#include "wbsetup/setup_tables.h"

OutputTable SetupTable1{};
OutputTable SetupTable2{};
