#include "recording_effects.h"

#include "presentation/effects.h"
#include "presentation/player.h"
#include "presentation/timeline.h"

std::vector<Effect> recordedEffects;
bool replayAnswer = false;
int ticksWhileQuestionOpen = 0;

void resetEffects() {
  recordedEffects.clear();
  replayAnswer = false;
  ticksWhileQuestionOpen = 0;
}

std::string describe(const Effect &effect) {
  switch (effect.kind) {
  case EffectKind::repaint:
    return "repaint";
  case EffectKind::repaintErasing:
    return "repaint+erase";
  case EffectKind::parkPointer:
    return "park";
  case EffectKind::clip:
    return "clip " + std::to_string(effect.clipId);
  case EffectKind::question:
    return "question";
  }
  return "?";
}

std::string describe(const std::vector<Effect> &effects) {
  std::string text = "[";
  for (const Effect &effect : effects)
    text += (text.size() > 1 ? ", " : "") + describe(effect);
  return text + "]";
}

void requestRepaint(bool erase) {
  recordedEffects.push_back({erase ? EffectKind::repaintErasing : EffectKind::repaint, 0, tick});
}

void parkRealPointer() { recordedEffects.push_back({EffectKind::parkPointer, 0, tick}); }

void playClip(int clipId) { recordedEffects.push_back({EffectKind::clip, clipId, tick}); }

bool askReplayInSlowMotion() {
  recordedEffects.push_back({EffectKind::question, 0, tick});
  // The message box's own loop keeps dispatching the window's timer.
  for (int i = 0; i < ticksWhileQuestionOpen; ++i)
    onTimelineTick();
  return replayAnswer;
}
