#include "cuestep.h"

#include "blooddrawcommand.h"
#include "discorddrawcommand.h"
#include "drawsworddrawcommand.h"
#include "killdrawcommand.h"
#include "missdrawcommand.h"
#include "notedrawcommand.h"
#include "parrydrawcommand.h"
#include "snaredrawcommand.h"

bool bloodSpawned = false;

namespace {

DrawCommand *parry(const CueContext &cue, int32_t size)
{
    return new ParryDrawCommand(cue.pan, size, 0, cue.songRow, 100);
}

DrawCommand *miss(const CueContext &cue, int32_t size)
{
    return new MissDrawCommand(cue.pan, size, 100);
}

DrawCommand *kill(const CueContext &cue, int32_t size)
{
    return new KillDrawCommand(cue.pan, size, cue.songPosition, 100);
}

DrawCommand *blood()
{
    const int32_t duplicate = bloodSpawned ? 1 : 0;
    bloodSpawned = true;
    return new BloodDrawCommand(400, 900, 0, duplicate);
}

} // namespace

DrawCommand *spawnEffect(int instrument, const CueContext &cue)
{
    switch (instrument) {
    case 0: return new DiscordDrawCommand(cue.songRow, 32, cue.gentle ? 1 : 0);
    case 1: return new SnareDrawCommand(20, cue.gentle ? 1 : 0);
    case 2: case 10: return parry(cue, 60);
    case 3: case 4: case 6: case 11: case 13: case 18: case 22: return parry(cue, 20);
    case 5: case 14: case 19: return parry(cue, 40);
    case 7: case 26: return parry(cue, 50);
    case 8: return parry(cue, 85);
    case 9: case 23: return parry(cue, 30);
    case 12: case 15: case 16: return new DrawSwordDrawCommand(cue.pan, 0, 100);
    case 21: return miss(cue, 60);
    case 24: return miss(cue, 70);
    case 25: return miss(cue, 30);
    case 27: return kill(cue, 85);
    case 40: return kill(cue, 30);
    case 41: return kill(cue, 20);
    case 43: return kill(cue, 40);
    case 30: return new NoteDrawCommand(100, cue.songRow, cue.songPosition, cue.note);
    case 37: return blood();
    default: return nullptr;
    }
}

void runCueStep(const xmp_frame_info &info, ChannelWatcher (&watchers)[5], EffectSet &effects, bool gentle)
{
    const int32_t songPosition = info.pos;
    const int32_t songRow = info.pos * info.num_rows + info.row;
    for (ChannelWatcher &watcher : watchers) {
        const xmp_channel_info &channel = info.channel_info[watcher.channel];
        const uint32_t position = channel.position;
        const int32_t instrument = channel.instrument;
        // A struck note sends the sample position back; channel 1's snare is
        // exempt from the "still at 0" rule so that one snare flashes once.
        const bool fires = position < uint32_t(watcher.lastPosition)
                           || instrument != watcher.lastInstrument
                           || (watcher.lastPosition == 0 && watcher.channel != 1);
        if (fires) {
            const CueContext cue{songRow, songPosition, channel.pan, channel.note, gentle};
            if (DrawCommand *effect = spawnEffect(instrument, cue))
                effects.insert(effect);
        }
        watcher.lastPosition = int32_t(position);
        watcher.lastInstrument = instrument;
    }
}
