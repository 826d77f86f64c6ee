// The exit codes of a CUPS backend (cups/backend.h, "man backend"): what the
// scheduler does with the job and the queue when the backend ends.
#pragma once

enum BackendExit : int {
    BackendOk = 0,           // the job reached the printer whole
    BackendFailed = 1,       // it did not; the queue's error policy decides
    BackendAuthRequired = 2, // not used: the port asks for no credentials
    BackendHold = 3,         // not used
    BackendStop = 4,         // the queue is wrong (its URI): the scheduler stops it
    BackendCancel = 5,       // the job was cancelled
    BackendRetry = 6,        // the printer is off, gone or busy: the job is tried again later
    BackendRetryCurrent = 7, // not used
};
