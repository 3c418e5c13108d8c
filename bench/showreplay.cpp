#include "showreplay.h"

#include "blooddrawcommand.h"
#include "drawsworddrawcommand.h"
#include "effectpass.h"
#include "killdrawcommand.h"
#include "snaredrawcommand.h"

#include <QImage>
#include <QPainter>
#include <climits>
#include <cstring>
#include <tuple>

SongRecords playWholeSong()
{
    SongRecords song;
    QString error;
    if (!decodeSong(song, false, &error))
        return SongRecords();
    return song;
}

size_t stepsInSong(const SongRecords &song, int rate)
{
    return size_t(stepsInSong(qint64(song.records.size()), rate, song.samplesPerPlayerFrame));
}

xmp_frame_info silentRecord()
{
    xmp_frame_info record;
    std::memset(&record, 0, sizeof record);
    for (xmp_channel_info &channel : record.channel_info) {
        channel.position = UINT_MAX;
        channel.instrument = 255;
    }
    return record;
}

FrameState::FrameState(const Scene &scene, const xmp_frame_info &record)
    : finaleSpawned(bloodSpawned), frameRecord(record)
{
    for (int i = 0; i < scene.effects.size(); ++i)
        effects.emplace_back(scene.effects.at(i)->clone());
    std::copy(std::begin(scene.watchers), std::end(scene.watchers), std::begin(watchers));
}

FrameState::FrameState(const FrameState &other)
{
    *this = other;
}

FrameState &FrameState::operator=(const FrameState &other)
{
    if (this == &other)
        return *this;
    effects.clear();
    for (const auto &effect : other.effects)
        effects.emplace_back(effect->clone());
    std::copy(std::begin(other.watchers), std::end(other.watchers), std::begin(watchers));
    finaleSpawned = other.finaleSpawned;
    frameRecord = other.frameRecord;
    return *this;
}

void FrameState::restoreInto(Scene &scene) const
{
    while (!scene.effects.isEmpty()) {
        DrawCommand *effect = scene.effects.at(0);
        scene.effects.remove(effect);
        delete effect;
    }
    for (const auto &effect : effects)
        scene.effects.insert(effect->clone());
    std::copy(std::begin(watchers), std::end(watchers), std::begin(scene.watchers));
    bloodSpawned = finaleSpawned;
}

FrameCensus paintAndCount(Scene &scene, const xmp_frame_info &record)
{
    runCueStep(record, scene.watchers, scene.effects);

    // What the pass is about to draw: everything up to a blackout, which ends it.
    FrameCensus census;
    for (int i = 0; i < scene.effects.size(); ++i) {
        const DrawCommand *effect = scene.effects.at(i);
        ++census.live;
        if (const auto *snare = dynamic_cast<const SnareDrawCommand *>(effect))
            census.snares += snare->life > 0 ? 1 : 0;
        if (const auto *stroke = dynamic_cast<const DrawSwordDrawCommand *>(effect))
            census.strokes += stroke->delay <= 0 ? 1 : 0;
        if (const auto *blood = dynamic_cast<const BloodDrawCommand *>(effect)) {
            if (blood->duplicate == 0) {
                const int age = blood->age + 1;
                census.stripes = census.stripes || age > blood->delay;
                census.title = census.title || age > blood->titleStart;
                census.credits = census.credits || age > blood->titleStart + 400;
            }
        }
        if (const auto *kill = dynamic_cast<const KillDrawCommand *>(effect)) {
            if (kill->songPosition > 8) {
                census.blackout = true;
                break;
            }
        }
    }

    static QImage tiny(8, 8, QImage::Format_RGB888);
    QPainter painter(&tiny);
    painter.setRenderHint(QPainter::Antialiasing);
    census.distortion = runEffectPass(painter, scene.effects);
    return census;
}

std::vector<ChosenFrame> chooseFrames(const SongRecords &song)
{
    std::vector<ChosenFrame> frames;
    {
        // Seen once, the silent record cues nothing again.
        bloodSpawned = false;
        Scene scene;
        const xmp_frame_info silent = silentRecord();
        paintAndCount(scene, silent);
        frames.push_back({"empty", -1, FrameCensus(), FrameState(scene, silent)});
    }

    ChosenFrame busiest{"busiest", -1, {}, {}};
    ChosenFrame finale{"finale", -1, {}, {}};
    ChosenFrame blackout{"blackout", -1, {}, {}};
    ChosenFrame shaken{"shaken", -1, {}, {}};
    ChosenFrame strokes{"strokes", -1, {}, {}};
    const auto busyness = [](const FrameCensus &c) { return std::make_tuple(c.live, c.snares, c.distortion); };
    const auto shake = [](const FrameCensus &c) { return std::make_tuple(c.snares >= 2, c.distortion, c.live); };
    const auto stroking = [](const FrameCensus &c) { return std::make_tuple(c.strokes, c.live); };
    const auto take = [](ChosenFrame &chosen, size_t paint, const FrameState &state, const FrameCensus &census) {
        chosen.paint = long(paint);
        chosen.state = state;
        chosen.census = census;
    };
    walkSong(song, 60, [&](size_t paint, const FrameState &before, const FrameCensus &census) {
        if (busiest.paint < 0 || busyness(census) > busyness(busiest.census))
            take(busiest, paint, before, census);
        if (shaken.paint < 0 || shake(census) > shake(shaken.census))
            take(shaken, paint, before, census);
        if (strokes.paint < 0 || stroking(census) > stroking(strokes.census))
            take(strokes, paint, before, census);
        if (census.stripes && census.title && census.credits && !census.blackout)
            take(finale, paint, before, census);
        if (census.blackout && blackout.paint < 0)
            take(blackout, paint, before, census);
    });
    for (ChosenFrame *chosen : {&busiest, &finale, &blackout, &shaken, &strokes})
        if (chosen->paint >= 0)
            frames.push_back(*chosen);
    return frames;
}
