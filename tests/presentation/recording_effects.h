// Test double of the player's platform effects: records every request with the
// tick counter at the moment it was made, and answers the end question as the
// test says (optionally delivering timer ticks while the question is "open",
// as the message box's modal loop does).
#ifndef KOR_TESTS_PRESENTATION_RECORDING_EFFECTS_H
#define KOR_TESTS_PRESENTATION_RECORDING_EFFECTS_H

#include <cstdint>
#include <string>
#include <vector>

enum class EffectKind { repaint, repaintErasing, parkPointer, clip, question };

struct Effect {
  EffectKind kind;
  int clipId;         // for clip
  std::int32_t tick;  // the counter when the effect was asked for
  bool operator==(const Effect &other) const {
    return kind == other.kind && clipId == other.clipId;
  }
};

std::string describe(const Effect &effect);
std::string describe(const std::vector<Effect> &effects);

extern std::vector<Effect> recordedEffects;
extern bool replayAnswer;             // the answer to the end question
extern int ticksWhileQuestionOpen;    // ticks delivered before it is answered

void resetEffects();

#endif
