// The cue step driven by the real module, one paint per player frame: what is
// spawned in each order position, struck note by struck note.
#include "blooddrawcommand.h"
#include "cuestep.h"
#include "discorddrawcommand.h"
#include "drawsworddrawcommand.h"
#include "killdrawcommand.h"
#include "missdrawcommand.h"
#include "notedrawcommand.h"
#include "parrydrawcommand.h"
#include "snaredrawcommand.h"
#include "songrecords.h"

#include <QtTest>
#include <array>
#include <map>

namespace {

enum Cue { Discord, Snare, Parry, Miss, DrawSword, Kill, Note, Blood, CueCount };
const char *const cueNames[CueCount] = {"Discord", "Snare", "Parry", "Miss", "DrawSword", "Kill", "Note", "Blood"};

Cue cueOf(DrawCommand *effect)
{
    if (dynamic_cast<DiscordDrawCommand *>(effect)) return Discord;
    if (dynamic_cast<SnareDrawCommand *>(effect)) return Snare;
    if (dynamic_cast<ParryDrawCommand *>(effect)) return Parry;
    if (dynamic_cast<MissDrawCommand *>(effect)) return Miss;
    if (dynamic_cast<DrawSwordDrawCommand *>(effect)) return DrawSword;
    if (dynamic_cast<KillDrawCommand *>(effect)) return Kill;
    if (dynamic_cast<NoteDrawCommand *>(effect)) return Note;
    return Blood;
}

using Counts = std::array<int, CueCount>;

} // namespace

class TestCuesModule : public QObject {
    Q_OBJECT

    std::array<Counts, 10> spawned{};
    std::vector<BloodDrawCommand> bloods;
    std::vector<std::pair<int, int>> killPositions;  // order position, songRow

private slots:
    // Plays the whole song once, painting every player frame exactly once.
    void initTestCase()
    {
        SongRecords song;
        QString error;
        QVERIFY2(decodeSong(song, false, &error), qPrintable(error));
        bloodSpawned = false;
        ChannelWatcher watchers[5] = {{0}, {1}, {2}, {3}, {6}};
        for (const xmp_frame_info &info : song.records) {
            EffectSet effects;
            runCueStep(info, watchers, effects);
            for (int i = 0; i < effects.size(); ++i) {
                DrawCommand *effect = effects.at(i);
                ++spawned[size_t(info.pos)][cueOf(effect)];
                if (auto *blood = dynamic_cast<BloodDrawCommand *>(effect))
                    bloods.push_back(*blood);
                if (auto *kill = dynamic_cast<KillDrawCommand *>(effect))
                    killPositions.push_back({kill->songPosition, info.pos * info.num_rows + info.row});
            }
        }
    }

    void spawnsPerOrderPosition_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("cue");
        QTest::addColumn<int>("expected");
        // Struck cue notes per order position; every strike on channels 0, 2, 3
        // and 6 spawns twice (the second paint still sees the position at 0),
        // the snare channel once. In position 8 channel 1 also strikes three
        // parries and one miss.
        struct Row { int position; Counts struck; Counts onSnareChannel; };
        const Row table[] = {
            //      Discord Snare Parry Miss Sword Kill Note Blood
            {0, {{0, 0, 1, 1, 0, 1, 33, 0}}, {}},
            {1, {{0, 0, 10, 3, 0, 0, 0, 0}}, {}},
            {2, {{8, 10, 14, 3, 1, 1, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {3, {{8, 10, 16, 3, 1, 1, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {4, {{8, 10, 12, 1, 2, 2, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {5, {{8, 10, 13, 3, 2, 1, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {6, {{8, 10, 20, 2, 1, 0, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {7, {{8, 10, 22, 4, 3, 1, 0, 0}}, {{0, 10, 0, 0, 0, 0, 0, 0}}},
            {8, {{18, 20, 21, 3, 0, 0, 0, 1}}, {{0, 20, 3, 1, 0, 0, 0, 0}}},
            {9, {{0, 0, 0, 0, 0, 1, 30, 0}}, {}},
        };
        for (const Row &row : table)
            for (int cue = 0; cue < CueCount; ++cue) {
                const int single = row.onSnareChannel[size_t(cue)];
                QTest::newRow(qPrintable(QString("position %1 %2").arg(row.position).arg(cueNames[cue])))
                    << row.position << cue << 2 * (row.struck[size_t(cue)] - single) + single;
            }
    }

    void spawnsPerOrderPosition()
    {
        QFETCH(int, position);
        QFETCH(int, cue);
        QFETCH(int, expected);
        QCOMPARE(spawned[size_t(position)][size_t(cue)], expected);
    }

    void onlyTheFirstBloodIsTheFinale()
    {
        QCOMPARE(int(bloods.size()), 2);
        QCOMPARE(bloods[0].duplicate, 0);
        QCOMPARE(bloods[1].duplicate, 1);
    }

    void closingKillIsInTheEnding()
    {
        QVERIFY(!killPositions.empty());
        const auto last = killPositions.back();
        QCOMPARE(last.first, 9);
        QCOMPARE(last.second, 9 * 256 + 206);
        for (size_t i = 0; i + 2 < killPositions.size(); ++i)
            QVERIFY2(killPositions[i].first <= 8, "only the closing kill may black out the screen");
    }
};

QTEST_MAIN(TestCuesModule)
#include "test_cues_module.moc"
