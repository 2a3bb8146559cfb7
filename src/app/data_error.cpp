// The data-error box's rule.
#include "app/data_error.h"

#include "firmware/unfinished_job.h"

DataErrorAction DataErrorAfterRead(bool read, bool boxUp) {
    if (read)
        return boxUp ? DATA_ERROR_CLOSE : DATA_ERROR_NOTHING;
    if (boxUp || FindUnfinishedJob() != JOB_NONE)
        return DATA_ERROR_NOTHING;
    return DATA_ERROR_SHOW;
}
