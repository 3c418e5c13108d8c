#include "score.h"

#include "orchestra.h"
#include "tracker.h"

#include <string>

namespace compose {
namespace {

constexpr int kChannels = 8;

// Instrument slots the score calls by name.
enum : int {
    Kick = 1, Snare = 2, Square = 29, BassGuitar = 30, Flute = 31, CongaHigh = 32,
    ShakerSlot = 33, CongaLow = 34, Taiko = 35, ScreamSlot = 36, FightNoiseSlot = 38,
};

// Channel plan: 0 kick and congas, 1 snare and shaker, 2 flute and the main
// sword hits, 3 second sword hits, bass drone and taiko, 4 bass and distant
// clashes, 5 hi-hat and the scream, 6 square lead and single cues, 7 shimmer.
// The show watches 0, 1, 2, 3 and 6: only what should be seen goes there.

const Legend kDrums = {
    {'K', cell("C-4", Kick, 44)},       {'k', cell("C-4", Kick, 32)},
    {'S', cell("C-4", Snare, 44)},      // snare
    {'s', cell("C-4", 0, 44)},          // the snare again, without naming it
    {'g', cell("C-4", Snare, 20)},      // ghost snare
    {'c', cell("C-4", CongaHigh, 40)},  {'C', cell("C-4", CongaLow, 44)},
    {'h', cell("D-4", ShakerSlot, 26)}, {'t', cell("C-4", Taiko, 56)},
    {'^', cell("^^^", 0)},
};

// Sword hits: 'a' is "Sword 1" (slot 3) ... 'z' is "Sword 26" (slot 28);
// '1'..'6' are the knife and sword slots 39..44, which sound right at C-3.
Legend swordLegend(const std::string& note, int volume) {
    Legend l;
    for (char c = 'a'; c <= 'z'; ++c) l[c] = cell(note, 3 + (c - 'a'), volume);
    for (char c = '1'; c <= '6'; ++c) l[c] = cell("C-3", 38 + (c - '0'), volume + 8);
    l['X'] = cell("C-4", FightNoiseSlot, 56);
    return l;
}
const Legend kSwords = swordLegend("C-4", 60);
const Legend kSwordsOnSnare = swordLegend("D-4", 44);
const Legend kDistant = swordLegend("C-4", 16);  // heard, never seen

const Legend kFlute = {
    {'F', cell("F#4", Flute, 38)}, {'A', cell("A-4", Flute, 38)}, {'B', cell("B-4", Flute, 38)},
    {'C', cell("C#5", Flute, 38)}, {'D', cell("D-5", Flute, 38)},
};

// The bass sample sounds two octaves below the note: upper case is the low
// octave (E1..B1, C#2, D2), lower case the octave above.
const Legend kBass = {
    {'E', cell("E-3", BassGuitar, 40)}, {'F', cell("F#3", BassGuitar, 40)},
    {'G', cell("G-3", BassGuitar, 40)}, {'A', cell("A-3", BassGuitar, 40)},
    {'B', cell("B-3", BassGuitar, 40)}, {'C', cell("C#4", BassGuitar, 40)},
    {'D', cell("D-4", BassGuitar, 40)},
    {'e', cell("E-4", BassGuitar, 36)}, {'f', cell("F#4", BassGuitar, 36)},
    {'g', cell("G-4", BassGuitar, 36)}, {'a', cell("A-4", BassGuitar, 36)},
    {'b', cell("B-4", BassGuitar, 36)}, {'c', cell("C#5", BassGuitar, 36)},
    {'d', cell("D-5", BassGuitar, 36)},
    {'^', cell("^^^", 0)},
};

// The quiet square lead (it sounds an octave below its note names).
Legend leadLegend(int volume) {
    return {
        {'n', cell("C-4", Square, volume)}, {'c', cell("C#4", Square, volume)},
        {'d', cell("D-4", Square, volume)}, {'e', cell("E-4", Square, volume)},
        {'f', cell("F#4", Square, volume)}, {'g', cell("G-4", Square, volume)},
        {'a', cell("A-4", Square, volume)}, {'b', cell("B-4", Square, volume)},
        {'C', cell("C#5", Square, volume)}, {'D', cell("D-5", Square, volume)},
        {'^', cell("^^^", 0)},
    };
}
const Legend kLead = leadLegend(22);

const Legend kShimmer = {
    {'c', cell("C#6", Square, 8)}, {'d', cell("D-6", Square, 8)},
    {'e', cell("E-6", Square, 8)}, {'f', cell("F#6", Square, 8)},
    {'^', cell("^^^", 0)},
};

const Legend kHats = {
    {'x', cell("F-4", 19, 32)}, {'^', cell("^^^", 0)}, {'Y', cell("C-4", ScreamSlot, 64)},
};

// Arpeggios for the closing chords: minor and major triads.
const EffectLegend kChords = {{'m', {0x0, 0x37}}, {'M', {0x0, 0x47}}};

// ---------------------------------------------------------------------------
// Order position 0, pattern 2: prologue. The flute alone over a drone; congas
// and shaker join; a parry, a miss, and a kill on row 124; taiko roll.
Pattern prologue() {
    return buildPattern("pattern 2", 142, kChannels, {
        {2, kFlute,
         "B... A.B. D... C.B. | A... .... F... A.B. | B... A.B. D... C.D. | B... .... .... .... |"
         "D... C.D. F... A.B. | C... .... B... .... | D... C.B. A... F.A. | B... .... A... .... |"},
        {2, kSwords,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... ..a. .... |"
         ".... .... .... .... | .... .... .... ..w. | .... .... .... .... | .... .... .... z... |",
         /* pans */
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... ..3. .... |"
         ".... .... .... .... | .... .... .... ..C. | .... .... .... .... | .... .... .... A... |"},
        {3, kBass,
         "B... .... .... .... | B... .... .... .... | G... .... .... .... | G... .... .... .... |"
         "B... .... .... .... | E... .... .... .... | F... .... .... .... | F... .... .... .... |"},
        {3, kDrums,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... t... |"
         ".... t... t.t. tt"},
        {0, kDrums,
         ".... .... .... .... | .... .... .... .... | c... ..c. ..C. .... | c... ..c. ..C. .c.. |"
         "c... ..c. ..C. .... | c... ..c. ..C. .c.. | c... ..c. ..C. .... | c... ..c. ..C. .... |"
         "c... c... C.C. CC"},
        {1, kDrums,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         "..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. .... |"
         "h.h. h.h. hhhh hh"},
        {4, kDistant,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... b... .... | .... e... .... .... | .... .... .... j... | .... ..p. .... .... |",
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... 2... .... | .... D... .... .... | .... .... .... 1... | .... ..E. .... .... |"},
    });
}

// Order position 1, pattern 0: the duel. No kit yet: taiko, congas, shaker,
// a driving bass and thirteen blade cues.
Pattern duel() {
    return buildPattern("pattern 0", 64, kChannels, {
        {2, kSwords,
         "a... ..b. ..d. .... | .... t... .e.. f... | h... ..j. w... ..l. | y... .... x... r...",
         "4... ..B. ..3. .... | .... C... .2.. D... | 5... ..A. 2... ..E. | 3... .... D... 1..."},
        {3, kDrums,
         "t... .... t... .... | t... .... t... ..t. | t... .... t... .... | t... .... t.t. tttt"},
        {0, kDrums,
         "..c. .c.. ..C. .C.. | ..c. .c.. ..C. .C.. | ..c. .c.. ..C. .C.. | ..c. .c.. ..C. .C.."},
        {1, kDrums,
         "..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | h.h. h.h. h.h. h.h. | h.h. h.h. h.h. h.h."},
        {4, kBass,
         "B... ..B. ..B. .b.. | B... ..B. ..B. .b.. | G... ..G. ..G. .g.. | A... ..A. ..A. .a.."},
    });
}

// The kit of the fight: kick on 1 and the "and" of 3, snare on 2 and 4, a fill
// at the end. Used by the 64-row patterns of order positions 2 to 6.
const char* kKickBars = "K... .... ..K. .... | K... .... ..K. .... | K... .... ..K. .... | K... .... ..K. ....";
const char* kSnareBars = ".... S... .... S... | .... S... .... S... | .... S... .... S... | .... S... .... S.SS";
// The same snares struck once by name and then by repetition alone.
const char* kSnareRepeats = ".... S... .... s... | .... s... .... s... | .... s... .... s... | .... s... .... s.ss";
const char* kHatBars = "x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^";
const char* kBassBmGDA = "B... ..B. ..B. .b.. | G... ..G. ..G. .g.. | D... ..D. ..D. .d.. | A... ..A. ..A. .a..";
const char* kShimmerBars = "d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e.";

// Order position 2, pattern 1: the fight breaks out (Bm G D A).
Pattern fightBreaksOut() {
    return buildPattern("pattern 1", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareBars},
        {2, kSwords,
         "k... ..b. ..e. .d.. | ..h. ..t. j... .f.. | ..a. ..e. ..w. .l.. | ..y. ..b. j..x .z..",
         "8... ..3. ..C. .5.. | ..A. ..2. D... .4.. | ..3. ..B. ..E. .1.. | ..C. .... 4..A .8.."},
        {3, kSwords,
         ".... .... .... .... | .... .... .... r... | .... .... .... .... | .... v... .... ....",
         ".... .... .... .... | .... .... .... 6... | .... .... .... .... | .... 9... .... ...."},
        {4, kBass, kBassBmGDA},
        {5, kHats, kHatBars},
        {6, kLead,
         "f... .... d... f.a. | g... .... f... d... | f... .... a... C.b. | a... .... .... ^..."},
    });
}

// Order position 3, pattern 10: the same ground, the lead answers; a sword
// drawn on the lead's channel and a sword run through.
Pattern theLeadAnswers() {
    return buildPattern("pattern 10", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareRepeats},
        {2, kSwords,
         "..b. ..e. a... .d.. | ..j. .... f... .x.. | ..h. ..u. ..r. .y.. | ..d. ..t. e.6. .w..",
         "..2. ..D. 5... .B.. | ..3. .... C... .7.. | ..E. ..1. ..A. .4.. | ..2. ..D. 3.8. ...."},
        {3, kSwords,
         ".... .... .... ..l. | .... ..v. .... .... | .... .... b... .... | .... f... .... ....",
         ".... .... .... ..9. | .... ..6. .... .... | .... .... .... .... | .... A... .... ...."},
        {4, kBass, kBassBmGDA},
        {5, kHats, kHatBars},
        {6, kLead,
         "f... .... d... f.a. | g... .... f... d... | f... .... a... b.C. | D... .... C... b.a."},
        {6, kSwords,
         ".... .... .... .... | .... .o.. .... .... | .... .... .... .... | .... .... .... ...."},
    });
}

// Order position 4, pattern 3: the harmony turns (Em G Bm F#); the shimmer
// comes in; two cues on the lead's channel.
Pattern theTurn() {
    return buildPattern("pattern 3", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareBars},
        {2, kSwords,
         "..b. ..e. .... .h.. | ..a. .... d... ..j. | k... ..u. .... .t.. | .... ..y. .z.. ....",
         "..3. ..C. .... .5.. | ..B. .... 2... ..D. | 8... ..4. .... .A.. | .... ..E. .8.. ...."},
        {3, kSwords,
         ".... .... ..l. .... | .... .... ..v. .... | .... .... ..r. .... | .... .... .... ..3.",
         ".... .... ..1. .... | .... .... ..E. .... | .... .... ..6. .... | .... .... .... ..B."},
        {4, kBass,
         "E... ..E. ..E. .e.. | G... ..G. ..G. .g.. | B... ..B. ..B. .b.. | F... ..F. ..F. .f.."},
        {5, kHats, kHatBars},
        {6, kLead,
         "e... .... g... b.a. | g... .... f... d... | f... .... b... .... | .... c... e... f..."},
        {6, kSwords,
         ".... .... .... .... | .... .... .... .... | .... ...n .... .... | g... .... .... ...."},
        {7, kShimmer,
         "d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | c.e. f.e. c.e. f.e."},
    });
}

// Order position 5, pattern 4: back home (Bm G D A), two swords drawn.
Pattern backHome() {
    return buildPattern("pattern 4", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareRepeats},
        {2, kSwords,
         "..b. ..d. .t.. .e.. | o... ..h. .... .j.. | ..a. ..x. .f.. .u.. | k... ..y. .w.. .b..",
         "..3. ..C. .2.. .B.. | 8... ..4. .... .A.. | ..D. ..1. .E.. .5.. | 8... ..2. .C.. ...."},
        {3, kSwords,
         ".... .... .... r... | .... .... .... l... | .... .... .... v... | .... .... .... 4...",
         ".... .... .... 9... | .... .... .... .... | .... .... .... 6... | .... .... .... 3..."},
        {4, kBass, kBassBmGDA},
        {5, kHats, kHatBars},
        {6, kLead,
         "b... .... a... f... | g... .... a... b... | a... .... f... d... | e... .... c... ^..."},
        {7, kShimmer, kShimmerBars},
    });
}

// Order position 6, pattern 11: the press (G A Bm Bm), the densest clashes.
Pattern thePress() {
    return buildPattern("pattern 11", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareRepeats},
        {2, kSwords,
         "b.e. ..d. .h.. j.a. | ..f. ..u. .t.. e.l. | k... ..b. .r.. y.d. | ..j. ..e. .x.. h.a.",
         "3.C. ..2. .D.. 4.B. | ..1. ..E. .5.. A.3. | 8... ..C. .2.. D.4. | ..E. .... .3.. B.1."},
        {3, kSwords,
         ".... .... .... .... | .... .... .... v... | .... .... .... .... | .... .... f... ....",
         ".... .... .... .... | .... .... .... 7... | .... .... .... .... | .... .... 9... ...."},
        {4, kBass,
         "G... ..G. ..G. .g.. | A... ..A. ..A. .a.. | B... ..B. ..B. .b.. | B... ..B. ..b. .b.b"},
        {5, kHats, kHatBars},
        {6, kLead,
         "g... .... b... D... | C... .... a... e... | f... .... b... C... | D... .... C... b..."},
        {7, kShimmer, kShimmerBars},
    });
}

// Order position 7, pattern 5 (111 rows): a breakdown of blades and taiko,
// the kit returns, and a fifteen-row break with a kill before the climax.
Pattern breakdown() {
    return buildPattern("pattern 5", 111, kChannels, {
        {0, kDrums,
         ".... .... .... .... | .... .... .... .... | K... .... ..K. .... | K... .... ..K. .... |"
         "K... .... ..K. .... | K... .... ..K. .... | .... .... .... ..."},
        {1, kDrums,
         ".... .... .... .... | .... .... .... .... | .... S... .... S... | .... S... .... S... |"
         ".... S... .... S... | .... S... .... S... | .... .... S... s.."},
        {2, kSwords,
         "k... ..b. .e.. d... | ..h. ..j. .t.. a.f. | ..y. ..e. .l.. u... | n... ..w. .b.. d... |"
         "..r. ..h. .x.. e... | o... ..a. .f.. .... | b.e. d.t. ..z. ...",
         "8... ..3. .C.. 5... | ..A. ..2. .E.. 4.B. | ..1. ..D. .3.. C... | 8... ..5. .A.. .... |"
         "..2. ..E. .4.. B... | 8... ..C. .3.. .... | 2.D. 4.A. ..8. ..."},
        {3, kDrums,
         "t... .... t... ..t. | t... .... t... t.t. | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... ttt"},
        {3, kSwords,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... ..v. .... | .... .... .... .... | .... .... .... ...",
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... ..9. .... | .... .... .... .... | .... .... .... ..."},
        {4, kBass,
         "B... ..B. ..B. .b.. | G... ..G. ..G. .g.. | D... ..D. ..D. .d.. | A... ..A. ..A. .a.. |"
         "E... ..E. ..E. .e.. | F... ..F. ..F. .f.. | F... .... .... ..."},
        {5, kHats,
         "x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ |"
         "x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^ | .... .... .... ..."},
        {6, kLead,
         "f... .... d... f.a. | g... .... f... d... | f... .... a... C.b. | a... .... .... e... |"
         "g... .... f... e... | c... .... e... f... | f... .... .... ^.."},
        {7, kShimmer,
         "d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. |"
         "d.e. f.e. d.e. f.e. | c.e. f.e. c.e. f.e. | c.e. f.e. c.e. f.."},
    });
}

// Order position 8, pattern 7 (128 rows): the climax. A scream, the kit
// doubled with choked kicks, blades on the snare's channel too, and on row
// 67 the fight noise that starts the show's finale.
Pattern climax() {
    return buildPattern("pattern 7", 128, kChannels, {
        {0, kDrums,
         "K.^. .... ..K. ^... | K.^. .... ..K. ^... | K.^. .... ..K. ^... | K.^. .... ..K. ^... |"
         "K... .... ..K. .... | K... .... ..K. .K.. | K... .... ..K. .... | K... .... ..K. .K.."},
        {1, kDrums,
         ".... S... .... S... | .... S... .... S... | .... S... .... S... | .... S... .... S.SS |"
         ".... S... .... S... | .... S... .... S... | .... S... .... S... | .... S... .... S.SS"},
        {1, kSwordsOnSnare,
         ".... .... .... .... | .... ..r. .... .... | .... ..t. .... .... | .... .... .... .... |"
         ".... .... .... .... | .... ..v. .... .... | .... ..y. .... .... | .... .... .... ....",
         ".... .... .... .... | .... ..D. .... .... | .... ..2. .... .... | .... .... .... .... |"
         ".... .... .... .... | .... ..4. .... .... | .... ..B. .... .... | .... .... .... ...."},
        {2, kSwords,
         "..b. ..e. .d.. h... | ..a. .... .f.. j... | ..t. ..y. .... e... | ..u. ..b. .l.. .... |"
         "..d. ..x. .h.. .... | ..r. .... .... .... | .... ..a. .... .... | .... .... .... ....",
         "..3. ..C. .2.. D... | ..B. .... .4.. A... | ..1. ..E. .... 5... | ..C. ..3. .B.. .... |"
         "..2. ..D. .4.. .... | ..E. .... .... .... | .... ..1. .... .... | .... .... .... ...."},
        {3, kSwords,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... f... | .... .... .... .... | .... .... g... ....",
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... 9... | .... .... .... .... | .... .... 8... ...."},
        {4, kBass,
         "B... ..B. ..B. .b.. | G... ..G. ..G. .g.. | D... ..D. ..D. .d.. | A... ..A. ..A. .a.. |"
         "B... ..B. ..B. .b.. | G... ..G. ..G. .g.. | E... ..E. ..E. .e.. | F... ..F. ..F. .f.."},
        {5, kHats,
         "Y... .... .... .... | .... .... .... .... | x^x^ x^x^ x^x^ x^x^ | x^x^ x^x^ x^x^ x^x^"},
        {6, kLead,
         "b... .... a... f... | g... .... a... b... | a... .... f... d... | e... .... c... ^..."},
        {6, kSwords,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         "...X .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... ...."},
        {7, kShimmer,
         "d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | c.e. f.e. c.e. f.e. |"
         "d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | d.e. f.e. d.e. f.e. | c.e. f.e. c.e. f.e^"},
    });
}

// Order position 9, pattern 9 (256 rows): epilogue. The fight noise dies
// away, the flute comes back, the lead plays slow chords; the last kill on
// the lead's channel at row 206, then the song breathes out.
Pattern epilogue() {
    return buildPattern("pattern 9", 256, kChannels, {
        {2, kFlute,
         "B... .... .... .... | A... .... D... .... | C... .... .... B... | A... .... .... .... |"
         "B... A.B. D... .... | C... .... B... A... | F... .... .... .... | .... .... A... B... |"
         "D... .... C... D... | B... .... .... .... | A... B... D... C... | B... .... A... .... |"
         "F... .... A... C... | B... .... .... .... | .... .... .... .... | .... .... .... ...."},
        {3, kBass,
         "B... .... .... .... | B... .... .... .... | G... .... .... .... | G... .... .... .... |"
         "D... .... .... .... | D... .... .... .... | A... .... .... .... | A... .... .... .... |"
         "B... .... .... .... | B... .... .... .... | G... .... .... .... | G... .... .... .... |"},
        {3, kDrums,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... ..t. | .... .... .... .... | t... .... .... .... | t... .... .... ...."},
        {4, kDistant,
         "..b. .... .... .... | .... .... e... .... | .... .... .... .... | ..j. .... .... .... |"
         ".... .... p... .... | .... .... .... .... | .... e... .... .... | .... .... .... .... |",
         "..2. .... .... .... | .... .... D... .... | .... .... .... .... | ..1. .... .... .... |"
         ".... .... E... .... | .... .... .... .... | .... 3... .... .... | .... .... .... .... |"},
        {4, kBass,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         "E... .... .... .... | B... .... .... .... | B... .... .... .... | B... .... .... ....",
         "", /* volumes */
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | A... .... .... .... | 8... .... .... ...."},
        {0, kDrums,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         "c... .... C... .... | c... .... C... .... | c... .... C... .... | c... .... C... .... |"
         "c... .... C... .... | c... .... C... .... | c... .... C... .... | c... .... C... ...."},
        {1, kDrums,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         "..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. |"
         "..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h. | ..h. ..h. ..h. ..h."},
        {6, leadLegend(16),
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | a... .... .... .... |"
         "b... .... .... .... | b... .... .... .... | g... .... .... .... | g... .... .... .... |"
         "e... .... .... .... | b... .... .... .... | .... .... .... .... | .... .... .... ....",
         "",
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | 4444 4444 4444 3333 | 3333 3333 3333 2222 | 2222 2222 2222 2222",
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | MMMM MMMM MMMM MMMM |"
         "mmmm mmmm mmmm mmmm | mmmm mmmm mmmm mmmm | MMMM MMMM MMMM MMMM | MMMM MMMM MMMM MMMM |"
         "mmmm mmmm mmmm mm.. | mmmm mmmm mmmm mmmm | mmmm mmmm mmmm mmmm | mmmm mmmm mmmm mmmm",
         kChords},
        {6, kSwords,
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... .... | .... .... .... .... | .... .... .... .... | .... .... .... .... |"
         ".... .... .... ..z. | .... .... .... .... | .... .... .... .... | .... .... .... ...."},
    });
}

// Patterns 6 and 8 are kept in the module as sketches the order list skips:
// a bare kit loop and a four-bar blade study.
Pattern kitSketch() {
    return buildPattern("pattern 6", 64, kChannels, {
        {0, kDrums, kKickBars},
        {1, kDrums, kSnareBars},
        {4, kBass, kBassBmGDA},
        {5, kHats, kHatBars},
    });
}

Pattern bladeStudy() {
    return buildPattern("pattern 8", 64, kChannels, {
        {2, kSwords,
         "a... b... d... e... | f... g... h... j... | k... l... n... o... | r... t... w... z...",
         "2... D... 3... C... | 4... B... 5... A... | 8... 1... E... 2... | D... 3... C... 8..."},
        {3, kDrums, "t... .... t... .... | t... .... t... .... | t... .... t... .... | t... .... t.t. tttt"},
    });
}

}  // namespace

Song composeSong() {
    Song song;
    song.channels = kChannels;
    song.tempo = 6;
    song.bpm = 170;
    song.restart = 0;
    song.linearFrequencies = true;
    song.order = {2, 0, 1, 10, 3, 4, 11, 5, 7, 9};
    song.patterns = {
        duel(),            // 0
        fightBreaksOut(),  // 1
        prologue(),        // 2
        theTurn(),         // 3
        backHome(),        // 4
        breakdown(),       // 5
        kitSketch(),       // 6 (not played)
        climax(),          // 7
        bladeStudy(),      // 8 (not played)
        epilogue(),        // 9
        theLeadAnswers(),  // 10
        thePress(),        // 11
    };
    song.instruments = orchestra();
    return song;
}

}  // namespace compose
