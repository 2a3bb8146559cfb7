// The box that says the unit's data block could not be read ("-MQ-6 Data Error-"), for every
// front end that shows it on its own thread: the reader goes on meanwhile (the live data, the
// recording), and the next good read closes the box.
#pragma once

enum DataErrorAction : int {
    DATA_ERROR_NOTHING,
    DATA_ERROR_SHOW, // the box, over the main window
    DATA_ERROR_CLOSE,
};
// After a read of the data block (read or not), with the box up or not. None for a unit left
// mid-job: the status line says what finishes it, which a box that blames the power and the cable
// would not.
DataErrorAction DataErrorAfterRead(bool read, bool boxUp);
