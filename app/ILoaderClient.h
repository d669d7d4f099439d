#pragma once
// Receiver of the case loader's notifications. Every call runs on the UI
// thread while the loader waits.
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
};
