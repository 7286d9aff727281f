#pragma once

// Parts of the library that keep process-wide state of their own (value formatters, views,
// extension packages) join the library's start and stop here instead of being named by the
// lifecycle code:
//     static lifecycle::ParticipantRegistrar sReg{{"views", 20, Start, Stop,
//     kStopFormattersAndViews}};
//
// The first Initialize runs, in order: the toolkit's start, the module handle, the loading of
// every definition, then every participant's mStart (ascending mOrder; this is where the
// default value formatters are registered), and last the creation of the subscriber lists.
//
// The last Terminate runs six steps, in order:
//   1. the XMP-writing and error subscriber lists are dropped;
//   2. participants of step kStopExtensionPackages stop (the extension package registry);
//   3. the error list is cleared;
//   4. participants of step kStopFormattersAndViews stop (formatter tables, view registry);
//   5. the registry of schemas and types is cleared;
//   6. the toolkit's file handlers and core stop.
// The library counts as stopped from step 1 on, so registry lookups in mStop answer null.

#include <functional>

namespace veltmetadata::lifecycle {

// The Terminate steps at which participants stop.
inline constexpr int kStopExtensionPackages = 2;
inline constexpr int kStopFormattersAndViews = 4;

struct Participant {
  const char* mName;
  // Participants start in ascending order and, within one step, stop in descending order.
  int mOrder;
  // Runs at the first Initialize, after every definition is loaded. May be empty.
  std::function<void()> mStart;
  // Runs at the last Terminate, at step mStopStep. May be empty.
  std::function<void()> mStop;
  // kStopExtensionPackages or kStopFormattersAndViews; any other value raises an assertion
  // at registration and is treated as kStopFormattersAndViews.
  int mStopStep = kStopFormattersAndViews;
};

struct ParticipantRegistrar {
  explicit ParticipantRegistrar(Participant participant);
};

// Runs the start functions of every participant, in ascending order.
void StartParticipants();
// Runs the stop functions of the participants of one Terminate step, in descending order.
void StopParticipants(int step);

}  // namespace veltmetadata::lifecycle
