// Tones: warning, error and completion tunes through the sound system when
// an output device opens; silent, but keeping the timing, when none does.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

enum class BeepKind { Warning, Error, Done };

void BeepWarning();
void BeepError();
void BeepDone();

// Tests and batch front ends replace the playback: when a sink is set, each
// Beep call hands its kind to the sink and plays nothing (no blocking).
using BeepSink = std::function<void(BeepKind)>;
void SetBeepSink(BeepSink sink);
// Plays the tune of `kind` on the given player, synchronously, whatever
// the sink (a sink that plays the tunes on a thread of its own).
class zekspeakerclass;
void PlayBeepOn(zekspeakerclass& speaker, BeepKind kind);

// The single tone player: created when the error log starts, destroyed when
// it ends, and created on demand by a Beep call when there is none.
void StartBeeper();
void EndBeeper();
bool BeeperExists();
