#pragma once

// Parts of the library that keep process-wide state of their own (value formatters, views,
// extension packages) join the library's start and stop here instead of being named by the
// lifecycle code: `static lifecycle::ParticipantRegistrar kReg{{"views", 20, Start, Stop}};`

#include <functional>

namespace veltmetadata::lifecycle {

struct Participant {
  const char* mName;
  // Participants start in ascending order and stop in descending order.
  int mOrder;
  // Runs at the first Initialize, after every definition is loaded. May be empty.
  std::function<void()> mStart;
  // Runs at the last Terminate, before the error list and the registry are cleared; the
  // library already counts as stopped, so registry lookups answer null. May be empty.
  std::function<void()> mStop;
};

struct ParticipantRegistrar {
  explicit ParticipantRegistrar(Participant participant);
};

// Runs the start (respectively stop) functions of every participant, in order.
void StartParticipants();
void StopParticipants();

}  // namespace veltmetadata::lifecycle
