// Keeping a Linux system from sleeping while a job programs the unit: an inhibitor lock of logind
// (org.freedesktop.login1), taken and given back on the job's own thread. Where the system offers
// none (no system bus, no logind), nothing is kept and the job runs all the same.
#pragma once

void InhibitSleep();
void EndSleepInhibit();
