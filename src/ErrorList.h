#pragma once

// Internal side of the error collection: the one reporting entry point. The texts it reports
// are in Messages.h.

#include "Messages.h"
#include "veltmetadata/Errors.h"

namespace veltmetadata {

// Reports one problem: wraps `detail` in the localised message of `kind`, appends the report
// to the error list and calls the subscribers. Before anyone has subscribed (always the case
// during initialisation) the report is collected and an assertion is raised instead.
void SendError(ErrorKind kind, const UTF8String& detail, const UTF8String& file);

// Localises a catalogue ZString and fills its "@0".."@2" arguments: the detail of a report.
UTF8String ErrorDetail(const char* zstring, const std::vector<UTF8String>& args = {});

// Life cycle of the subscriber list, driven by Initialize and Terminate.
void CreateErrorListeners();      // first Initialize: an empty list exists from now on
void DropErrorListeners();        // final Terminate: the list and its subscribers are gone
void PurgeEmptyErrorListeners();  // a Terminate that does not end the library
void ClearErrorList();            // final Terminate: forget every report
bool ErrorListenersExist();

}  // namespace veltmetadata
