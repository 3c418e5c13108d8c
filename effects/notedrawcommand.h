// A white musical-note glyph floating upward and fading; dropped unseen in the song's ending.
#pragma once

#include "drawcommand.h"

class NoteDrawCommand : public DrawCommand {
public:
    NoteDrawCommand(int32_t life, int32_t songRow, int32_t songPosition, int32_t note)
        : life(life), songRow(songRow), songPosition(songPosition), note(note) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new NoteDrawCommand(*this); }

    int32_t life;
    int32_t songRow;
    int32_t songPosition;
    int32_t note;
};
