// The live effects of the show, owned, each once, visited in order of creation
// (oldest first) so that the same music always paints the same frames.
#pragma once

#include "drawcommand.h"

#include <algorithm>
#include <vector>

class EffectSet {
public:
    EffectSet() = default;
    EffectSet(const EffectSet &) = delete;
    EffectSet &operator=(const EffectSet &) = delete;
    ~EffectSet()
    {
        for (DrawCommand *effect : effects)
            delete effect;
    }

    // Takes ownership; an effect already in the set is not added twice.
    void insert(DrawCommand *effect)
    {
        if (!contains(effect))
            effects.push_back(effect);
    }
    // Forgets the pointer without deleting it.
    void remove(DrawCommand *effect)
    {
        effects.erase(std::remove(effects.begin(), effects.end(), effect), effects.end());
    }
    bool contains(DrawCommand *effect) const
    {
        return std::find(effects.begin(), effects.end(), effect) != effects.end();
    }
    int size() const { return int(effects.size()); }
    bool isEmpty() const { return effects.empty(); }
    DrawCommand *at(int index) const { return effects[size_t(index)]; }

private:
    std::vector<DrawCommand *> effects;
};
