// The cue step on hand-made frame records: when a watched channel fires, and
// which effect, with which values, each instrument spawns.
#include "blooddrawcommand.h"
#include "cuestep.h"
#include "discorddrawcommand.h"
#include "drawsworddrawcommand.h"
#include "killdrawcommand.h"
#include "missdrawcommand.h"
#include "notedrawcommand.h"
#include "parrydrawcommand.h"
#include "snaredrawcommand.h"

#include <QtTest>
#include <cstring>
#include <map>

namespace {

xmp_frame_info emptyRecord()
{
    xmp_frame_info info;
    std::memset(&info, 0, sizeof info);
    for (xmp_channel_info &channel : info.channel_info) {
        channel.instrument = 255;
        channel.position = 0xffffffffu;
        channel.pan = 128;
    }
    return info;
}

struct Watched {
    ChannelWatcher watchers[5] = {{0}, {1}, {2}, {3}, {6}};
    EffectSet effects;

    // Runs one cue step and returns how many effects it spawned.
    int step(const xmp_frame_info &info, bool gentle = false)
    {
        const int before = effects.size();
        runCueStep(info, watchers, effects, gentle);
        return effects.size() - before;
    }
};

// What a spawned effect is, with its fields in order, for table comparison.
QString describe(DrawCommand *effect)
{
    if (auto *e = dynamic_cast<DiscordDrawCommand *>(effect))
        return QString("Discord %1 %2%3").arg(e->songRow).arg(e->life).arg(e->gentle ? " gentle" : "");
    if (auto *e = dynamic_cast<SnareDrawCommand *>(effect))
        return QString("Snare %1%2").arg(e->life).arg(e->gentle ? " gentle" : "");
    if (auto *e = dynamic_cast<ParryDrawCommand *>(effect))
        return QString("Parry %1 %2 %3 %4 %5").arg(e->pan).arg(e->size).arg(e->saturation).arg(e->songRow).arg(e->life);
    if (auto *e = dynamic_cast<DrawSwordDrawCommand *>(effect))
        return QString("DrawSword %1 %2 %3").arg(e->pan).arg(e->delay).arg(e->life);
    if (auto *e = dynamic_cast<MissDrawCommand *>(effect))
        return QString("Miss %1 %2 %3").arg(e->pan).arg(e->size).arg(e->life);
    if (auto *e = dynamic_cast<KillDrawCommand *>(effect))
        return QString("Kill %1 %2 %3 %4").arg(e->pan).arg(e->size).arg(e->songPosition).arg(e->life);
    if (auto *e = dynamic_cast<NoteDrawCommand *>(effect))
        return QString("Note %1 %2 %3 %4").arg(e->life).arg(e->songRow).arg(e->songPosition).arg(e->note);
    if (auto *e = dynamic_cast<BloodDrawCommand *>(effect))
        return QString("Blood %1 %2 %3 %4").arg(e->delay).arg(e->titleStart).arg(e->age).arg(e->duplicate);
    return "unknown";
}

} // namespace

class TestCueStep : public QObject {
    Q_OBJECT

private slots:
    void init() { bloodSpawned = false; }

    void firstFrameFiresEveryWatcherButSpawnsOnlyForInstruments()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.channel_info[1].instrument = 1;  // snare
        info.channel_info[1].position = 500;
        QCOMPARE(w.step(info), 1);
        QCOMPARE(describe(w.effects.at(0)), QString("Snare 20"));
    }

    void firingRules_data()
    {
        QTest::addColumn<int>("channel");
        QTest::addColumn<uint>("lastPosition");
        QTest::addColumn<uint>("position");
        QTest::addColumn<int>("lastInstrument");
        QTest::addColumn<int>("instrument");
        QTest::addColumn<bool>("fires");
        // Rule: the sample position went back.
        QTest::newRow("position drops on channel 0") << 0 << 900u << 0u << 0 << 0 << true;
        QTest::newRow("position drops on channel 1") << 1 << 900u << 10u << 0 << 0 << true;
        QTest::newRow("position drops by one") << 6 << 901u << 900u << 0 << 0 << true;
        QTest::newRow("position rises") << 2 << 100u << 700u << 0 << 0 << false;
        QTest::newRow("position unchanged") << 3 << 700u << 700u << 0 << 0 << false;
        QTest::newRow("no voice is never lower") << 2 << 100u << 0xffffffffu << 0 << 0 << false;
        // Rule: the instrument changed.
        QTest::newRow("instrument changes, position rises") << 2 << 100u << 700u << 0 << 1 << true;
        QTest::newRow("instrument changes to none") << 1 << 100u << 0xffffffffu << 1 << 255 << true;
        // Rule: still at 0 after a strike fires again, except on the snare channel.
        QTest::newRow("last 0 on channel 0") << 0 << 0u << 648u << 0 << 0 << true;
        QTest::newRow("last 0 on channel 2") << 2 << 0u << 648u << 0 << 0 << true;
        QTest::newRow("last 0 on channel 3") << 3 << 0u << 0u << 0 << 0 << true;
        QTest::newRow("last 0 on channel 6") << 6 << 0u << 648u << 0 << 0 << true;
        QTest::newRow("last 0 on channel 1") << 1 << 0u << 648u << 0 << 0 << false;
    }

    void firingRules()
    {
        QFETCH(int, channel);
        QFETCH(uint, lastPosition);
        QFETCH(uint, position);
        QFETCH(int, lastInstrument);
        QFETCH(int, instrument);
        QFETCH(bool, fires);
        Watched w;
        // Kicks on every watched channel, so that any firing spawns something.
        xmp_frame_info info = emptyRecord();
        for (ChannelWatcher &watcher : w.watchers) {
            watcher.lastPosition = int32_t(watcher.channel == channel ? lastPosition : 5000u);
            watcher.lastInstrument = lastInstrument;
            info.channel_info[watcher.channel].instrument = uchar(lastInstrument);
            info.channel_info[watcher.channel].position = 5000u;
        }
        info.channel_info[channel].position = position;
        info.channel_info[channel].instrument = uchar(instrument);
        // An instrument change to "none" spawns nothing, so count firings through the watcher.
        const int spawned = w.step(info);
        const bool mapped = instrument != 255;
        QCOMPARE(spawned, fires && mapped ? 1 : 0);
        for (const ChannelWatcher &watcher : w.watchers) {
            if (watcher.channel == channel) {
                QCOMPARE(uint(watcher.lastPosition), position);
                QCOMPARE(watcher.lastInstrument, instrument);
            }
        }
    }

    void unwatchedChannelsNeverSpawn()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        for (int channel : {4, 5, 7}) {
            info.channel_info[channel].instrument = 1;
            info.channel_info[channel].position = 0;
        }
        QCOMPARE(w.step(info), 0);
        for (int channel : {4, 5, 7})
            info.channel_info[channel].instrument = 27;
        QCOMPARE(w.step(info), 0);
    }

    void snareStruckWithoutInstrumentNumberFiresOnce()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.channel_info[1].instrument = 1;
        info.channel_info[1].position = 0;
        QCOMPARE(w.step(info), 1);
        info.channel_info[1].position = 648;
        QCOMPARE(w.step(info), 0);
        info.channel_info[1].position = 0;  // struck again, same instrument
        QCOMPARE(w.step(info), 1);
    }

    void kickStrikeSpawnsTwiceInConsecutiveFrames()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.channel_info[0].instrument = 0;
        info.channel_info[0].position = 3000;
        w.step(info);
        info.channel_info[0].position = 0;
        QCOMPARE(w.step(info), 1);
        info.channel_info[0].position = 648;
        QCOMPARE(w.step(info), 1);
        info.channel_info[0].position = 1296;
        QCOMPARE(w.step(info), 0);
    }

    void songRowAndPositionComeFromTheRecord()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.pos = 8;
        info.num_rows = 128;
        info.row = 67;
        info.channel_info[0].instrument = 0;
        info.channel_info[6].instrument = 27;
        info.channel_info[6].pan = 200;
        w.step(info);
        QCOMPARE(describe(w.effects.at(0)), QString("Discord %1 32").arg(8 * 128 + 67));
        QCOMPARE(describe(w.effects.at(1)), QString("Kill 200 85 8 100"));
    }

    void instrumentTable_data()
    {
        QTest::addColumn<int>("instrument");
        QTest::addColumn<QString>("expected");
        // pan 77, note 69, songRow 2 * 64 + 5 = 133, songPosition 2 in the record below.
        const std::map<int, QString> mapped = {
            {0, "Discord 133 32"}, {1, "Snare 20"},
            {2, "Parry 77 60 0 133 100"}, {10, "Parry 77 60 0 133 100"},
            {3, "Parry 77 20 0 133 100"}, {4, "Parry 77 20 0 133 100"}, {6, "Parry 77 20 0 133 100"},
            {11, "Parry 77 20 0 133 100"}, {13, "Parry 77 20 0 133 100"}, {18, "Parry 77 20 0 133 100"},
            {22, "Parry 77 20 0 133 100"},
            {5, "Parry 77 40 0 133 100"}, {14, "Parry 77 40 0 133 100"}, {19, "Parry 77 40 0 133 100"},
            {7, "Parry 77 50 0 133 100"}, {26, "Parry 77 50 0 133 100"},
            {8, "Parry 77 85 0 133 100"},
            {9, "Parry 77 30 0 133 100"}, {23, "Parry 77 30 0 133 100"},
            {12, "DrawSword 77 0 100"}, {15, "DrawSword 77 0 100"}, {16, "DrawSword 77 0 100"},
            {21, "Miss 77 60 100"}, {24, "Miss 77 70 100"}, {25, "Miss 77 30 100"},
            {27, "Kill 77 85 2 100"}, {40, "Kill 77 30 2 100"}, {41, "Kill 77 20 2 100"},
            {43, "Kill 77 40 2 100"},
            {30, "Note 100 133 2 69"},
            {37, "Blood 400 900 0 0"},
        };
        for (int instrument = 0; instrument <= 255; ++instrument) {
            const auto found = mapped.find(instrument);
            QTest::newRow(qPrintable(QString("instrument index %1").arg(instrument)))
                << instrument << (found == mapped.end() ? QString("none") : found->second);
        }
    }

    void instrumentTable()
    {
        QFETCH(int, instrument);
        QFETCH(QString, expected);
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.pos = 2;
        info.num_rows = 64;
        info.row = 5;
        info.channel_info[2].instrument = uchar(instrument);
        info.channel_info[2].position = 0;
        info.channel_info[2].pan = 77;
        info.channel_info[2].note = 69;
        const int spawned = w.step(info);
        QCOMPARE(spawned == 0 ? QString("none") : describe(w.effects.at(0)), expected);
        QCOMPARE(spawned, expected == "none" ? 0 : 1);
    }

    // The gentle look reaches the effects that flash; the others spawn as ever.
    void gentleSpawns_data()
    {
        QTest::addColumn<int>("instrument");
        QTest::addColumn<QString>("expected");
        QTest::newRow("kick") << 0 << "Discord 133 32 gentle";
        QTest::newRow("snare") << 1 << "Snare 20 gentle";
        QTest::newRow("parry") << 8 << "Parry 77 85 0 133 100";
        QTest::newRow("kill") << 27 << "Kill 77 85 2 100";
        QTest::newRow("blood") << 37 << "Blood 400 900 0 0";
    }
    void gentleSpawns()
    {
        QFETCH(int, instrument);
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.pos = 2;
        info.num_rows = 64;
        info.row = 5;
        info.channel_info[2].instrument = uchar(instrument);
        info.channel_info[2].position = 0;
        info.channel_info[2].pan = 77;
        QCOMPARE(w.step(info, true), 1);
        QTEST(describe(w.effects.at(0)), "expected");
    }

    void onlyTheFirstBloodPlaysTheFinale()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.channel_info[6].instrument = 37;
        info.channel_info[6].position = 0;
        QCOMPARE(w.step(info), 1);  // strike
        info.channel_info[6].position = 648;
        QCOMPARE(w.step(info), 1);  // fired again: still at 0 last frame
        info.channel_info[6].position = 0;
        QCOMPARE(w.step(info), 1);  // a later strike
        QCOMPARE(describe(w.effects.at(0)), QString("Blood 400 900 0 0"));
        QCOMPARE(describe(w.effects.at(1)), QString("Blood 400 900 0 1"));
        QCOMPARE(describe(w.effects.at(2)), QString("Blood 400 900 0 1"));
        QVERIFY(bloodSpawned);
    }

    void soundOnlyInstrumentStillUpdatesTheWatcher()
    {
        Watched w;
        xmp_frame_info info = emptyRecord();
        info.channel_info[6].instrument = 28;  // the square lead: no cue
        info.channel_info[6].position = 0;
        QCOMPARE(w.step(info), 0);
        info.channel_info[6].position = 400;
        QCOMPARE(w.step(info), 0);
        info.channel_info[6].instrument = 27;  // back to a kill without a new strike
        QCOMPARE(w.step(info), 1);
    }
};

QTEST_MAIN(TestCueStep)
#include "test_cuestep.moc"
