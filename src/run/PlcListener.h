#pragma once

#include "record/UploadRecord.h"
#include "upload/UploadReporter.h"

namespace vantor::run {

// What a front end shows of one PLC's upload: the upload's captions, progress and details as they
// come, then its end. Called on the thread that runs that upload.
class PlcListener : public upload::UploadReporter
{
public:
    // The upload has ended as result says (its detail: why, when it was not saved); explained tells
    // whether a detail() already said why. The record file gets result after this returns.
    virtual void ended(const record::UploadRecord& result, bool explained) = 0;
    // The record file has result now (or has said why not), or there is none: what waits for the
    // record, such as a line a script reads it on, goes out now.
    virtual void recorded(const record::UploadRecord& /*result*/) {}
};

} // namespace vantor::run
