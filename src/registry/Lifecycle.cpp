#include "veltmetadata/Lifecycle.h"

#include <algorithm>
#include <vector>

#include "ErrorList.h"
#include "LibraryResources.h"
#include "registry/Assert.h"
#include "registry/LifecycleHooks.h"
#include "registry/Loading.h"
#include "registry/RegistryState.h"
#include "registry/Toolkit.h"
#include "veltcore/Config.h"
#include "veltcore/Files.h"
#include "veltcore/Localizer.h"
#include "veltcore/Xml.h"

namespace veltmetadata {

namespace {

using WritingListener = std::shared_ptr<std::function<void()>>;
using WritingListeners = std::vector<WritingListener>;

bool sXMPWritingDisabled = false;
// Exists while the library is initialised.
std::unique_ptr<WritingListeners> sXMPWritingListeners;

constexpr const char* kForceWritableKey = "ForceMetadataWritable";

bool IsLive(const WritingListener& listener) {
  return listener && *listener;
}

std::vector<lifecycle::Participant>& Participants() {
  static std::vector<lifecycle::Participant> sParticipants;
  return sParticipants;
}

void InitializePrivate() {
  VELT_CHECK(veltcore::config::Localizer::Initialized(),
             "veltcore::config::Localizer::Initialized()");
  VELT_CHECK(veltcore::xml::Initialized(), "veltcore::xml::Initialized()");
  toolkit::Initialize(veltcore::string::UTF16to8(XMPFilesPluginsDirectory()),
                      veltcore::string::UTF16to8(veltcore::config::GetSuiteClientName()));
  // The library's module is its table of embedded resources; one without entries means the
  // built-in definitions are missing from the image.
  const veltcore::utility::ModuleHandle hmodule = &VeltMetadataResources();
  const bool result = hmodule->mCount > 0;
  VELT_CHECK(result && hmodule, "result && hmodule");
  registry::sModuleHandle = hmodule;
  registry::LoadAllDefinitions();
  // The default value formatters and other participants' tables are set up here.
  lifecycle::StartParticipants();
  sXMPWritingListeners = std::make_unique<WritingListeners>();
  CreateErrorListeners();
}

// The six steps of the last Terminate (see LifecycleHooks.h).
void TerminatePrivate() {
  sXMPWritingListeners.reset();
  DropErrorListeners();
  lifecycle::StopParticipants(lifecycle::kStopExtensionPackages);
  ClearErrorList();
  lifecycle::StopParticipants(lifecycle::kStopFormattersAndViews);
  registry::ClearRegistry();
  toolkit::Terminate();
}

}  // namespace

namespace lifecycle {

ParticipantRegistrar::ParticipantRegistrar(Participant participant) {
  const bool known = participant.mStopStep == kStopExtensionPackages ||
                     participant.mStopStep == kStopFormattersAndViews;
  VELT_CHECK(known, "mStopStep == kStopExtensionPackages || mStopStep == kStopFormattersAndViews");
  if (!known) participant.mStopStep = kStopFormattersAndViews;
  auto& participants = Participants();
  participants.push_back(std::move(participant));
  std::stable_sort(participants.begin(), participants.end(),
                   [](const Participant& a, const Participant& b) { return a.mOrder < b.mOrder; });
}

void StartParticipants() {
  for (const auto& participant : Participants()) {
    if (participant.mStart) participant.mStart();
  }
}

void StopParticipants(int step) {
  const auto& participants = Participants();
  for (auto it = participants.rbegin(); it != participants.rend(); ++it) {
    if (it->mStopStep == step && it->mStop) it->mStop();
  }
}

}  // namespace lifecycle

void Initialize() {
  if (registry::sInitializationCount.fetch_add(1) + 1 != 1) return;
  veltcore::config::CreateHeavyInitTask("veltmetadata", &InitializePrivate, {}, {});
}

void Terminate() {
  auto& count = registry::sInitializationCount;
  int previous = count.load();
  do {
    if (previous <= 0) {
      VELT_CHECK(false, "sInitializationCount > 0");
      return;
    }
  } while (!count.compare_exchange_weak(previous, previous - 1));
  if (previous == 1) {
    TerminatePrivate();
    return;
  }
  if (sXMPWritingListeners) {
    std::erase_if(*sXMPWritingListeners, [](const WritingListener& l) { return !IsLive(l); });
  }
  PurgeEmptyErrorListeners();
}

bool IsInitialized() {
  return registry::Initialized();
}

void DisableXMPWriting(bool disabled) {
  if (disabled == sXMPWritingDisabled) return;
  sXMPWritingDisabled = disabled;
  if (!sXMPWritingListeners) return;
  // Copy first: a subscriber may subscribe others while being called.
  const WritingListeners listeners = *sXMPWritingListeners;
  for (const auto& listener : listeners) {
    if (IsLive(listener)) (*listener)();
  }
}

bool IsXMPWritingDisabled() {
  return sXMPWritingDisabled;
}

void NotifyWhenXMPWritingChanged(const std::shared_ptr<std::function<void()>>& callback) {
  if (sXMPWritingListeners) sXMPWritingListeners->push_back(callback);
}

void ForcedAllMetadataWritable(bool forced) {
  veltcore::debug::DebugDatabase::Instance().SetEntry(kForceWritableKey, forced ? "true" : "false");
}

bool IsAllMetadataForcedWritable() {
  const auto& database = veltcore::debug::DebugDatabase::Instance();
  const std::string value =
      database.HasEntry(kForceWritableKey) ? database.GetEntry(kForceWritableKey) : "false";
  return value == "true";
}

UTF8String GetXMPCoreVersion() {
  static const UTF8String version = toolkit::CoreVersion();
  return version;
}

UTF8String GetXMPFilesVersion() {
  static const UTF8String version = toolkit::FilesVersion();
  return version;
}

UTF16String XMPFilesPluginsDirectory() {
  return veltcore::filesupport::commondirs::PluginsDir().SubDir("XMPFiles").FullPath();
}

}  // namespace veltmetadata
