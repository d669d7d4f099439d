#pragma once
// Receiver of the case loader's notifications. Every call runs on the UI
// thread while the loader waits.
#include <cstddef>

struct TStack;

class ILoaderClient {
public:
    virtual ~ILoaderClient() = default;
    // The counting pass found previewCount series so far.
    virtual void PreviewChanged(int previewCount) = 0;
    // A stack or an image was appended to the case model.
    virtual void FrameAdded() = 0;
    // Some images were not loaded because the case's memory budget or a
    // file's share of it was spent; called at most once per load.
    virtual void NotEnoughMemory() = 0;
    // The loader has ended, for whatever reason; it frees itself afterwards.
    virtual void LoaderDone() = 0;

    // A case shown while it downloads places what arrives where a load of
    // the finished case would: a stack may go in before others (index) or
    // move (from, to), and an image may go in before others of its stack.
    virtual void StackInserted(int index) { (void)index; }
    virtual void StackMoved(int from, int to)
    {
        (void)from;
        (void)to;
    }
    virtual void FrameInserted(const TStack& stack, size_t index)
    {
        (void)stack;
        (void)index;
        FrameAdded();
    }
    // The download of the case ended without every file.
    virtual void CaseIncomplete() {}
};
