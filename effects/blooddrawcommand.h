// The finale: blood stripes running down, then the title, then the closing credits.
#pragma once

#include "drawcommand.h"

class BloodDrawCommand : public DrawCommand {
public:
    BloodDrawCommand(int32_t delay, int32_t titleStart, int32_t age, int32_t duplicate)
        : delay(delay), titleStart(titleStart), age(age), duplicate(duplicate) {}
    DrawResult draw(QPainter &painter) override;
    DrawCommand *clone() const override { return new BloodDrawCommand(*this); }

    int32_t delay;
    int32_t titleStart;
    int32_t age;
    int32_t duplicate;
};
