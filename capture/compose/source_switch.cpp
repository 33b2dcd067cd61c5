#include "source_switch.h"

#include <algorithm>

#include "base/clock.h"

namespace lessonry::capture {
namespace {

bool videoConnected(const SourceEntry* e) { return e && e->video && e->video->IsConnected() != 0; }
bool audioConnected(const SourceEntry* e) { return e && e->audio && e->audio->IsConnected() != 0; }

}  // namespace

void CSourceSwitch::finish() {
  if (!switching_) return;
  switching_ = false;
  progress_ = 100;
  if (videoConnected(current_)) current_->video->SetInUse(FALSE);
  current_ = incoming_;
  incoming_ = nullptr;
  active_.clear();
  if (current_) active_.push_back(current_);
}

void CSourceSwitch::begin(SourceEntry* entry) {
  finish();
  switching_ = true;
  incoming_ = entry;
  if (videoConnected(entry)) entry->video->SetInUse(TRUE);
  active_.push_back(entry);
  progress_ = 0;
  switchStart_ = timeGetTime();
}

void CSourceSwitch::progressStep() {
  if (progress_ != 100) {
    progress_ = MulDiv(100, static_cast<int32_t>(timeGetTime() - switchStart_), kSwitchDurationMs);
    if (progress_ < 0 || progress_ > 100) progress_ = 100;
    if (progress_ == 100) finish();
  } else {
    finish();
  }
}

void CSourceSwitch::forget(SourceEntry* entry) {
  auto it = std::find(active_.begin(), active_.end(), entry);
  if (it != active_.end()) active_.erase(it);
  if (incoming_ == entry) incoming_ = nullptr;
  if (current_ == entry) current_ = nullptr;
}

void CSources::insert(int32_t sourceId, IOxVideoRenderConfig* video, IOxAudioRenderConfig* audio) {
  list_.push_back(std::make_unique<SourceEntry>(SourceEntry{sourceId, video, audio}));
}

void CSources::remove(int32_t sourceId) {
  SourceEntry* entry = find(sourceId);
  if (!entry) return;
  switch_.forget(entry);
  auto it = std::find_if(list_.begin(), list_.end(), [entry](const auto& p) { return p.get() == entry; });
  list_.erase(it);
}

SourceEntry* CSources::find(int32_t sourceId) const {
  for (const auto& e : list_)
    if (e->sourceId == sourceId) return e.get();
  return nullptr;
}

SourceEntry* CSources::firstConnectedAudio() const {
  for (const auto& e : list_)
    if (audioConnected(e.get())) return e.get();
  return nullptr;
}

void CSources::selectPicture(SourceEntry* entry) {
  if (videoConnected(entry)) switch_.begin(entry);
}

IOxAudioRenderConfig* CSources::chooseAudio(SourceEntry* entry, IOxAudioRenderConfig* current) const {
  SourceEntry* chosen = entry;
  if (!current && !audioConnected(entry)) {
    if (SourceEntry* first = firstConnectedAudio()) chosen = first;
  }
  return audioConnected(chosen) ? chosen->audio : nullptr;
}

}  // namespace lessonry::capture
