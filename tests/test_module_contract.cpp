// The compiled-in music module against what the show reads from it: the
// file's header, instrument slots and pattern cells as stored, and, played
// through libxmp frame by frame as the module device plays it, the struck
// notes that the director turns into effects.
#include <QFile>
#include <QMap>
#include <QSet>
#include <QtTest>

#include <xmp.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The file as stored: a small XM reader, independent of the generator's code.

struct XmCell {
    int note = 0, instrument = 0, volume = 0, effect = 0, param = 0;
};

struct XmPattern {
    int rows = 0;
    std::vector<XmCell> cells;  // rows x channels
};

struct XmSample {
    uint32_t length = 0, loopStart = 0, loopLength = 0;
    int volume = 0, finetune = 0, type = 0, panning = 0, relativeNote = 0;
};

struct XmInstrument {
    QByteArray name;
    int samples = 0;
    int volumeType = 0, panningType = 0, vibratoDepth = 0, fadeout = 0;
    XmSample sample;
};

struct XmFile {
    bool ok = false;
    QString error;
    QByteArray bytes;
    std::vector<int> order;
    int channels = 0;
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;

    int u8(int at) const { return at < bytes.size() ? uint8_t(bytes[at]) : -1; }
    int u16(int at) const { return u8(at) | u8(at + 1) << 8; }
    uint32_t u32(int at) const { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; }
    const XmCell& cell(int pattern, int row, int channel) const {
        return patterns[pattern].cells[size_t(row) * channels + channel];
    }
};

XmFile readXm(const QByteArray& bytes) {
    XmFile f;
    f.bytes = bytes;
    auto fail = [&](const QString& why) { f.error = why; return f; };
    if (bytes.size() < 336 || !bytes.startsWith("Extended Module: ")) return fail("no XM header");
    const int headerEnd = 60 + f.u32(60);
    const int length = f.u16(64);
    f.channels = f.u16(68);
    const int patterns = f.u16(70), instruments = f.u16(72);
    for (int i = 0; i < length; ++i) f.order.push_back(f.u8(80 + i));
    int at = headerEnd;
    for (int p = 0; p < patterns; ++p) {
        XmPattern pattern;
        pattern.rows = f.u16(at + 5);
        const int packed = f.u16(at + 7);
        at += f.u32(at);
        const int end = at + packed;
        if (end > bytes.size()) return fail(QString("pattern %1 runs past the end").arg(p));
        pattern.cells.resize(size_t(pattern.rows) * f.channels);
        for (XmCell& c : pattern.cells) {
            if (at >= end) return fail(QString("pattern %1 holds too few cells").arg(p));
            int fields[5] = {0, 0, 0, 0, 0};
            const int lead = f.u8(at);
            if (lead & 0x80) {
                ++at;
                for (int i = 0; i < 5; ++i)
                    if (lead & (1 << i)) fields[i] = f.u8(at++);
            } else {
                for (int i = 0; i < 5; ++i) fields[i] = f.u8(at++);
            }
            c = {fields[0], fields[1], fields[2], fields[3], fields[4]};
        }
        if (at != end) return fail(QString("pattern %1 holds more data than cells").arg(p));
        f.patterns.push_back(pattern);
    }
    for (int i = 0; i < instruments; ++i) {
        XmInstrument in;
        const int start = at;
        in.name = bytes.mid(at + 4, 22);
        in.samples = f.u16(at + 27);
        if (in.samples != 1) return fail(QString("instrument %1 has %2 samples").arg(i + 1).arg(in.samples));
        in.volumeType = f.u8(at + 233);
        in.panningType = f.u8(at + 234);
        in.vibratoDepth = f.u8(at + 237);
        in.fadeout = f.u16(at + 239);
        at = start + f.u32(start);
        XmSample& s = in.sample;
        s.length = f.u32(at);
        s.loopStart = f.u32(at + 4);
        s.loopLength = f.u32(at + 8);
        s.volume = f.u8(at + 12);
        s.finetune = int8_t(f.u8(at + 13));
        s.type = f.u8(at + 14);
        s.panning = f.u8(at + 15);
        s.relativeNote = int8_t(f.u8(at + 16));
        at += f.u32(start + 29) + s.length;
        if (at > bytes.size()) return fail(QString("instrument %1 runs past the end").arg(i + 1));
        f.instruments.push_back(in);
    }
    if (at != bytes.size()) return fail("bytes left after the last sample");
    f.ok = true;
    return f;
}

// ---------------------------------------------------------------------------
// What the director makes of each XM instrument slot.

enum class Cue { None, Discord, Snare, Parry, DrawSword, Miss, Kill, Note, Blood };
const Cue kCues[] = {Cue::Discord, Cue::Snare, Cue::Parry, Cue::DrawSword, Cue::Miss, Cue::Kill, Cue::Note, Cue::Blood};

const char* cueName(Cue cue) {
    switch (cue) {
    case Cue::Discord: return "Discord";
    case Cue::Snare: return "Snare";
    case Cue::Parry: return "Parry";
    case Cue::DrawSword: return "DrawSword";
    case Cue::Miss: return "Miss";
    case Cue::Kill: return "Kill";
    case Cue::Note: return "Note";
    case Cue::Blood: return "Blood";
    case Cue::None: break;
    }
    return "none";
}

Cue cueOf(int xmInstrument) {
    switch (xmInstrument) {
    case 1: return Cue::Discord;
    case 2: return Cue::Snare;
    case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 14:
    case 15: case 19: case 20: case 23: case 24: case 27:
        return Cue::Parry;
    case 13: case 16: case 17: return Cue::DrawSword;
    case 22: case 25: case 26: return Cue::Miss;
    case 28: case 41: case 42: case 44: return Cue::Kill;
    case 31: return Cue::Note;
    case 38: return Cue::Blood;
    default: return Cue::None;
    }
}

bool isSwordCue(Cue c) { return c == Cue::Parry || c == Cue::DrawSword || c == Cue::Miss || c == Cue::Kill; }

const int kWatched[] = {0, 1, 2, 3, 6};
const std::vector<int> kOrder = {2, 0, 1, 10, 3, 4, 11, 5, 7, 9};
const std::vector<int> kRows = {142, 64, 64, 64, 64, 64, 64, 111, 128, 256};

// A note as the director sees it: the frame in which a watched channel's
// sample position drops or its instrument changes.
struct Struck {
    int pos, row, numRows, channel, instrument, note, pan;
    Cue cue;
    int songRow() const { return pos * numRows + row; }
};

QString describe(const Struck& s) {
    return QString("position %1 row %2 channel %3 instrument %4").arg(s.pos).arg(s.row).arg(s.channel).arg(s.instrument);
}

struct Playback {
    bool loaded = false;
    int frames = 0;
    QSet<int> bufferSizes, speeds, bpms;
    std::vector<int> positions;         // order position of each frame
    QMap<int, QSet<int>> numRowsAt;     // order position -> num_rows seen
    QMap<int, int> lastRowAt;           // order position -> highest row seen
    std::vector<Struck> struck;
    std::vector<double> rmsPerSecond;   // over full seconds of both channels
    int clipped = 0;
};

Playback play(const QByteArray& module) {
    Playback p;
    xmp_context ctx = xmp_create_context();
    if (xmp_load_module_from_memory(ctx, module.constData(), long(module.size())) != 0) {
        xmp_free_context(ctx);
        return p;
    }
    p.loaded = true;
    xmp_start_player(ctx, 44100, 0);
    uint32_t lastPosition[XMP_MAX_CHANNELS];
    int lastInstrument[XMP_MAX_CHANNELS];
    std::fill(std::begin(lastPosition), std::end(lastPosition), 0xFFFFFFFFu);
    std::fill(std::begin(lastInstrument), std::end(lastInstrument), -1);
    double sumSquares = 0;
    long samplesInSecond = 0;
    xmp_frame_info fi;
    // Bounded well above the song's length in case the module never wraps.
    for (int guard = 0; guard < 20000 && xmp_play_frame(ctx) == 0; ++guard) {
        xmp_get_frame_info(ctx, &fi);
        if (fi.loop_count >= 1) break;
        ++p.frames;
        p.bufferSizes.insert(fi.buffer_size);
        p.speeds.insert(fi.speed);
        p.bpms.insert(fi.bpm);
        p.positions.push_back(fi.pos);
        p.numRowsAt[fi.pos].insert(fi.num_rows);
        p.lastRowAt[fi.pos] = std::max(p.lastRowAt.value(fi.pos, 0), fi.row);
        for (int c : kWatched) {
            const xmp_channel_info& ci = fi.channel_info[c];
            if (ci.position < lastPosition[c] || ci.instrument != lastInstrument[c]) {
                if (ci.instrument != 255) {
                    const int instrument = ci.instrument + 1;
                    p.struck.push_back({fi.pos, fi.row, fi.num_rows, c, instrument, ci.note, ci.pan, cueOf(instrument)});
                }
            }
            lastPosition[c] = ci.position;
            lastInstrument[c] = ci.instrument;
        }
        const auto* pcm = static_cast<const int16_t*>(fi.buffer);
        for (int i = 0; i < fi.buffer_size / 2; ++i) {
            if (pcm[i] >= 32767 || pcm[i] <= -32768) ++p.clipped;
            sumSquares += double(pcm[i]) * pcm[i];
            if (++samplesInSecond == 2 * 44100) {
                p.rmsPerSecond.push_back(std::sqrt(sumSquares / samplesInSecond) / 32768.0);
                sumSquares = 0;
                samplesInSecond = 0;
            }
        }
    }
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    return p;
}

}  // namespace

class TestModuleContract : public QObject {
    Q_OBJECT

private:
    XmFile file;
    Playback playback;

    std::vector<Struck> struckWhere(int pos, int row, int channel) const {
        std::vector<Struck> found;
        for (const Struck& s : playback.struck)
            if (s.pos == pos && s.row == row && s.channel == channel) found.push_back(s);
        return found;
    }

private slots:
    void initTestCase() {
        QFile resource(":/music.xm");
        QVERIFY2(resource.open(QIODevice::ReadOnly), "the module is not in the resources");
        const QByteArray bytes = resource.readAll();
        file = readXm(bytes);
        QVERIFY2(file.ok, qPrintable("the module does not parse as XM: " + file.error));
        playback = play(bytes);
        QVERIFY2(playback.loaded, "libxmp does not load the module from memory");
    }

    void fileSize() {
        QVERIFY2(file.bytes.size() < 4 * 1024 * 1024,
                 qPrintable(QString("module is %1 bytes, over 4 MB").arg(file.bytes.size())));
    }

    void headerValue_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("expected");
        QTest::newRow("0x1A after the name") << 37 << 1 << 0x1A;
        QTest::newRow("version") << 58 << 2 << 0x0104;
        QTest::newRow("header size") << 60 << 4 << 276;
        QTest::newRow("song length") << 64 << 2 << 10;
        QTest::newRow("restart position") << 66 << 2 << 0;
        QTest::newRow("channels") << 68 << 2 << 8;
        QTest::newRow("patterns") << 70 << 2 << 12;
        QTest::newRow("instruments") << 72 << 2 << 44;
        QTest::newRow("flags (linear frequencies)") << 74 << 2 << 1;
        QTest::newRow("default tempo") << 76 << 2 << 6;
        QTest::newRow("default BPM") << 78 << 2 << 170;
    }

    void headerValue() {
        QFETCH(int, offset);
        QFETCH(int, width);
        QFETCH(int, expected);
        const long actual = width == 1 ? file.u8(offset) : width == 2 ? file.u16(offset) : long(file.u32(offset));
        QCOMPARE(actual, long(expected));
    }

    void moduleNameIsEmpty() {
        QCOMPARE(file.bytes.mid(17, 20), QByteArray(20, '\0'));
    }

    void orderList() {
        QCOMPARE(file.order, kOrder);
        for (int unused : {6, 8}) {
            QVERIFY2(unused < int(file.patterns.size()), qPrintable(QString("pattern %1 is not stored").arg(unused)));
            QVERIFY2(std::find(kOrder.begin(), kOrder.end(), unused) == kOrder.end(), "pattern 6 or 8 is played");
        }
    }

    void rowsPerPosition_data() {
        QTest::addColumn<int>("position");
        for (int pos = 0; pos < 10; ++pos) QTest::newRow(qPrintable(QString("position %1").arg(pos))) << pos;
    }

    void rowsPerPosition() {
        QFETCH(int, position);
        const int rows = kRows[position];
        QCOMPARE(file.patterns[kOrder[position]].rows, rows);
        QCOMPARE(playback.numRowsAt.value(position), QSet<int>{rows});
        QCOMPARE(playback.lastRowAt.value(position), rows - 1);
    }

    void instrumentSlot_data() {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("relativeNote");
        QTest::addColumn<int>("finetune");
        for (int slot = 1; slot <= 44; ++slot) {
            QByteArray name;
            if (slot == 1) name = "Kick";
            else if (slot == 2) name = "Snazzre";
            else if (slot <= 28) name = "Sword " + QByteArray::number(slot - 2);
            else if (slot == 29) name = "Square";
            int relativeNote = 29, finetune = -28;
            if (slot == 29) relativeNote = finetune = 0;
            if (slot == 37) relativeNote = 17;
            if (slot >= 39) { relativeNote = 42; finetune = 32; }
            QTest::newRow(qPrintable(QString("instrument %1").arg(slot))) << slot << name << relativeNote << finetune;
        }
    }

    void instrumentSlot() {
        QFETCH(int, slot);
        QFETCH(QByteArray, name);
        QFETCH(int, relativeNote);
        QFETCH(int, finetune);
        const XmInstrument& in = file.instruments[slot - 1];
        QCOMPARE(in.name, name.leftJustified(22, '\0'));
        QCOMPARE(in.volumeType & 1, 0);
        QCOMPARE(in.panningType & 1, 0);
        QCOMPARE(in.vibratoDepth, 0);
        QCOMPARE(in.fadeout, 32767);
        const XmSample& s = in.sample;
        QCOMPARE(s.volume, 64);
        QCOMPARE(s.panning, 128);
        QCOMPARE(s.relativeNote, relativeNote);
        QCOMPARE(s.finetune, finetune);
        if (slot == 29) {
            QCOMPARE(s.type, 0x01);  // 8-bit, forward loop
            QCOMPARE(s.length, 64u);
            QCOMPARE(s.loopStart, 0u);
            QCOMPARE(s.loopLength, 64u);
        } else {
            QCOMPARE(s.type, 0x10);  // 16-bit, no loop
            if (slot == 37) QCOMPARE(s.length, 0u);
            else QVERIFY2(s.length > 0, "sample is empty");
        }
    }

    void fightNoiseIsLong() {
        const uint32_t frames = file.instruments[37].sample.length / 2;
        QVERIFY2(frames > 10 * 44100, qPrintable(QString("instrument 38 lasts %1 s").arg(frames / 44100.0)));
    }

    void noTempoOrFlowCommands() {
        for (size_t p = 0; p < file.patterns.size(); ++p)
            for (int row = 0; row < file.patterns[p].rows; ++row)
                for (int ch = 0; ch < file.channels; ++ch) {
                    const XmCell& c = file.cell(int(p), row, ch);
                    const QString where = QString("pattern %1 row %2 channel %3").arg(p).arg(row).arg(ch);
                    QVERIFY2(c.effect != 0xF, qPrintable(where + ": speed or tempo command"));
                    QVERIFY2(c.effect != 0xB, qPrintable(where + ": position jump"));
                    QVERIFY2(c.effect != 0xD, qPrintable(where + ": pattern break"));
                    QVERIFY2(!(c.effect == 0xE && (c.param >> 4) == 0xE), qPrintable(where + ": pattern delay"));
                    QVERIFY2(!(c.effect == 0xE && (c.param >> 4) == 0xD), qPrintable(where + ": note delay"));
                    QVERIFY2(!(c.instrument && !c.note), qPrintable(where + ": instrument without a note"));
                }
    }

    void playsOnceStraightThrough() {
        QCOMPARE(playback.frames, 6126);
        QCOMPARE(playback.bufferSizes, QSet<int>{2592});
        QCOMPARE(playback.speeds, QSet<int>{6});
        QCOMPARE(playback.bpms, QSet<int>{170});
        std::vector<int> visited;
        for (int pos : playback.positions)
            if (visited.empty() || visited.back() != pos) visited.push_back(pos);
        QCOMPARE(visited, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    }

    void cueCounts_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<QList<int>>("expected");  // in the order of kCues
        // Discord, Snare, Parry, DrawSword, Miss, Kill, Note, Blood
        QTest::newRow("position 0") << 0 << QList<int>{0, 0, 1, 0, 1, 1, 33, 0};
        QTest::newRow("position 1") << 1 << QList<int>{0, 0, 10, 0, 3, 0, 0, 0};
        QTest::newRow("position 2") << 2 << QList<int>{8, 10, 14, 1, 3, 1, 0, 0};
        QTest::newRow("position 3") << 3 << QList<int>{8, 10, 16, 1, 3, 1, 0, 0};
        QTest::newRow("position 4") << 4 << QList<int>{8, 10, 12, 2, 1, 2, 0, 0};
        QTest::newRow("position 5") << 5 << QList<int>{8, 10, 13, 2, 3, 1, 0, 0};
        QTest::newRow("position 6") << 6 << QList<int>{8, 10, 20, 1, 2, 0, 0, 0};
        QTest::newRow("position 7") << 7 << QList<int>{8, 10, 22, 3, 4, 1, 0, 0};
        QTest::newRow("position 8") << 8 << QList<int>{18, 20, 21, 0, 3, 0, 0, 1};
        QTest::newRow("position 9") << 9 << QList<int>{0, 0, 0, 0, 0, 1, 30, 0};
    }

    void cueCounts() {
        QFETCH(int, position);
        QFETCH(QList<int>, expected);
        for (int i = 0; i < expected.size(); ++i) {
            int count = 0;
            for (const Struck& s : playback.struck)
                if (s.pos == position && s.cue == kCues[i]) ++count;
            QVERIFY2(count == expected[i], qPrintable(QString("position %1: %2 %3 cues, expected %4")
                                                          .arg(position).arg(count).arg(cueName(kCues[i])).arg(expected[i])));
        }
    }

    void kicksAgainstDistortionThreshold() {
        int early = 0, late = 0;
        for (const Struck& s : playback.struck) {
            if (s.cue != Cue::Discord) continue;
            if (s.pos < 8) {
                ++early;
                QVERIFY2(s.songRow() <= 999, qPrintable(describe(s) + QString(": songRow %1 above 999").arg(s.songRow())));
            } else {
                ++late;
                QVERIFY2(s.songRow() > 999, qPrintable(describe(s) + QString(": songRow %1 not above 999").arg(s.songRow())));
            }
        }
        QVERIFY2(early > 0 && late > 0, "kicks missing before or after position 8");
    }

    void swordCuesSpreadAcrossTheScreen() {
        int panned = 0, centred = 0;
        for (const Struck& s : playback.struck)
            if (isSwordCue(s.cue)) (s.pan == 128 ? centred : panned)++;
        QVERIFY2(panned > 0, "every sword cue arrives at pan 128");
        QVERIFY2(panned > centred, qPrintable(QString("%1 panned, %2 centred sword cues").arg(panned).arg(centred)));
        QVERIFY2(centred > 0, "no sword hit without a panning command");
    }

    void fluteNotes() {
        QSet<int> notes;
        for (const Struck& s : playback.struck)
            if (s.cue == Cue::Note) {
                notes.insert(s.note);
                QVERIFY2(s.channel == 2, qPrintable(describe(s) + ": flute off channel 2"));
            }
        QCOMPARE(notes, (QSet<int>{66, 69, 71, 73, 74}));
    }

    void placedCue_data() {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("channel");
        QTest::addColumn<int>("instrument");
        QTest::newRow("opening kill") << 0 << 124 << -1 << 28;
        QTest::newRow("sword drawn on channel 6") << 3 << 21 << 6 << 17;
        QTest::newRow("second sword drawn on channel 6") << 4 << 39 << 6 << 16;
        QTest::newRow("heavy parry on channel 6") << 4 << 48 << 6 << 9;
        QTest::newRow("blood") << 8 << 67 << 6 << 38;
        QTest::newRow("closing kill") << 9 << 206 << 6 << 28;
    }

    void placedCue() {
        QFETCH(int, position);
        QFETCH(int, row);
        QFETCH(int, channel);
        QFETCH(int, instrument);
        bool found = false;
        for (const Struck& s : playback.struck)
            found |= s.pos == position && s.row == row && s.instrument == instrument && (channel < 0 || s.channel == channel);
        QVERIFY2(found, qPrintable(QString("no instrument %1 struck at position %2 row %3").arg(instrument).arg(position).arg(row)));
    }

    void onlyOneBloodCue() {
        int blood = 0;
        for (const Struck& s : playback.struck) blood += s.cue == Cue::Blood;
        QCOMPARE(blood, 1);
    }

    void keyOffsOnChannel0AreNoCue() {
        int keyOffs = 0;
        for (int pos = 0; pos < 10; ++pos)
            for (int row = 0; row < kRows[pos]; ++row) {
                if (file.cell(kOrder[pos], row, 0).note != 97) continue;
                ++keyOffs;
                const QString where = QString("key-off at position %1 row %2").arg(pos).arg(row);
                QVERIFY2(struckWhere(pos, row, 0).empty(), qPrintable(where + " was seen as a struck note"));
                // The channel's next note is seen again.
                int next = row + 1;
                while (next < kRows[pos] && !file.cell(kOrder[pos], next, 0).note) ++next;
                if (next < kRows[pos] && file.cell(kOrder[pos], next, 0).note != 97)
                    QVERIFY2(!struckWhere(pos, next, 0).empty(), qPrintable(where + ": the next note was not seen"));
            }
        QCOMPARE(keyOffs, 8);
    }

    void repeatedSnaresAreCues() {
        int repeats = 0;
        for (int pos = 0; pos < 10; ++pos)
            for (int row = 0; row < kRows[pos]; ++row) {
                const XmCell& c = file.cell(kOrder[pos], row, 1);
                if (!c.note || c.note == 97 || c.instrument) continue;
                ++repeats;
                const auto seen = struckWhere(pos, row, 1);
                QVERIFY2(seen.size() == 1 && seen[0].cue == Cue::Snare,
                         qPrintable(QString("snare without instrument at position %1 row %2 gave no Snare cue").arg(pos).arg(row)));
            }
        QCOMPARE(repeats, 28);
    }

    void soundOnlyChannelsPlay() {
        for (int ch : {4, 5, 7}) {
            int notes = 0;
            for (int pos = 0; pos < 10; ++pos)
                for (int row = 0; row < kRows[pos]; ++row) {
                    const int note = file.cell(kOrder[pos], row, ch).note;
                    notes += note && note != 97;
                }
            QVERIFY2(notes > 0, qPrintable(QString("channel %1 plays nothing").arg(ch)));
        }
    }

    void nothingAudibleIsMissing() {
        // Every second of the song carries sound: no gap, no silent part.
        const double floor = 0.01;  // -40 dBFS
        QCOMPARE(int(playback.rmsPerSecond.size()), 90);
        for (size_t second = 0; second < playback.rmsPerSecond.size(); ++second)
            QVERIFY2(playback.rmsPerSecond[second] > floor,
                     qPrintable(QString("second %1: RMS %2 below %3").arg(second).arg(playback.rmsPerSecond[second]).arg(floor)));
    }

    void noClipping() {
        QCOMPARE(playback.clipped, 0);
    }
};

QTEST_GUILESS_MAIN(TestModuleContract)
#include "test_module_contract.moc"
