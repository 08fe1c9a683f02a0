#pragma once

#include "record/ExitStatus.h"

namespace vantor::cli {
// The tool's exit statuses by their names, as the commands return them: each brought in by name, so
// that nothing else of the record's namespace comes along into every file that includes this one.
using record::exitstatus::ExitStatus;
using record::exitstatus::FileChanged;
using record::exitstatus::FileNotReadable;
using record::exitstatus::FileRejected;
using record::exitstatus::InternalError;
using record::exitstatus::LinkAnswered;
using record::exitstatus::NoLinkResponse;
using record::exitstatus::NoResponse;
using record::exitstatus::OutputFailed;
using record::exitstatus::PlcIdRejected;
using record::exitstatus::PortLost;
using record::exitstatus::PortNotOpenable;
using record::exitstatus::RecordNotWritten;
using record::exitstatus::ResetNotConfirmed;
using record::exitstatus::SaveNotConfirmed;
using record::exitstatus::SomePlcsFailed;
using record::exitstatus::StoppedByUser;
using record::exitstatus::Success;
using record::exitstatus::UploadAborted;
using record::exitstatus::UsageError;
} // namespace vantor::cli
