#pragma once
// The open case: its stacks (series A first), the frame list on display and
// the running loader. UI thread only; the loader changes Stacks and frame lists
// only inside synchronised calls.
#include "TStack.h"

#include <memory>
#include <vector>

class TLoader;

struct TCaseModel {
    std::vector<std::unique_ptr<TStack>> Stacks;
    TFrameList* ShownFrames = nullptr;
    TLoader* ActiveLoader = nullptr;

    // Frees every stack and image (the loader must have been stopped).
    void Clear()
    {
        ShownFrames = nullptr;
        Stacks.clear();
    }
};
