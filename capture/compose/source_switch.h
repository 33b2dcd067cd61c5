// The recorder's sources: the list of other controls' render interfaces
// (InsertSource / RemoveSource), the switch between them (CSourceSwitch) and
// the choice of picture and sound (SelectSource).
//
// The interfaces in an entry belong to other controls; they are not
// reference-counted here and must outlive their use (the host guarantees it).
//
// Lock order: the recorder's frame lock guards the switch state and the
// active list; the source list itself is changed by the host's thread while
// no recording runs. CSources takes no lock of its own: its callers hold the
// frame lock where the comments say so.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "filters/pinworks.h"

namespace lessonry::capture {

struct SourceEntry {
  int32_t sourceId;
  IOxVideoRenderConfig* video;
  IOxAudioRenderConfig* audio;
};

// Which source's picture the tick uses, with the 1000 ms switch between two.
class CSourceSwitch {
 public:
  static constexpr int32_t kSwitchDurationMs = 1000;

  // Ends a switch under way: the incoming source becomes current and the
  // only active one; the previous current source's render is counted down.
  void finish();
  // Starts a switch to entry (finishing any under way); the entry's render is
  // counted up and appended to the active list.
  void begin(SourceEntry* entry);
  // Once per tick in modes 1 and 2.
  void progressStep();
  // The source whose picture the tick uses, or null.
  SourceEntry* front() const { return active_.empty() ? nullptr : active_.front(); }
  // Takes entry out of the active list and the switch (RemoveSource).
  void forget(SourceEntry* entry);
  int32_t progress() const { return progress_; }
  bool switching() const { return switching_; }

 private:
  std::vector<SourceEntry*> active_;
  SourceEntry* incoming_ = nullptr;
  SourceEntry* current_ = nullptr;
  bool switching_ = false;
  int32_t progress_ = 100;
  uint32_t switchStart_ = 0;
};

// The source list and the selection of picture and sound.
class CSources {
 public:
  // Host's thread.
  void insert(int32_t sourceId, IOxVideoRenderConfig* video, IOxAudioRenderConfig* audio);
  // Host's thread, frame lock held: drops the first active entry with that
  // id, then the first list entry with that id.
  void remove(int32_t sourceId);
  SourceEntry* find(int32_t sourceId) const;
  // The first entry in list order whose audio render is connected.
  SourceEntry* firstConnectedAudio() const;

  CSourceSwitch& sourceSwitch() { return switch_; }

  // Picture part of SelectSource: call with the frame lock held.
  void selectPicture(SourceEntry* entry);
  // Sound part of SelectSource: the audio interface the PCM callback should
  // move to, or null when it stays where it is. current is the interface the
  // callback is registered with now (null: none yet).
  IOxAudioRenderConfig* chooseAudio(SourceEntry* entry, IOxAudioRenderConfig* current) const;

 private:
  std::vector<std::unique_ptr<SourceEntry>> list_;
  CSourceSwitch switch_;
};

}  // namespace lessonry::capture
